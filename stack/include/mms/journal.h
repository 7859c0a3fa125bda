#pragma once
// Journals: reading entries of a device's log by time or after a known entry.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ber/byte_view.h"
#include "mms/object_name.h"
#include "mms/value.h"

namespace iecstack::mms {

struct JournalVariable {
    std::string tag;
    MmsValue value;
};

struct JournalEntry {
    Bytes entryId;
    // Milliseconds since 1970 (UTC), as the entry's time of day and day carry it.
    uint64_t occurrenceTimeMs = 0;
    std::vector<JournalVariable> variables;
};

struct ReadJournalRequest {
    ObjectName journalName;
    // Where the range starts: at a time, or at an entry (at most one of the two).
    std::optional<uint64_t> startingTimeMs;
    std::optional<Bytes> startingEntry;
    // Where it ends: at a time, or after a number of entries (at most one of the two).
    std::optional<uint64_t> endingTimeMs;
    std::optional<int32_t> numberOfEntries;
    std::vector<std::string> listOfVariables;
    struct After {
        uint64_t timeMs = 0;
        Bytes entryId;
    };
    std::optional<After> entryToStartAfter;
};

struct ReadJournalResponse {
    std::vector<JournalEntry> entries;
    bool moreFollows = false;  // absent on the wire means false
};

}  // namespace iecstack::mms
