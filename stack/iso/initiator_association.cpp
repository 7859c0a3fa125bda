#include "iso/initiator_association.h"

#include "data_phase.h"
#include "envelope_limits.h"
#include "iso_transport.h"

namespace iecstack::iso {

namespace {

Status<Error> transportSetup(IsoTransport& transport, const AssociationParameters& parameters,
                             const Deadline& deadline) {
    cotp::CotpConnect request;
    request.sourceRef = 1;
    request.tpduSizeCode = parameters.tpduSizeCode;
    request.callingTsap = parameters.callingTsap;
    request.calledTsap = parameters.calledTsap;
    auto sent = transport.sendTpdu(cotp::encodeConnectionRequest(request));
    if (!sent) {
        return sent;
    }
    auto reply = transport.receiveTpdu(deadline);
    if (!reply) {
        return reply.error();
    }
    auto tpdu = cotp::decodeTpdu(*reply);
    if (!tpdu) {
        return tpdu.error();
    }
    if (tpdu->kind == cotp::TpduKind::DisconnectRequest) {
        return Error::ConnectionClosed;
    }
    if (tpdu->kind != cotp::TpduKind::ConnectionConfirm) {
        return Error::UnexpectedTpdu;
    }
    if ((tpdu->connect.classOption >> 4) != 0) {
        return Error::UnsupportedClass;
    }
    const uint8_t code = tpdu->connect.tpduSizeCode.value_or(cotp::kDefaultTpduSizeCode);
    // The responder may only lower our proposal.
    if (code < cotp::kDefaultTpduSizeCode || code > parameters.tpduSizeCode) {
        return Error::BadTpdu;
    }
    transport.setTpduSize(cotp::tpduSizeFromCode(code));
    return {};
}

}  // namespace

Result<std::unique_ptr<InitiatorAssociation>, Error> InitiatorAssociation::connect(
    const std::string& host, uint16_t port, const InitiatorSettings& settings, ByteView initiateRequest,
    Handlers handlers) {
    auto socket = TcpSocket::connect(host, port, settings.connectTimeout);
    if (!socket) {
        return socket.error();
    }
    const Deadline deadline = Deadline::after(settings.associateTimeout);
    auto transport = std::make_unique<IsoTransport>(std::move(*socket));
    transport->setMaxUnitSize(kMaxSetupUnitSize);
    auto setup = transportSetup(*transport, settings.parameters, deadline);
    if (!setup) {
        return setup.error();
    }
    auto sent = transport->sendUnit(encodeConnectUnit(settings.parameters, initiateRequest));
    if (!sent) {
        return sent.error();
    }
    auto unit = transport->receiveUnit(deadline);
    if (!unit) {
        return unit.error();
    }
    auto confirmation = decodeAcceptUnit(*unit);
    if (!confirmation) {
        return confirmation.error();
    }
    const acse::AssociateResponse& response = confirmation->response;
    if (response.result != 0) {
        const bool authentication =
            !response.diagnosticFromProvider &&
            (response.diagnostic == static_cast<int64_t>(acse::AssociateDiagnostic::AuthenticationFailure) ||
             response.diagnostic == static_cast<int64_t>(acse::AssociateDiagnostic::AuthenticationRequired));
        return authentication ? Error::AuthenticationFailed : Error::AssociationRejected;
    }
    if (response.userData.empty() || response.userDataContextId != presentation::kMmsContextId) {
        return Error::BadApdu;
    }
    std::unique_ptr<InitiatorAssociation> association(
        new InitiatorAssociation(std::move(transport), std::move(handlers), presentation::kAcseContextId,
                                 presentation::kMmsContextId, settings.maxPduSize));
    association->initiateResponse_ = response.userData.toBytes();
    association->receiver_ = std::thread([raw = association.get()] { raw->receiveLoop(); });
    return association;
}

InitiatorAssociation::InitiatorAssociation(std::unique_ptr<IsoTransport> transport, Handlers handlers,
                                           int64_t acseContextId, int64_t mmsContextId, size_t maxPduSize)
    : transport_(std::move(transport)),
      handlers_(std::move(handlers)),
      acseContextId_(acseContextId),
      mmsContextId_(mmsContextId),
      maxPduSize_(maxPduSize) {
    transport_->setMaxUnitSize(maxPduSize + kDataEnvelopeAllowance);
}

InitiatorAssociation::~InitiatorAssociation() {
    close();
}

void InitiatorAssociation::setMaxPduSize(size_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    maxPduSize_ = size;
    transport_->setMaxUnitSize(size + kDataEnvelopeAllowance);
}

size_t InitiatorAssociation::maxPduSize() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return maxPduSize_;
}

bool InitiatorAssociation::isOpen() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return open_ && !localEnd_;
}

Status<Error> InitiatorAssociation::send(ByteView mmsPdu) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!open_ || localEnd_ || releaseRequested_ || abandoned_) {
            return Error::NotConnected;
        }
        if (mmsPdu.size() > maxPduSize_) {
            return Error::PduTooLarge;
        }
    }
    return transport_->sendUnit(encodeDataUnit(mmsContextId_, mmsPdu));
}

void InitiatorAssociation::receiveLoop() {
    DataPhaseHooks hooks;
    hooks.maxPduSize = [this] { return maxPduSize(); };
    hooks.deliver = [this](ByteView pdu) {
        if (handlers_.onPdu) {
            handlers_.onPdu(pdu);
        }
    };
    hooks.stopSending = [this] {
        std::lock_guard<std::mutex> lock(mutex_);
        releaseRequested_ = true;
    };
    auto [reason, detail] = runDataPhase(*transport_, mmsContextId_, acseContextId_, hooks);
    transport_->shutdown();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // A failure we caused by shutting the socket down is reported as what we did.
        if (localEnd_ && reason != CloseReason::Released) {
            reason = localReason_;
        }
        open_ = false;
        finalReason_ = reason;
    }
    ended_.notify_all();
    if (handlers_.onClosed) {
        handlers_.onClosed(reason, detail);
    }
}

void InitiatorAssociation::stop(CloseReason reason) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!localEnd_) {
            localEnd_ = true;
            localReason_ = reason;
        }
    }
    transport_->shutdown();
    if (receiver_.joinable() && receiver_.get_id() != std::this_thread::get_id()) {
        receiver_.join();
    }
}

void InitiatorAssociation::close() {
    stop(CloseReason::LocalClose);
}

void InitiatorAssociation::abort() {
    bool open;
    {
        // Marked before the abort goes out: the peer may close before we get to stop().
        std::lock_guard<std::mutex> lock(mutex_);
        open = open_ && !localEnd_;
        if (!localEnd_) {
            localEnd_ = true;
            localReason_ = CloseReason::LocalAbort;
        }
    }
    // A peer that has stopped reading gets no abort rather than holding us up.
    if (open) {
        transport_->sendUnitNow(encodeAbortUnit(acseContextId_));
    }
    stop(CloseReason::LocalAbort);
}

void InitiatorAssociation::abandon() {
    bool open;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        open = open_ && !localEnd_ && !abandoned_;
        abandoned_ = true;
    }
    if (open) {
        transport_->sendUnitNow(encodeAbortUnit(acseContextId_));
    }
    transport_->shutdown();
}

Status<Error> InitiatorAssociation::release(std::chrono::milliseconds timeout) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!open_ || localEnd_ || releaseRequested_) {
            return Error::NotConnected;
        }
        releaseRequested_ = true;
    }
    auto sent = transport_->sendUnit(encodeReleaseRequestUnit(acseContextId_));
    if (!sent) {
        close();
        return sent.error();
    }
    bool ended;
    CloseReason reason;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        ended = ended_.wait_for(lock, timeout, [this] { return !open_; });
        reason = finalReason_;
    }
    if (!ended) {
        // A peer that does not answer the release is not waited for any longer.
        abort();
        return Error::Timeout;
    }
    close();
    if (reason == CloseReason::PeerAborted) {
        return Error::PeerAborted;
    }
    return reason == CloseReason::Released ? Status<Error>() : Status<Error>(Error::ConnectionClosed);
}

}  // namespace iecstack::iso
