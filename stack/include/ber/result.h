#pragma once

#include <cassert>
#include <optional>
#include <utility>

namespace iecstack {

// Either a value or the error that prevented it. The stack reports failures through this instead of
// exceptions; callers test it before use.
template <typename T, typename E>
class Result {
public:
    Result(T value) : value_(std::move(value)) {}
    Result(E error) : error_(error) {}

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }
    E error() const { return error_; }

    T& value() & {
        assert(ok());
        return *value_;
    }
    const T& value() const& {
        assert(ok());
        return *value_;
    }
    T&& value() && {
        assert(ok());
        return std::move(*value_);
    }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

private:
    std::optional<T> value_;
    E error_{};
};

// For operations that produce nothing but may fail.
template <typename E>
class Status {
public:
    Status() = default;
    Status(E error) : error_(error), failed_(true) {}

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    E error() const { return error_; }

private:
    E error_{};
    bool failed_ = false;
};

}  // namespace iecstack
