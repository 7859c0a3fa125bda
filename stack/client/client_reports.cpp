#include "client_reports.h"

#include <cstdio>
#include <utility>

#include "mapping/object_reference.h"

namespace iecstack::client {
namespace {

sClientReport viewOf(mapping::Report&& report) {
    using mapping::ReportOption;
    sClientReport view;
    view.rptId = std::move(report.rptId);
    if (report.has(ReportOption::SequenceNumber)) {
        view.seqNum = report.seqNum;
    }
    if (report.has(ReportOption::ReportTimeStamp)) {
        view.timeOfEntryMs = report.timeOfEntryMs;
    }
    if (report.has(ReportOption::DataSetName)) {
        view.dataSetName = std::move(report.dataSetName);
    }
    if (report.has(ReportOption::BufferOverflow)) {
        view.bufOvfl = report.bufOvfl;
    }
    if (report.has(ReportOption::EntryId)) {
        view.entryId = MmsValue::octetString(std::move(report.entryId));
    }
    if (report.has(ReportOption::ConfRevision)) {
        view.confRev = report.confRev;
    }
    if (report.has(ReportOption::Segmentation)) {
        view.subSeqNum = report.subSeqNum;
        view.moreSegmentsFollow = report.moreSegmentsFollow;
    }
    view.hasDataReferences = report.has(ReportOption::DataReference);
    view.hasReasons = report.has(ReportOption::ReasonForInclusion);
    view.dataReferences.assign(report.memberCount, std::nullopt);
    view.reasons.assign(report.memberCount, static_cast<uint8_t>(IEC61850_REASON_NOT_INCLUDED));
    std::vector<MmsValue> values(report.memberCount, MmsValue::absent());
    for (mapping::Report::Member& member : report.members) {
        if (view.hasDataReferences) {
            view.dataReferences[member.index] = std::move(member.reference);
        }
        values[member.index] = std::move(member.value);
        // An included member without a reason the interface knows still reads as included.
        view.reasons[member.index] =
            member.reasons == 0 ? static_cast<uint8_t>(IEC61850_REASON_UNKNOWN) : member.reasons;
    }
    view.values = MmsValue::array(std::move(values));
    return view;
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

std::optional<sClientReport> decodeReport(mms::InformationReport&& report, std::string* why) {
    std::optional<mapping::Report> decoded = mapping::decodeReport(std::move(report), why);
    if (!decoded) {
        return std::nullopt;
    }
    return viewOf(std::move(*decoded));
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
