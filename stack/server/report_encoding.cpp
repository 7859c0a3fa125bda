#include "report_encoding.h"

#include "mms/codec.h"
#include "mms/pdu.h"

namespace iecstack::server {

MmsValue reasonString(uint8_t reasons) {
    mms::BitString bits(6);
    for (size_t k = 0; k < 5; ++k) {
        bits.setBit(k + 1, (reasons & (1u << k)) != 0);
    }
    return MmsValue::bitString(bits);
}

namespace {

constexpr size_t kSegmentationBit = 9;

bool option(const mms::BitString& optFlds, size_t bit) {
    return optFlds.bit(bit);
}

// One PDU of the members [first, last); `segment` < 0 for an unsegmented report.
Bytes encodeOne(const ReportContent& c, size_t first, size_t last, int segment, bool more) {
    mms::InformationReport report;
    report.spec = mms::VariableAccessSpec::named(mms::ObjectName::vmd("RPT"));
    auto& r = report.results;
    mms::BitString optFlds = c.optFlds;
    if (optFlds.bitCount() <= kSegmentationBit) {
        optFlds = mms::BitString(10, optFlds.octets());
    }
    optFlds.setBit(kSegmentationBit, segment >= 0);
    r.push_back(MmsValue::visibleString(c.rptId));
    r.push_back(MmsValue::bitString(optFlds));
    if (option(optFlds, 1)) {
        r.push_back(MmsValue::unsignedInteger(c.seqNum));
    }
    if (option(optFlds, 2)) {
        r.push_back(MmsValue::binaryTimeFromMs(c.timeOfEntryMs, true));
    }
    if (option(optFlds, 4)) {
        r.push_back(MmsValue::visibleString(c.dataSetName));
    }
    if (option(optFlds, 6)) {
        r.push_back(MmsValue::boolean(c.bufOvfl));
    }
    if (option(optFlds, 7)) {
        r.push_back(MmsValue::octetString(c.entryId));
    }
    if (option(optFlds, 8)) {
        r.push_back(MmsValue::unsignedInteger(c.confRev));
    }
    if (segment >= 0) {
        r.push_back(MmsValue::unsignedInteger(static_cast<uint64_t>(segment)));
        r.push_back(MmsValue::boolean(more));
    }
    mms::BitString inclusion(c.memberCount);
    for (size_t i = first; i < last; ++i) {
        inclusion.setBit(c.members[i].index, true);
    }
    r.push_back(MmsValue::bitString(inclusion));
    if (option(optFlds, 5)) {
        for (size_t i = first; i < last; ++i) {
            r.push_back(MmsValue::visibleString(c.members[i].reference));
        }
    }
    for (size_t i = first; i < last; ++i) {
        r.push_back(c.members[i].value);
    }
    if (option(optFlds, 3)) {
        for (size_t i = first; i < last; ++i) {
            r.push_back(reasonString(c.members[i].reasons));
        }
    }
    return mms::encodePdu(mms::Pdu{mms::UnconfirmedPdu{std::move(report)}});
}

}  // namespace

std::vector<Bytes> encodeReport(const ReportContent& content, size_t maxPduSize) {
    Bytes whole = encodeOne(content, 0, content.members.size(), -1, false);
    if (whole.size() <= maxPduSize) {
        return {std::move(whole)};
    }
    // Cut into segments, each as many members as fit. Each try encodes the candidate, so the sizes are
    // exact; the step back is a binary search over the members left.
    std::vector<Bytes> segments;
    size_t first = 0;
    while (first < content.members.size()) {
        size_t fits = 0;
        size_t low = 1;
        size_t high = content.members.size() - first;
        Bytes best;
        while (low <= high) {
            const size_t count = low + (high - low) / 2;
            Bytes candidate = encodeOne(content, first, first + count, static_cast<int>(segments.size()),
                                        first + count < content.members.size());
            if (candidate.size() <= maxPduSize) {
                fits = count;
                best = std::move(candidate);
                low = count + 1;
            } else {
                high = count - 1;
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

}  // namespace iecstack::server
