#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

#include "iec61850_client.h"

namespace iec61850 {

// One value of a journal entry: its reference, its texts as the trees show them, and why it was
// logged ("data-change, integrity"), where the device says.
struct JournalValue {
    QString reference;
    QStringList texts;
    QString reason;
};

struct JournalRecord {
    QByteArray entryId;
    qint64 timeMs = 0;
    QList<JournalValue> values;
};

// Where a query starts: after an entry the device gave (its ID and time), or a time range.
struct JournalStart {
    std::shared_ptr<MmsValue> afterId;  // set: after this entry; unset: the range below
    qint64 afterTimeMs = 0;
    qint64 fromMs = 0;
    qint64 toMs = 0;
};

// The end of a query: its error, how many entries came, and the newest of them (for a query after it).
struct JournalResult {
    IedClientError error = IED_ERROR_OK;
    int count = 0;
    std::shared_ptr<MmsValue> lastId;
    qint64 lastTimeMs = 0;
};

// Runs a journal query to its end, handing each entry to `received` in the device's order. "More
// follows" is followed with queries after the last entry, which know no end time, so a time range
// ends where its entries pass the end.
JournalResult queryJournal(IedConnection connection, const QString& logRef, const JournalStart& start,
                           const std::function<void(const JournalRecord&)>& received);

}  // namespace iec61850
