#pragma once
// The file services: directory listings, reading a file through an open handle, deleting.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ber/byte_view.h"

namespace iecstack::mms {

// A file name travels as a list of components; devices send one component with '/' inside it, and a
// name of several components is taken as those joined with '/'.
struct FileAttributes {
    uint32_t sizeOfFile = 0;
    // Milliseconds since 1970 (UTC); absent when the device gives no time.
    std::optional<uint64_t> lastModifiedMs;
};

struct DirectoryEntry {
    std::string fileName;
    FileAttributes attributes;
};

struct FileDirectoryRequest {
    std::optional<std::string> fileSpecification;  // absent: the device's root
    std::optional<std::string> continueAfter;      // the last name of the previous answer
};

struct FileDirectoryResponse {
    std::vector<DirectoryEntry> entries;
    bool moreFollows = false;  // absent on the wire means false
};

struct FileOpenRequest {
    std::string fileName;
    uint32_t initialPosition = 0;
};

struct FileOpenResponse {
    int32_t frsmId = 0;
    FileAttributes attributes;
};

struct FileReadRequest {
    int32_t frsmId = 0;
};

struct FileReadResponse {
    Bytes data;
    bool moreFollows = true;  // absent on the wire means true
};

struct FileCloseRequest {
    int32_t frsmId = 0;
};

struct FileCloseResponse {};

struct FileDeleteRequest {
    std::string fileName;
};

struct FileDeleteResponse {};

// "YYYYMMDDHHMMSS.mmmZ", the generalized time the file attributes carry; and back, accepting the
// forms devices send (fraction and zone designator optional, local times taken as UTC).
std::string generalizedTimeFromMs(uint64_t ms);
std::optional<uint64_t> msFromGeneralizedTime(const std::string& text);

}  // namespace iecstack::mms
