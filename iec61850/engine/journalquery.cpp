#include "journalquery.h"

#include "reportheader.h"
#include "valuerenderer.h"

namespace iec61850 {

namespace {

// A device that keeps saying "more follows" gets this many answers to a query at most.
constexpr int kMaxQueryRounds = 10000;

QByteArray octetsOf(MmsValue* value) {
    if (value == nullptr || MmsValue_getType(value) != MMS_OCTET_STRING) {
        return QByteArray();
    }
    return QByteArray(reinterpret_cast<const char*>(MmsValue_getOctetStringBuffer(value)),
                      MmsValue_getOctetStringSize(value));
}

void destroyEntries(LinkedList list) {
    LinkedList_destroyDeep(list, reinterpret_cast<LinkedListValueDeleteFunction>(MmsJournalEntry_destroy));
}

// Names of the reason bits of a log entry, as "data-change, integrity"; bit n on the wire is 1 << (n - 1).
QString reasonText(MmsValue* reasons) {
    int bits = 0;
    if (reasons != nullptr && MmsValue_getType(reasons) == MMS_BIT_STRING) {
        for (int bit = 1; bit < MmsValue_getBitStringSize(reasons) && bit <= 6; ++bit) {
            if (MmsValue_getBitStringBit(reasons, bit)) {
                bits |= 1 << (bit - 1);
            }
        }
    }
    return reasonNames(bits);
}

JournalRecord recordOf(MmsJournalEntry entry) {
    JournalRecord record;
    record.entryId = octetsOf(MmsJournalEntry_getEntryID(entry));
    record.timeMs =
        static_cast<qint64>(MmsValue_getBinaryTimeAsUtcMs(MmsJournalEntry_getOccurenceTime(entry)));
    // Per value: its reference with the value, then "ReasonCode" with why it was logged.
    LinkedList v = LinkedList_getNext(MmsJournalEntry_getJournalVariables(entry));
    while (v != nullptr) {
        auto variable = static_cast<MmsJournalVariable>(LinkedList_getData(v));
        v = LinkedList_getNext(v);
        JournalValue value;
        value.reference = QString::fromUtf8(MmsJournalVariable_getTag(variable));
        if (v != nullptr) {
            auto next = static_cast<MmsJournalVariable>(LinkedList_getData(v));
            if (qstrcmp(MmsJournalVariable_getTag(next), "ReasonCode") == 0) {
                value.reason = reasonText(MmsJournalVariable_getValue(next));
                v = LinkedList_getNext(v);
            }
        }
        value.texts = renderValue(MmsJournalVariable_getValue(variable), value.reference, true).texts;
        record.values.append(value);
    }
    return record;
}

}  // namespace

JournalResult queryJournal(IedConnection connection, const QString& logRef, const JournalStart& start,
                           const std::function<void(const JournalRecord&)>& received) {
    JournalResult result;
    result.lastId = start.afterId;
    result.lastTimeMs = start.afterTimeMs;
    const QByteArray reference = logRef.toUtf8();
    bool more = false;
    LinkedList entries = start.afterId
                             ? IedConnection_queryLogAfter(connection, &result.error, reference.constData(),
                                                           start.afterId.get(),
                                                           static_cast<uint64_t>(start.afterTimeMs), &more)
                             : IedConnection_queryLogByTime(connection, &result.error, reference.constData(),
                                                            static_cast<uint64_t>(start.fromMs),
                                                            static_cast<uint64_t>(start.toMs), &more);
    const qint64 endMs = start.afterId ? 0 : start.toMs;
    for (int round = 0; result.error == IED_ERROR_OK; ++round) {
        const int before = result.count;
        bool inRange = true;
        for (LinkedList e = LinkedList_getNext(entries); e != nullptr && inRange; e = LinkedList_getNext(e)) {
            auto entry = static_cast<MmsJournalEntry>(LinkedList_getData(e));
            const JournalRecord record = recordOf(entry);
            if (endMs > 0 && record.timeMs > endMs) {
                inRange = false;
                break;
            }
            result.lastId.reset(MmsValue_clone(MmsJournalEntry_getEntryID(entry)), MmsValue_delete);
            result.lastTimeMs = record.timeMs;
            ++result.count;
            received(record);
        }
        destroyEntries(entries);
        entries = nullptr;
        // A device that says more follows but sends nothing new would be asked forever.
        if (!inRange || !more || result.count == before || round >= kMaxQueryRounds) {
            break;
        }
        entries =
            IedConnection_queryLogAfter(connection, &result.error, reference.constData(), result.lastId.get(),
                                        static_cast<uint64_t>(result.lastTimeMs), &more);
    }
    destroyEntries(entries);
    return result;
}

}  // namespace iec61850
