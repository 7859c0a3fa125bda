#pragma once

// A minimal MMS client for the simulator's tests, on the stack's initiator: one request at a time.

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

#include "iso/initiator_association.h"
#include "mms/codec.h"

namespace korvan::test {

class MmsTestClient {
public:
    // Null when the association fails.
    static std::unique_ptr<MmsTestClient> connect(uint16_t port, int32_t proposedPduSize = 65000,
                                                  std::optional<std::string> password = std::nullopt) {
        std::unique_ptr<MmsTestClient> client(new MmsTestClient);
        iecstack::mms::InitiateRequest initiate;
        initiate.parameters.localDetail = proposedPduSize;
        initiate.parameters.dataStructureNestingLevel = 10;
        iecstack::Bytes request = iecstack::mms::encodePdu(initiate);
        iecstack::iso::InitiatorSettings settings;
        settings.maxPduSize = static_cast<size_t>(proposedPduSize);
        settings.parameters.password = std::move(password);
        MmsTestClient* raw = client.get();
        auto association = iecstack::iso::InitiatorAssociation::connect(
            "127.0.0.1", port, settings, request,
            {[raw](iecstack::ByteView pdu) { raw->deliver(pdu.toBytes()); },
             [raw](iecstack::iso::CloseReason, iecstack::iso::Error) { raw->deliverClosed(); }});
        if (!association) {
            return nullptr;
        }
        client->association_ = std::move(*association);
        auto response = iecstack::mms::decodePdu(client->association_->initiateResponse());
        if (!response.ok() || !std::holds_alternative<iecstack::mms::InitiateResponse>(*response)) {
            return nullptr;
        }
        const auto& p = std::get<iecstack::mms::InitiateResponse>(*response).parameters;
        client->pduSize_ = static_cast<size_t>(p.localDetail.value_or(proposedPduSize));
        client->association_->setMaxPduSize(client->pduSize_);
        return client;
    }

    ~MmsTestClient() {
        if (association_) {
            association_->close();
        }
    }

    size_t pduSize() const { return pduSize_; }

    // The decoded answer to one request, or nothing when none came in time.
    std::optional<iecstack::mms::Pdu> request(iecstack::mms::ConfirmedRequestService service,
                                              std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        iecstack::mms::ConfirmedRequest r{++invokeId_, std::move(service)};
        return exchange(iecstack::mms::encodePdu(r), timeout);
    }

    std::optional<iecstack::mms::Pdu> exchange(const iecstack::Bytes& pdu,
                                               std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        if (!association_->send(pdu)) {
            return std::nullopt;
        }
        return next(timeout);
    }

    // The next PDU that arrives, decoded.
    std::optional<iecstack::mms::Pdu> next(std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!arrived_.wait_for(lock, timeout, [this] { return !inbox_.empty() || closed_; }) ||
            inbox_.empty()) {
            return std::nullopt;
        }
        iecstack::Bytes bytes = std::move(inbox_.front());
        inbox_.pop_front();
        lastSize_ = bytes.size();
        auto decoded = iecstack::mms::decodePdu(bytes);
        if (!decoded.ok()) {
            return std::nullopt;
        }
        return std::move(*decoded);
    }

    size_t lastResponseSize() const { return lastSize_; }

    bool release() { return association_->release(std::chrono::seconds(5)).ok(); }

    bool waitClosed(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        return arrived_.wait_for(lock, timeout, [this] { return closed_; });
    }

    iecstack::iso::InitiatorAssociation& association() { return *association_; }

private:
    MmsTestClient() = default;

    void deliver(iecstack::Bytes pdu) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            inbox_.push_back(std::move(pdu));
        }
        arrived_.notify_all();
    }
    void deliverClosed() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closed_ = true;
        }
        arrived_.notify_all();
    }

    std::unique_ptr<iecstack::iso::InitiatorAssociation> association_;
    size_t pduSize_ = 0;
    uint32_t invokeId_ = 0;
    size_t lastSize_ = 0;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<iecstack::Bytes> inbox_;
    bool closed_ = false;
};

}  // namespace korvan::test
