#include "mapping/report.h"

#include <utility>

#include "mms/codec.h"
#include "mms/pdu.h"

namespace iecstack::mapping {
namespace {

constexpr size_t kReasonBits = 6;  // the last one, application trigger, lies past the usual string

struct Segmentation {
    bool on = false;
    uint32_t subSeqNum = 0;
    bool more = false;
};

}  // namespace

MmsValue reasonString(uint8_t reasons) {
    // Six bits, as servers send them, unless the application trigger needs the seventh.
    mms::BitString bits((reasons & kReasonApplicationTrigger) != 0 ? kReasonBits + 1 : kReasonBits);
    for (size_t k = 0; k < kReasonBits; ++k) {
        bits.setBit(k + 1, (reasons & (1u << k)) != 0);
    }
    return MmsValue::bitString(bits);
}

uint8_t reasonsOf(const MmsValue& bits) {
    uint8_t reasons = 0;
    for (size_t k = 0; k < kReasonBits; ++k) {
        if (bits.bit(k + 1)) {
            reasons |= static_cast<uint8_t>(1u << k);
        }
    }
    return reasons;
}

namespace {

// The members [first, last) of `c` under the given segmentation.
mms::InformationReport encodeRange(const Report& c, size_t first, size_t last, const Segmentation& segment) {
    mms::InformationReport report;
    report.spec = mms::VariableAccessSpec::named(mms::ObjectName::vmd("RPT"));
    auto& r = report.results;
    mms::BitString optFlds = c.optFlds;
    const size_t segmentationBit = static_cast<size_t>(ReportOption::Segmentation);
    if (optFlds.bitCount() <= segmentationBit) {
        optFlds = mms::BitString(segmentationBit + 1, optFlds.octets());
    }
    optFlds.setBit(segmentationBit, segment.on);
    auto has = [&](ReportOption option) { return optFlds.bit(static_cast<size_t>(option)); };
    r.push_back(MmsValue::visibleString(c.rptId));
    r.push_back(MmsValue::bitString(optFlds));
    if (has(ReportOption::SequenceNumber)) {
        r.push_back(MmsValue::unsignedInteger(c.seqNum));
    }
    if (has(ReportOption::ReportTimeStamp)) {
        r.push_back(MmsValue::binaryTimeFromMs(c.timeOfEntryMs, true));
    }
    if (has(ReportOption::DataSetName)) {
        r.push_back(MmsValue::visibleString(c.dataSetName));
    }
    if (has(ReportOption::BufferOverflow)) {
        r.push_back(MmsValue::boolean(c.bufOvfl));
    }
    if (has(ReportOption::EntryId)) {
        r.push_back(MmsValue::octetString(c.entryId));
    }
    if (has(ReportOption::ConfRevision)) {
        r.push_back(MmsValue::unsignedInteger(c.confRev));
    }
    if (segment.on) {
        r.push_back(MmsValue::unsignedInteger(segment.subSeqNum));
        r.push_back(MmsValue::boolean(segment.more));
    }
    mms::BitString inclusion(c.memberCount);
    for (size_t i = first; i < last; ++i) {
        inclusion.setBit(c.members[i].index, true);
    }
    r.push_back(MmsValue::bitString(inclusion));
    if (has(ReportOption::DataReference)) {
        for (size_t i = first; i < last; ++i) {
            r.push_back(MmsValue::visibleString(c.members[i].reference));
        }
    }
    for (size_t i = first; i < last; ++i) {
        r.push_back(c.members[i].value);
    }
    if (has(ReportOption::ReasonForInclusion)) {
        for (size_t i = first; i < last; ++i) {
            r.push_back(reasonString(c.members[i].reasons));
        }
    }
    return report;
}

Bytes pduOf(mms::InformationReport&& report) {
    return mms::encodePdu(mms::Pdu{mms::UnconfirmedPdu{std::move(report)}});
}

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

std::optional<Report> fail(std::string* why, const char* reason) {
    if (why != nullptr) {
        *why = reason;
    }
    return std::nullopt;
}

}  // namespace

bool isReport(const mms::InformationReport& report) {
    return report.spec.kind == mms::VariableAccessSpec::Kind::VariableListName &&
           report.spec.listName.scope == mms::ObjectName::Scope::Vmd && report.spec.listName.itemId == "RPT";
}

mms::InformationReport encodeReport(const Report& report) {
    return encodeRange(report, 0, report.members.size(),
                       {report.has(ReportOption::Segmentation), report.subSeqNum, report.moreSegmentsFollow});
}

std::optional<Report> decodeReport(mms::InformationReport&& received, std::string* why) {
    Report report;
    ReportReader reader(received.results);
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

    if (report.has(ReportOption::SequenceNumber)) {
        const auto seqNum = reader.takeNumber();
        if (!seqNum) {
            return fail(why, "SqNum missing or not a number");
        }
        report.seqNum = *seqNum;
    }
    if (report.has(ReportOption::ReportTimeStamp)) {
        const MmsValue* time = reader.take(MMS_BINARY_TIME);
        if (time == nullptr) {
            return fail(why, "TimeOfEntry missing or not a binary time");
        }
        report.timeOfEntryMs = time->binaryTimeMs();
    }
    if (report.has(ReportOption::DataSetName)) {
        const MmsValue* name = reader.take(MMS_VISIBLE_STRING);
        if (name == nullptr) {
            return fail(why, "DatSet missing or not a string");
        }
        report.dataSetName = name->text();
    }
    if (report.has(ReportOption::BufferOverflow)) {
        const MmsValue* overflow = reader.take(MMS_BOOLEAN);
        if (overflow == nullptr) {
            return fail(why, "BufOvfl missing or not a boolean");
        }
        report.bufOvfl = overflow->boolValue();
    }
    if (report.has(ReportOption::EntryId)) {
        const MmsValue* entryId = reader.take(MMS_OCTET_STRING);
        if (entryId == nullptr) {
            return fail(why, "EntryID missing or not an octet string");
        }
        report.entryId = entryId->octets().toBytes();
    }
    if (report.has(ReportOption::ConfRevision)) {
        const auto confRev = reader.takeNumber();
        if (!confRev) {
            return fail(why, "ConfRev missing or not a number");
        }
        report.confRev = *confRev;
    }
    if (report.has(ReportOption::Segmentation)) {
        const auto subSeqNum = reader.takeNumber();
        const MmsValue* more = subSeqNum ? reader.take(MMS_BOOLEAN) : nullptr;
        if (more == nullptr) {
            return fail(why, "SubSeqNum or MoreSegmentsFollow missing");
        }
        report.subSeqNum = *subSeqNum;
        report.moreSegmentsFollow = more->boolValue();
    }
    const MmsValue* inclusion = reader.take(MMS_BIT_STRING);
    if (inclusion == nullptr) {
        return fail(why, "no inclusion string");
    }
    report.memberCount = inclusion->bitCount();
    for (size_t i = 0; i < report.memberCount; ++i) {
        if (inclusion->bit(i)) {
            report.members.push_back({i, {}, MmsValue(), 0});
        }
    }
    const bool withReferences = report.has(ReportOption::DataReference);
    const bool withReasons = report.has(ReportOption::ReasonForInclusion);
    const size_t perMember = 1 + (withReferences ? 1 : 0) + (withReasons ? 1 : 0);
    if (reader.remaining() != report.members.size() * perMember) {
        return fail(why, "element count does not match the inclusion string");
    }
    if (withReferences) {
        for (Report::Member& member : report.members) {
            const MmsValue* reference = reader.take(MMS_VISIBLE_STRING);
            if (reference == nullptr) {
                return fail(why, "data reference not a string");
            }
            member.reference = reference->text();
        }
    }
    for (Report::Member& member : report.members) {
        MmsValue* value = reader.takeAny();
        if (value == nullptr) {
            return fail(why, "member value is an access error");
        }
        member.value = std::move(*value);
    }
    if (withReasons) {
        for (Report::Member& member : report.members) {
            const MmsValue* reason = reader.take(MMS_BIT_STRING);
            if (reason == nullptr) {
                return fail(why, "reason for inclusion not a bit string");
            }
            member.reasons = reasonsOf(*reason);
        }
    }
    return report;
}

std::vector<Bytes> encodeReportPdus(const Report& report, size_t maxPduSize) {
    const size_t count = report.members.size();
    Bytes whole = pduOf(encodeRange(report, 0, count, {}));
    if (whole.size() <= maxPduSize) {
        return {std::move(whole)};
    }
    // Cut into segments, each as many members as fit. Each try encodes the candidate, so the sizes are
    // exact; the step back is a binary search over the members left.
    std::vector<Bytes> segments;
    size_t first = 0;
    while (first < count) {
        size_t fits = 0;
        size_t low = 1;
        size_t high = count - first;
        Bytes best;
        while (low <= high) {
            const size_t take = low + (high - low) / 2;
            const Segmentation segment{true, static_cast<uint32_t>(segments.size()), first + take < count};
            Bytes candidate = pduOf(encodeRange(report, first, first + take, segment));
            if (candidate.size() <= maxPduSize) {
                fits = take;
                best = std::move(candidate);
                low = take + 1;
            } else {
                high = take - 1;
            }
        }
        if (fits == 0) {
            return {};
        }
        segments.push_back(std::move(best));
        first += fits;
    }
    return segments;
}

}  // namespace iecstack::mapping
