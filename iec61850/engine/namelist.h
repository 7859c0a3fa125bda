#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace iec61850 {

// A device's names as its name lists gave them, in order, held until the walk plans the device. A
// large model lists tens of thousands of names per device, sorted, so that each shares most of its
// start with the one before: each is kept as the length of that shared start and the rest behind its
// length, packed one after another in shared blocks, not as a string (or even a view) each.
class NameList {
public:
    void append(std::string_view name);
    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    // The last name appended, valid until the next append or release.
    std::string_view back() const { return last_; }
    // Every name in order, written one after another into `storage` (whatever it held before), and
    // views of them there, valid while `storage` is unchanged.
    std::vector<std::string_view> names(std::string* storage) const;
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
    size_t octets_ = 0;  // of all names written out whole
    std::string last_;
};

}  // namespace iec61850
