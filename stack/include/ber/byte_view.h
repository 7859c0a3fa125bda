#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace iecstack {

using Bytes = std::vector<uint8_t>;

// A non-owning view of bytes. Every sub-view is taken through a checked call, so a decoder built on
// it cannot step outside the buffer it was given.
class ByteView {
public:
    constexpr ByteView() = default;
    constexpr ByteView(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    ByteView(const Bytes& bytes) : data_(bytes.data()), size_(bytes.size()) {}

    constexpr const uint8_t* data() const { return data_; }
    constexpr size_t size() const { return size_; }
    constexpr bool empty() const { return size_ == 0; }
    constexpr uint8_t operator[](size_t i) const { return data_[i]; }
    constexpr const uint8_t* begin() const { return data_; }
    constexpr const uint8_t* end() const { return data_ + size_; }

    // Clamped: asking for more than is there yields what is there.
    ByteView subview(size_t offset, size_t count = SIZE_MAX) const {
        if (offset > size_) {
            return ByteView(data_ + size_, 0);
        }
        return ByteView(data_ + offset, count < size_ - offset ? count : size_ - offset);
    }
    Bytes toBytes() const { return Bytes(begin(), end()); }
    std::string_view asString() const {
        return std::string_view(reinterpret_cast<const char*>(data_), size_);
    }

    friend bool operator==(ByteView a, ByteView b) {
        if (a.size_ != b.size_) {
            return false;
        }
        for (size_t i = 0; i < a.size_; ++i) {
            if (a.data_[i] != b.data_[i]) {
                return false;
            }
        }
        return true;
    }
    friend bool operator!=(ByteView a, ByteView b) { return !(a == b); }

private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

}  // namespace iecstack
