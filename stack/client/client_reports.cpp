#include "client_reports.h"

#include <cstdio>
#include <utility>

#include "mapping/object_reference.h"

namespace iecstack::client {
namespace {

// Reads the access results of a report front to back, each element checked for its type.
class ReportReader {
public:
    explicit ReportReader(std::vector<MmsValue>& results) : results_(results) {}

    bool atEnd() const { return next_ == results_.size(); }
    size_t remaining() const { return results_.size() - next_; }

    MmsValue* take(MmsType type) {
        if (atEnd() || results_[next_].type() != type) {
            return nullptr;
        }
        return &results_[next_++];
    }
    MmsValue* takeAny() {
        if (atEnd() || results_[next_].type() == MMS_DATA_ACCESS_ERROR) {
            return nullptr;
        }
        return &results_[next_++];
    }
    // Sequence numbers and revisions: servers send them unsigned; a signed one is taken when it is
    // not negative.
    std::optional<uint32_t> takeNumber() {
        if (atEnd()) {
            return std::nullopt;
        }
        const MmsValue& v = results_[next_];
        if (!(v.type() == MMS_UNSIGNED || (v.type() == MMS_INTEGER && v.toInt64() >= 0)) ||
            v.toUint64() > UINT32_MAX) {
            return std::nullopt;
        }
        ++next_;
        return static_cast<uint32_t>(v.toUint64());
    }

private:
    std::vector<MmsValue>& results_;
    size_t next_ = 0;
};

bool fail(std::string* why, const char* reason) {
    if (why != nullptr) {
        *why = reason;
    }
    return false;
}

// Reason bits of the wire (bit 1 data change ... bit 6 application trigger) as ReasonForInclusion.
uint8_t reasonFromBits(const MmsValue& bits) {
    uint8_t reason = 0;
    for (size_t bit = 1; bit <= 6; ++bit) {
        if (bits.bit(bit)) {
            reason |= static_cast<uint8_t>(1u << (bit - 1));
        }
    }
    return reason == 0 ? static_cast<uint8_t>(IEC61850_REASON_UNKNOWN) : reason;
}

bool decodeInto(std::vector<MmsValue>& results, sClientReport& report, std::string* why) {
    ReportReader reader(results);
    const MmsValue* rptId = reader.take(MMS_VISIBLE_STRING);
    if (rptId == nullptr) {
        return fail(why, "no RptID");
    }
    report.rptId = rptId->text();
    const MmsValue* optFlds = reader.take(MMS_BIT_STRING);
    if (optFlds == nullptr) {
        return fail(why, "no OptFlds");
    }
    report.optFlds = optFlds->bits();
    auto has = [&](ReportOption option) { return report.optFlds.bit(static_cast<size_t>(option)); };

    if (has(ReportOption::SequenceNumber) && !(report.seqNum = reader.takeNumber())) {
        return fail(why, "SqNum missing or not a number");
    }
    if (has(ReportOption::ReportTimeStamp)) {
        const MmsValue* time = reader.take(MMS_BINARY_TIME);
        if (time == nullptr) {
            return fail(why, "TimeOfEntry missing or not a binary time");
        }
        report.timeOfEntryMs = time->binaryTimeMs();
    }
    if (has(ReportOption::DataSetName)) {
        const MmsValue* name = reader.take(MMS_VISIBLE_STRING);
        if (name == nullptr) {
            return fail(why, "DatSet missing or not a string");
        }
        report.dataSetName = name->text();
    }
    if (has(ReportOption::BufferOverflow)) {
        const MmsValue* overflow = reader.take(MMS_BOOLEAN);
        if (overflow == nullptr) {
            return fail(why, "BufOvfl missing or not a boolean");
        }
        report.bufOvfl = overflow->boolValue();
    }
    if (has(ReportOption::EntryId)) {
        MmsValue* entryId = reader.take(MMS_OCTET_STRING);
        if (entryId == nullptr) {
            return fail(why, "EntryID missing or not an octet string");
        }
        report.entryId = std::move(*entryId);
    }
    if (has(ReportOption::ConfRevision) && !(report.confRev = reader.takeNumber())) {
        return fail(why, "ConfRev missing or not a number");
    }
    if (has(ReportOption::Segmentation)) {
        report.subSeqNum = reader.takeNumber();
        const MmsValue* more = report.subSeqNum ? reader.take(MMS_BOOLEAN) : nullptr;
        if (more == nullptr) {
            return fail(why, "SubSeqNum or MoreSegmentsFollow missing");
        }
        report.moreSegmentsFollow = more->boolValue();
    }
    const MmsValue* inclusion = reader.take(MMS_BIT_STRING);
    if (inclusion == nullptr) {
        return fail(why, "no inclusion string");
    }
    const size_t members = inclusion->bitCount();
    std::vector<size_t> included;
    for (size_t i = 0; i < members; ++i) {
        if (inclusion->bit(i)) {
            included.push_back(i);
        }
    }
    report.hasDataReferences = has(ReportOption::DataReference);
    report.hasReasons = has(ReportOption::ReasonForInclusion);
    const size_t perMember = 1 + (report.hasDataReferences ? 1 : 0) + (report.hasReasons ? 1 : 0);
    if (reader.remaining() != included.size() * perMember) {
        return fail(why, "element count does not match the inclusion string");
    }
    report.dataReferences.assign(members, std::nullopt);
    report.reasons.assign(members, static_cast<uint8_t>(IEC61850_REASON_NOT_INCLUDED));
    std::vector<MmsValue> values(members, MmsValue::absent());
    if (report.hasDataReferences) {
        for (size_t member : included) {
            const MmsValue* reference = reader.take(MMS_VISIBLE_STRING);
            if (reference == nullptr) {
                return fail(why, "data reference not a string");
            }
            report.dataReferences[member] = reference->text();
        }
    }
    for (size_t member : included) {
        MmsValue* value = reader.takeAny();
        if (value == nullptr) {
            return fail(why, "member value is an access error");
        }
        values[member] = std::move(*value);
        report.reasons[member] = static_cast<uint8_t>(IEC61850_REASON_UNKNOWN);
    }
    if (report.hasReasons) {
        for (size_t member : included) {
            const MmsValue* reason = reader.take(MMS_BIT_STRING);
            if (reason == nullptr) {
                return fail(why, "reason for inclusion not a bit string");
            }
            report.reasons[member] = reasonFromBits(*reason);
        }
    }
    report.values = MmsValue::array(std::move(values));
    return true;
}

// The forms a control block's own reference takes when a server uses it as RptID.
bool sameBlock(const std::string& rcbReference, const std::string& rptId) {
    if (rptId == rcbReference) {
        return true;
    }
    if (rptId == mapping::dollarJoined(rcbReference)) {
        return true;
    }
    // "LD/LN.RP.name" without its constraint: "LD/LN.name".
    const size_t last = rcbReference.rfind('.');
    const size_t fc = last == std::string::npos ? last : rcbReference.rfind('.', last - 1);
    return fc != std::string::npos && rptId == rcbReference.substr(0, fc) + rcbReference.substr(last);
}

}  // namespace

bool isReport(const mms::InformationReport& report) {
    return report.spec.kind == mms::VariableAccessSpec::Kind::VariableListName &&
           report.spec.listName.scope == mms::ObjectName::Scope::Vmd && report.spec.listName.itemId == "RPT";
}

std::optional<sClientReport> decodeReport(mms::InformationReport&& report, std::string* why) {
    sClientReport decoded;
    if (!decodeInto(report.results, decoded, why)) {
        return std::nullopt;
    }
    return decoded;
}

void ReportHandlers::install(const char* rcbReference, const char* rptId, ReportCallbackFunction handler,
                             void* parameter) {
    Entry entry{rcbReference, rptId != nullptr ? std::optional<std::string>(rptId) : std::nullopt, handler,
                parameter};
    std::lock_guard<std::mutex> lock(mutex_);
    for (Entry& existing : entries_) {
        if (existing.rcbReference == entry.rcbReference) {
            existing = std::move(entry);
            return;
        }
    }
    entries_.push_back(std::move(entry));
}

void ReportHandlers::uninstall(const char* rcbReference) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->rcbReference == rcbReference) {
            entries_.erase(it);
            return;
        }
    }
}

bool ReportHandlers::claims(const Entry& entry, const std::string& rptId) {
    return entry.rptId ? *entry.rptId == rptId : sameBlock(entry.rcbReference, rptId);
}

void ReportHandlers::deliver(mms::InformationReport&& received) {
    std::string why;
    std::optional<sClientReport> report = decodeReport(std::move(received), &why);
    if (!report) {
        const uint64_t count = ++malformed_;
        // One line for the first few, then every thousandth, so that a broken device cannot flood the log.
        if (count <= 10 || count % 1000 == 0) {
            std::fprintf(stderr, "iecstack client: malformed report dropped (%s), %llu so far\n", why.c_str(),
                         static_cast<unsigned long long>(count));
        }
        return;
    }
    Entry target;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const Entry& entry : entries_) {
            if (claims(entry, report->rptId)) {
                target = entry;
                break;
            }
        }
    }
    if (target.handler == nullptr) {
        ++unclaimed_;
        return;
    }
    report->rcbReference = target.rcbReference;
    // Called without the lock, so that a handler may install or remove handlers.
    target.handler(target.parameter, &*report);
}

}  // namespace iecstack::client
