#pragma once

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "client_error.h"
#include "iec61850_client.h"

namespace iecstack::client {

// Appends copies of the names to `list`; false when there is no memory (the names copied so far stay).
inline bool appendToLinkedList(LinkedList list, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        char* copy = static_cast<char*>(std::malloc(name.size() + 1));
        if (copy == nullptr) {
            return false;
        }
        std::memcpy(copy, name.c_str(), name.size() + 1);
        LinkedList_add(list, copy);
    }
    return true;
}

// The names as a LinkedList of malloc'ed C strings for the C API; null (and `error` set) when there
// is no memory, or when `error` already tells of a failure.
template <typename Error>
LinkedList toLinkedList(const std::vector<std::string>& names, Error* error, Error ok, Error noMemory) {
    if (*error != ok) {
        return nullptr;
    }
    LinkedList list = LinkedList_create();
    if (list == nullptr) {
        *error = noMemory;
        return nullptr;
    }
    if (!appendToLinkedList(list, names)) {
        LinkedList_destroy(list);
        *error = noMemory;
        return nullptr;
    }
    return list;
}

inline LinkedList toLinkedList(const std::vector<std::string>& names, ClientError* error) {
    return toLinkedList(names, error, ClientError::Ok, ClientError::Unknown);
}

}  // namespace iecstack::client
