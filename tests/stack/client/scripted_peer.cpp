#include "scripted_peer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <thread>
#include <variant>

#include "mms/codec.h"

namespace korvan::test {

using namespace iecstack;

namespace {

// Commands carry the time they were sent; it cannot match a recording.
void clearTimes(MmsValue& value) {
    if (value.type() == MMS_UTC_TIME) {
        value = MmsValue::utcTimeFromMs(0, 0);
    }
    for (MmsValue& element : value.elements()) {
        clearTimes(element);
    }
}

// A confirmed request with its invoke ID and time stamps cleared, encoded: the key that finds its
// recorded answer.
std::optional<Bytes> requestKey(const mms::Pdu& pdu, uint32_t* invokeId) {
    const auto* request = std::get_if<mms::ConfirmedRequest>(&pdu);
    if (request == nullptr) {
        return std::nullopt;
    }
    if (invokeId != nullptr) {
        *invokeId = request->invokeId;
    }
    mms::ConfirmedRequest copy = *request;
    copy.invokeId = 0;
    if (auto* write = std::get_if<mms::WriteRequest>(&copy.service)) {
        for (MmsValue& value : write->data) {
            clearTimes(value);
        }
    }
    return mms::encodePdu(mms::Pdu{copy});
}

std::optional<uint32_t> answeredInvokeId(const mms::Pdu& pdu) {
    if (const auto* response = std::get_if<mms::ConfirmedResponse>(&pdu)) {
        return response->invokeId;
    }
    if (const auto* error = std::get_if<mms::ConfirmedError>(&pdu)) {
        return error->invokeId;
    }
    if (const auto* reject = std::get_if<mms::Reject>(&pdu)) {
        return reject->originalInvokeId;
    }
    return std::nullopt;
}

void setInvokeId(mms::Pdu& pdu, uint32_t invokeId) {
    if (auto* response = std::get_if<mms::ConfirmedResponse>(&pdu)) {
        response->invokeId = invokeId;
    } else if (auto* error = std::get_if<mms::ConfirmedError>(&pdu)) {
        error->invokeId = invokeId;
    } else if (auto* reject = std::get_if<mms::Reject>(&pdu)) {
        reject->originalInvokeId = invokeId;
    }
}

}  // namespace

class ScriptedPeer::Handler : public iso::ResponderHandler {
public:
    explicit Handler(ScriptedPeer& peer) : peer_(peer) {}

    iso::AssociateDecision onAssociate(const iso::AssociateIndication&) override {
        iso::AssociateDecision decision;
        decision.initiateResponse = peer_.initiateResponse_;
        return decision;
    }

    void onPdu(iso::ResponderAssociation& association, ByteView bytes) override {
        auto pdu = mms::decodePdu(bytes);
        if (!pdu) {
            ADD_FAILURE() << "scripted peer: client sent an undecodable PDU";
            return;
        }
        // A silent peer is silent to everything, the conclude included.
        if (std::holds_alternative<mms::ConcludeRequest>(*pdu) && peer_.behaviour_ != Behaviour::Silent) {
            association.send(mms::encodePdu(mms::Pdu{mms::ConcludeResponse{}}));
            return;
        }
        uint32_t invokeId = 0;
        const auto key = requestKey(*pdu, &invokeId);
        if (!key) {
            return;
        }
        ++peer_.requestsSeen_;
        switch (peer_.behaviour_.load()) {
            case Behaviour::Silent:
                return;
            case Behaviour::CloseOnRequest:
                association.close();
                return;
            case Behaviour::AnswerLate:
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                break;
            case Behaviour::EndlessNames:
                if (std::holds_alternative<mms::GetNameListRequest>(
                        std::get<mms::ConfirmedRequest>(*pdu).service)) {
                    association.send(mms::encodePdu(mms::Pdu{
                        mms::ConfirmedResponse{invokeId, mms::GetNameListResponse{{"LLN0"}, true}}}));
                    return;
                }
                break;
            case Behaviour::Answer:
                break;
        }
        const auto it = peer_.answers_.find(*key);
        if (it == peer_.answers_.end()) {
            ++peer_.requestsWithoutRecording_;
            mms::Reject reject;
            reject.originalInvokeId = invokeId;
            reject.rejectClass = mms::RejectClass::ConfirmedRequest;
            reject.reason = static_cast<int64_t>(mms::RequestRejectReason::UnrecognizedService);
            association.send(mms::encodePdu(mms::Pdu{reject}));
            return;
        }
        auto answer = mms::decodePdu(it->second);
        setInvokeId(*answer, invokeId);
        const Reports reports = peer_.reports_.load();
        const auto precursors = peer_.precursors_.find(*key);
        if (reports != Reports::Withheld && precursors != peer_.precursors_.end()) {
            for (const Bytes& report : precursors->second) {
                association.send(report);
            }
        }
        const auto followers = peer_.followers_.find(*key);
        const bool withReports = reports != Reports::Withheld && followers != peer_.followers_.end();
        if (withReports && reports == Reports::BeforeAnswer) {
            for (const Bytes& report : followers->second) {
                association.send(report);
            }
        }
        association.send(mms::encodePdu(*answer));
        if (withReports && reports == Reports::AfterAnswer) {
            for (const Bytes& report : followers->second) {
                association.send(report);
            }
        }
    }

private:
    ScriptedPeer& peer_;
};

ScriptedPeer::ScriptedPeer(const std::string& captureName) {
    for (const Conversation& conversation : readConversations(captureName)) {
        if (initiateResponse_.empty()) {
            initiateResponse_ = conversation.initiateResponse;
        }
        std::map<uint32_t, Bytes> pendingKeys;
        std::optional<Bytes> lastAnswered;
        std::vector<Bytes> sincePending;  // unconfirmed PDUs while a request waits for its answer
        for (const MmsRecord& record : conversation.pdus) {
            auto pdu = mms::decodePdu(record.pdu);
            if (!pdu) {
                continue;
            }
            uint32_t invokeId = 0;
            if (record.direction == Direction::ToServer) {
                if (auto key = requestKey(*pdu, &invokeId)) {
                    recordedRequests_.push_back(record.pdu);
                    pendingKeys[invokeId] = *key;
                }
                sincePending.clear();
                continue;
            }
            if (std::holds_alternative<mms::UnconfirmedPdu>(*pdu)) {
                if (!pendingKeys.empty()) {
                    sincePending.push_back(record.pdu);
                }
                if (lastAnswered) {
                    followers_[*lastAnswered].push_back(record.pdu);
                }
                continue;
            }
            const auto answered = answeredInvokeId(*pdu);
            if (!answered) {
                continue;
            }
            const auto key = pendingKeys.find(*answered);
            if (key != pendingKeys.end()) {
                lastAnswered = key->second;
                answers_.emplace(key->second, record.pdu);
                if (!sincePending.empty()) {
                    precursors_.emplace(key->second, sincePending);
                }
                sincePending.clear();
                pendingKeys.erase(key);
            }
        }
    }
    iso::ListenerSettings settings;
    settings.bindAddress = "127.0.0.1";
    settings.port = 0;
    listener_ = std::make_unique<iso::ResponderListener>(
        settings, [this](const std::shared_ptr<iso::ResponderAssociation>& association) {
            std::lock_guard<std::mutex> lock(mutex_);
            associations_.push_back(association);
            return std::make_unique<Handler>(*this);
        });
    const auto started = listener_->start();
    EXPECT_TRUE(started.ok()) << "scripted peer could not listen";
}

ScriptedPeer::~ScriptedPeer() {
    listener_->stop();
}

void ScriptedPeer::dropConnections() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& weak : associations_) {
        if (auto association = weak.lock()) {
            association->close();
        }
    }
}

}  // namespace korvan::test
