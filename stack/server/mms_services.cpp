#include "server/mms_services.h"

#include <algorithm>
#include <optional>

#include "ber/writer.h"
#include "control_service.h"
#include "iso/scheduler.h"
#include "file_service.h"
#include "log_engine.h"
#include "mms/codec.h"
#include "report_engine.h"
#include "server/mms_mapping.h"
#include "service_support.h"
#include "setting_group_service.h"
#include "substitution_service.h"
#include "sampled_value_service.h"

namespace iecstack::server {
namespace {

using mms::DataAccessError;

// Resource error code for answers that do not fit the agreed PDU size.
constexpr int64_t kCapabilityUnavailable = 4;

}  // namespace

using namespace detail;

std::string describe(const mms::ObjectName& name) {
    switch (name.scope) {
        case mms::ObjectName::Scope::Domain:
            return name.domainId + "/" + name.itemId;
        case mms::ObjectName::Scope::Association:
            return "@" + name.itemId;
        case mms::ObjectName::Scope::Vmd:
            break;
    }
    return name.itemId;
}

MmsServices::MmsServices(DataModel& model, ServerIdentity identity)
    : scheduler_(std::make_unique<iso::Scheduler>()),
      model_(model),
      identity_(std::move(identity)),
      controls_(std::make_unique<ControlService>(model, *scheduler_)) {
    auto fill = [](std::string& field, const std::string& configured, const char* fallback) {
        if (field.empty()) {
            field = configured.empty() ? fallback : configured;
        }
    };
    fill(identity_.vendor, model_.manufacturer, "Korvan");
    fill(identity_.model, model_.deviceType, "iedsim");
    fill(identity_.revision, "", "0.1");
    {
        // Before reporting watches values: the active groups' settings are in place when it starts.
        std::lock_guard<std::mutex> lock(model_.valueLock());
        settingGroups_ = std::make_unique<SettingGroupService>(model_);
        substitutions_ = std::make_unique<SubstitutionService>(model_);
        sampledValues_ = std::make_unique<SampledValueService>(model_);
    }
    reports_ = std::make_unique<ReportEngine>(model_, *scheduler_);
    logs_ = std::make_unique<LogEngine>(model_);
    files_ = std::make_unique<FileService>(nullptr);
}

bool MmsServices::serveFiles(const std::string& root, std::string* error) {
    auto store = FileStore::open(root, error);
    if (!store) {
        return false;
    }
    files_ = std::make_unique<FileService>(std::move(store));
    return true;
}

void MmsServices::setCommandTerminations(bool send) {
    controls_->setTerminations(send);
}

MmsServices::~MmsServices() = default;

mms::BitString MmsServices::supportedServices() {
    using S = mms::ServiceSupport;
    return mms::servicesSupported({S::Status, S::GetNameList, S::Identify, S::Read, S::Write,
                                   S::GetVariableAccessAttributes, S::GetNamedVariableListAttributes,
                                   S::ReadJournal, S::FileOpen, S::FileRead, S::FileClose, S::FileDelete,
                                   S::FileDirectory, S::InformationReport, S::Conclude});
}

mms::InitiateResponse MmsServices::negotiate(const mms::InitiateParameters& proposed, size_t maxPduSize,
                                             size_t minPduSize, int maxOutstanding) {
    const int kMaxOutstanding = std::max(maxOutstanding, 1);
    constexpr int kNestingLevel = 10;
    size_t pdu = maxPduSize;
    if (proposed.localDetail && *proposed.localDetail > 0) {
        pdu = std::min(pdu, static_cast<size_t>(*proposed.localDetail));
    }
    pdu = std::max(pdu, minPduSize);
    mms::InitiateResponse response;
    mms::InitiateParameters& p = response.parameters;
    p.localDetail = static_cast<int32_t>(std::min<size_t>(pdu, INT32_MAX));
    p.maxServOutstandingCalling = std::clamp(proposed.maxServOutstandingCalling, 1, kMaxOutstanding);
    p.maxServOutstandingCalled = std::clamp(proposed.maxServOutstandingCalled, 1, kMaxOutstanding);
    p.dataStructureNestingLevel =
        std::min(proposed.dataStructureNestingLevel.value_or(kNestingLevel), kNestingLevel);
    p.version = 1;
    using P = mms::ParameterSupport;
    p.parameterSupport = mms::parameterSupport({P::Str1, P::Str2, P::Vnam, P::Valt, P::Vlis});
    p.servicesSupported = supportedServices();
    return response;
}

ServiceOutcome MmsServices::handle(ByteView pdu, size_t maxPduSize) {
    return handle(*Session::detached(maxPduSize), pdu);
}

mms::Pdu MmsServices::answer(const mms::ConfirmedRequest& request, size_t maxPduSize, std::string* summary) {
    return answer(request, *Session::detached(maxPduSize), summary);
}

void MmsServices::associationEnded(Session& session) {
    reports_->associationEnded(session);
    files_->associationEnded(session);
    std::lock_guard<std::mutex> lock(model_.valueLock());
    controls_->release(session);
    settingGroups_->associationEnded(session);
    sampledValues_->associationEnded(session);
}

ServiceOutcome MmsServices::handle(Session& session, ByteView pdu, const std::function<bool()>& admit) {
    const size_t maxPduSize = session.maxPduSize();
    ServiceOutcome out;
    auto decoded = mms::decodePdu(pdu);
    if (!decoded) {
        mms::Reject reject = mms::rejectFor(decoded.error());
        out.response = mms::encodePdu(reject);
        out.summary = std::string("malformed PDU rejected: ") + mms::errorName(decoded.error().failure.error);
        return out;
    }
    mms::Pdu& p = *decoded;
    if (auto* request = std::get_if<mms::ConfirmedRequest>(&p)) {
        out.invokeId = request->invokeId;
        if (admit && !admit()) {
            mms::Reject reject;
            reject.originalInvokeId = request->invokeId;
            reject.rejectClass = mms::RejectClass::ConfirmedRequest;
            reject.reason = static_cast<int64_t>(mms::RequestRejectReason::MaxServicesOutstandingExceeded);
            out.response = mms::encodePdu(reject);
            out.refused = true;
            out.summary = "request " + std::to_string(request->invokeId) + " rejected unanswered";
            return out;
        }
        out.response = mms::encodePdu(answer(*request, session, &out.summary));
        if (out.response.size() > maxPduSize) {
            // Whole logical nodes, their types or long data sets can outgrow a small agreed size; the
            // client gets an error instead of an answer that would never be sent.
            out.response = mms::encodePdu(
                serviceError(request->invokeId, mms::ErrorClass::Resource, kCapabilityUnavailable));
            out.summary += " (answer larger than the PDU size " + std::to_string(maxPduSize) + ", refused)";
        }
    } else if (std::holds_alternative<mms::ConcludeRequest>(p)) {
        out.response = mms::encodePdu(mms::ConcludeResponse{});
        out.concluded = true;
        out.summary = "conclude";
    } else {
        // Responses, reports or a second initiate have no place in a server's data phase.
        mms::Reject reject;
        reject.rejectClass = mms::RejectClass::PduError;
        reject.reason = static_cast<int64_t>(mms::PduErrorReason::InvalidPdu);
        out.response = mms::encodePdu(reject);
        out.summary = "unexpected PDU type rejected";
    }
    return out;
}

mms::Pdu MmsServices::answer(const mms::ConfirmedRequest& request, Session& session, std::string* summary) {
    const size_t maxPduSize = session.maxPduSize();
    std::string local;
    std::string& s = summary ? *summary : local;
    const uint32_t id = request.invokeId;
    return std::visit(
        [&](const auto& service) -> mms::Pdu {
            using T = std::decay_t<decltype(service)>;
            if constexpr (std::is_same_v<T, mms::GetNameListRequest>) {
                return getNameList(id, service, maxPduSize, s);
            } else if constexpr (std::is_same_v<T, mms::ReadRequest>) {
                return read(id, service, session, s);
            } else if constexpr (std::is_same_v<T, mms::WriteRequest>) {
                return write(id, service, session, s);
            } else if constexpr (std::is_same_v<T, mms::GetVariableAccessAttributesRequest>) {
                return accessAttributes(id, service, s);
            } else if constexpr (std::is_same_v<T, mms::GetNamedVariableListAttributesRequest>) {
                return listAttributes(id, service, s);
            } else if constexpr (std::is_same_v<T, mms::IdentifyRequest>) {
                s = "identify";
                return response(id,
                                mms::IdentifyResponse{identity_.vendor, identity_.model, identity_.revision});
            } else if constexpr (std::is_same_v<T, mms::StatusRequest>) {
                s = "status";
                return response(id, mms::StatusResponse{0, 0});
            } else if constexpr (std::is_same_v<T, mms::ReadJournalRequest>) {
                return logs_->query(id, service, maxPduSize, s);
            } else if constexpr (std::is_same_v<T, mms::FileDirectoryRequest>) {
                return files_->directory(id, service, maxPduSize, s);
            } else if constexpr (std::is_same_v<T, mms::FileOpenRequest>) {
                return files_->open(id, service, session, s);
            } else if constexpr (std::is_same_v<T, mms::FileReadRequest>) {
                return files_->read(id, service, session, maxPduSize, s);
            } else if constexpr (std::is_same_v<T, mms::FileCloseRequest>) {
                return files_->close(id, service, session, s);
            } else if constexpr (std::is_same_v<T, mms::FileDeleteRequest>) {
                return files_->remove(id, service, s);
            } else {
                s = "unsupported service rejected";
                return mms::rejectUnrecognizedService(id);
            }
        },
        request.service);
}

}  // namespace iecstack::server
