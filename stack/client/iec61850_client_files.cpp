// The file and log functions of iec61850_client.h: a thin facade over ClientConnection.

#include <new>
#include <string>
#include <vector>

#include "iec61850_client.h"
#include "ied_connection.h"

struct sFileDirectoryEntry {
    std::string fileName;
    uint32_t fileSize = 0;
    uint64_t lastModified = 0;
};

struct sMmsJournalVariable {
    std::string tag;
    MmsValue* value = nullptr;
};

struct sMmsJournalEntry {
    MmsValue* entryId = nullptr;
    MmsValue* occurrenceTime = nullptr;
    LinkedList variables = nullptr;
};

using iecstack::client::ClientError;
using iecstack::client::ErrorSink;

namespace {

void destroyVariable(void* variable) {
    auto* v = static_cast<sMmsJournalVariable*>(variable);
    MmsValue_delete(v->value);
    delete v;
}

// Null (and *error set) when there is no memory for the list.
template <typename Item, typename Make, typename Destroy>
LinkedList listOf(const std::vector<Item>& items, ClientError* error, Make make, Destroy destroy) {
    if (*error != ClientError::Ok) {
        return nullptr;
    }
    LinkedList list = LinkedList_create();
    if (list == nullptr) {
        *error = ClientError::Unknown;
        return nullptr;
    }
    for (const Item& item : items) {
        auto* made = make(item);
        if (made == nullptr) {
            LinkedList_destroyDeep(list, destroy);
            *error = ClientError::Unknown;
            return nullptr;
        }
        LinkedList_add(list, made);
    }
    return list;
}

LinkedList directoryList(const std::vector<iecstack::mms::DirectoryEntry>& entries, ClientError* error) {
    return listOf(
        entries, error,
        [](const iecstack::mms::DirectoryEntry& e) {
            return FileDirectoryEntry_create(e.fileName.c_str(), e.attributes.sizeOfFile,
                                             e.attributes.lastModifiedMs.value_or(0));
        },
        [](void* e) { FileDirectoryEntry_destroy(static_cast<FileDirectoryEntry>(e)); });
}

LinkedList journalList(std::vector<iecstack::mms::JournalEntry>&& entries, ClientError* error) {
    return listOf(
        entries, error,
        [](const iecstack::mms::JournalEntry& e) -> sMmsJournalEntry* {
            auto* entry = new (std::nothrow) sMmsJournalEntry;
            if (entry == nullptr) {
                return nullptr;
            }
            entry->entryId = new MmsValue(MmsValue::octetString(e.entryId));
            entry->occurrenceTime = new MmsValue(MmsValue::binaryTimeFromMs(e.occurrenceTimeMs, true));
            entry->variables = LinkedList_create();
            for (const auto& v : e.variables) {
                LinkedList_add(entry->variables, new sMmsJournalVariable{v.tag, new MmsValue(v.value)});
            }
            return entry;
        },
        [](void* e) { MmsJournalEntry_destroy(static_cast<MmsJournalEntry>(e)); });
}

}  // namespace

extern "C" {

FileDirectoryEntry FileDirectoryEntry_create(const char* fileName, uint32_t fileSize, uint64_t lastModified) {
    return new (std::nothrow)
        sFileDirectoryEntry{fileName != nullptr ? fileName : "", fileSize, lastModified};
}

void FileDirectoryEntry_destroy(FileDirectoryEntry self) {
    delete self;
}

const char* FileDirectoryEntry_getFileName(FileDirectoryEntry self) {
    return self != nullptr ? self->fileName.c_str() : nullptr;
}

uint32_t FileDirectoryEntry_getFileSize(FileDirectoryEntry self) {
    return self != nullptr ? self->fileSize : 0;
}

uint64_t FileDirectoryEntry_getLastModified(FileDirectoryEntry self) {
    return self != nullptr ? self->lastModified : 0;
}

LinkedList IedConnection_getFileDirectory(IedConnection self, IedClientError* error,
                                          const char* directoryName) {
    ErrorSink sink(error);
    if (self == nullptr) {
        sink.reported = ClientError::InvalidArgument;
        return nullptr;
    }
    const auto entries = self->connection.fileDirectory(&sink.reported, directoryName, nullptr, nullptr);
    return directoryList(entries, &sink.reported);
}

LinkedList IedConnection_getFileDirectoryEx(IedConnection self, IedClientError* error,
                                            const char* directoryName, const char* continueAfter,
                                            bool* moreFollows) {
    ErrorSink sink(error);
    bool more = false;
    if (self == nullptr) {
        sink.reported = ClientError::InvalidArgument;
        return nullptr;
    }
    const auto entries = self->connection.fileDirectory(&sink.reported, directoryName, continueAfter, &more);
    if (moreFollows != nullptr) {
        *moreFollows = sink.reported == ClientError::Ok && more;
    }
    return directoryList(entries, &sink.reported);
}

uint32_t IedConnection_getFile(IedConnection self, IedClientError* error, const char* fileName,
                               IedClientGetFileHandler handler, void* handlerParameter) {
    ErrorSink sink(error);
    if (self == nullptr || handler == nullptr) {
        sink.reported = ClientError::InvalidArgument;
        return 0;
    }
    return self->connection.getFile(
        &sink.reported, fileName,
        [handler, handlerParameter](uint8_t* b, uint32_t n) { return handler(handlerParameter, b, n); });
}

void IedConnection_deleteFile(IedConnection self, IedClientError* error, const char* fileName) {
    ErrorSink sink(error);
    if (self == nullptr) {
        sink.reported = ClientError::InvalidArgument;
        return;
    }
    self->connection.deleteFile(&sink.reported, fileName);
}

void MmsJournalEntry_destroy(MmsJournalEntry self) {
    if (self == nullptr) {
        return;
    }
    MmsValue_delete(self->entryId);
    MmsValue_delete(self->occurrenceTime);
    LinkedList_destroyDeep(self->variables, destroyVariable);
    delete self;
}

MmsValue* MmsJournalEntry_getEntryID(MmsJournalEntry self) {
    return self != nullptr ? self->entryId : nullptr;
}

MmsValue* MmsJournalEntry_getOccurenceTime(MmsJournalEntry self) {
    return self != nullptr ? self->occurrenceTime : nullptr;
}

LinkedList MmsJournalEntry_getJournalVariables(MmsJournalEntry self) {
    return self != nullptr ? self->variables : nullptr;
}

const char* MmsJournalVariable_getTag(MmsJournalVariable self) {
    return self != nullptr ? self->tag.c_str() : nullptr;
}

MmsValue* MmsJournalVariable_getValue(MmsJournalVariable self) {
    return self != nullptr ? self->value : nullptr;
}

LinkedList IedConnection_queryLogByTime(IedConnection self, IedClientError* error, const char* logReference,
                                        uint64_t startTime, uint64_t endTime, bool* moreFollows) {
    ErrorSink sink(error);
    if (self == nullptr) {
        sink.reported = ClientError::InvalidArgument;
        return nullptr;
    }
    iecstack::mms::ReadJournalRequest query;
    query.startingTimeMs = startTime;
    query.endingTimeMs = endTime;
    bool more = false;
    auto entries = self->connection.queryLog(&sink.reported, logReference, std::move(query), &more);
    if (moreFollows != nullptr) {
        *moreFollows = sink.reported == ClientError::Ok && more;
    }
    return journalList(std::move(entries), &sink.reported);
}

LinkedList IedConnection_queryLogAfter(IedConnection self, IedClientError* error, const char* logReference,
                                       MmsValue* entryID, uint64_t timeStamp, bool* moreFollows) {
    ErrorSink sink(error);
    if (self == nullptr || entryID == nullptr || MmsValue_getType(entryID) != MMS_OCTET_STRING) {
        sink.reported = ClientError::InvalidArgument;
        return nullptr;
    }
    iecstack::mms::ReadJournalRequest query;
    const iecstack::ByteView id = entryID->octets();
    query.entryToStartAfter = iecstack::mms::ReadJournalRequest::After{timeStamp, id.toBytes()};
    bool more = false;
    auto entries = self->connection.queryLog(&sink.reported, logReference, std::move(query), &more);
    if (moreFollows != nullptr) {
        *moreFollows = sink.reported == ClientError::Ok && more;
    }
    return journalList(std::move(entries), &sink.reported);
}

}  // extern "C"
