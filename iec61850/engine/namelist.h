#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace iec61850 {

// A device's names as its name lists gave them, in order, held until the walk plans the device. A
// large model lists tens of thousands of names per device: they are kept packed one after another in
// shared blocks, each behind its length, not as a string (or even a view) each.
class NameList {
public:
    void append(std::string_view name);
    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    std::string_view back() const { return last_; }
    // Views of every name in order, valid until the list changes or is released.
    std::vector<std::string_view> names() const;
    // Gives the memory back.
    void release();

private:
    struct Block {
        std::unique_ptr<char[]> data;
        size_t size = 0;
        size_t used = 0;
    };
    char* room(size_t octets);

    static constexpr size_t kBlockSize = 64 * 1024;
    std::vector<Block> blocks_;
    size_t count_ = 0;
    std::string_view last_;
};

}  // namespace iec61850
