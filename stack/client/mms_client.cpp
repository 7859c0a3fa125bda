#include "mms_client.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <type_traits>
#include <variant>

#include "client_error.h"
#include "iso/initiator_association.h"
#include "mms/codec.h"

namespace iecstack::client {

namespace {

// What we propose at initiate; the peer may only lower it.
constexpr int32_t kProposedPduSize = 65000;
constexpr int32_t kProposedOutstanding = 5;
constexpr int32_t kProposedNesting = 10;
// A peer that agrees to PDUs smaller than this could not carry one read response; we refuse it.
constexpr int32_t kSmallestUsablePduSize = 256;
// How long a request that found the peer silent waits for the closed handler to have run, so that the
// caller sees the association gone when the request returns.
constexpr std::chrono::seconds kLostNoticeWait{2};

mms::InitiateRequest initiateRequest() {
    mms::InitiateRequest request;
    mms::InitiateParameters& p = request.parameters;
    p.localDetail = kProposedPduSize;
    p.maxServOutstandingCalling = kProposedOutstanding;
    p.maxServOutstandingCalled = kProposedOutstanding;
    p.dataStructureNestingLevel = kProposedNesting;
    p.version = 1;
    p.parameterSupport = mms::parameterSupport({mms::ParameterSupport::Str1, mms::ParameterSupport::Str2,
                                                mms::ParameterSupport::Vnam, mms::ParameterSupport::Valt,
                                                mms::ParameterSupport::Vlis});
    p.servicesSupported = mms::servicesSupported(
        {mms::ServiceSupport::Status, mms::ServiceSupport::GetNameList, mms::ServiceSupport::Identify,
         mms::ServiceSupport::Read, mms::ServiceSupport::Write,
         mms::ServiceSupport::GetVariableAccessAttributes, mms::ServiceSupport::DefineNamedVariableList,
         mms::ServiceSupport::GetNamedVariableListAttributes, mms::ServiceSupport::DeleteNamedVariableList,
         mms::ServiceSupport::InformationReport, mms::ServiceSupport::Conclude});
    return request;
}

ClientError errorFromSetup(iso::Error error) {
    switch (error) {
        case iso::Error::Timeout:
            return ClientError::Timeout;
        case iso::Error::ConnectFailed:
        case iso::Error::AssociationRejected:
        case iso::Error::AuthenticationFailed:
        case iso::Error::ContextRejected:
        // A server that refuses an association without a word simply closes the connection.
        case iso::Error::ConnectionClosed:
        case iso::Error::PeerAborted:
            return ClientError::ConnectionRejected;
        case iso::Error::IoError:
            return ClientError::ConnectionLost;
        default:
            return ClientError::MalformedMessage;
    }
}

}  // namespace

struct MmsClient::Impl {
    Impl(Handlers handlers, ReceiveCounters& counters)
        : handlers(std::move(handlers)), counters(counters), timer([this] { expireLoop(); }) {}
    ~Impl() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            timerStop = true;
        }
        changed.notify_all();
        timer.join();
    }

    void received(ByteView pdu);
    void closed();
    // A request got no answer in time and the peer sent nothing in the second half of its wait: the
    // association is given up as lost, the ended handler runs, and later requests fail at once.
    void declareLost();
    // Fails asynchronous requests whose time is up; nobody else would notice a silent peer for them.
    void expireLoop();

    Handlers handlers;
    ReceiveCounters& counters;
    RequestTracker tracker;
    mms::DecodeLimits limits;
    std::atomic<std::thread::id> receiveThread{};
    std::atomic<uint32_t> pduSize{kProposedPduSize};
    std::atomic<uint64_t> receivedPdus{0};  // anything at all from the peer, well-formed or not
    // When the peer last sent anything, as steady-clock ticks.
    std::atomic<RequestTracker::Clock::rep> lastReceived{0};

    // True when a request sent at `sent` has timed out and the peer sent nothing in the second half
    // of its wait. Answers to pipelined requests that arrive just after it was sent do not keep a
    // device alive that has fallen silent since; a slow device that keeps answering does.
    bool silentSince(RequestTracker::Clock::time_point sent) const {
        const auto now = RequestTracker::Clock::now();
        const auto halfway = sent + (now - sent) / 2;
        return RequestTracker::Clock::time_point(RequestTracker::Clock::duration(lastReceived.load())) <
               halfway;
    }
    std::atomic<uint32_t> outstanding{1};

    std::mutex mutex;
    std::condition_variable changed;
    bool connected = false;   // the initiate exchange succeeded
    bool ended = false;       // the receive side has stopped
    bool localEnd = false;    // the owner released or aborted
    bool lost = false;        // given up because the peer fell silent
    bool endNoticed = false;  // the ended handler, if it was due, has returned
    bool concludeAnswered = false;
    bool timerStop = false;
    std::thread timer;

    // Last member: destroyed first, which stops the receive thread before anything it uses goes away.
    std::unique_ptr<iso::InitiatorAssociation> association;
};

void MmsClient::Impl::received(ByteView pdu) {
    receiveThread = std::this_thread::get_id();
    ++receivedPdus;
    lastReceived = RequestTracker::Clock::now().time_since_epoch().count();
    auto decoded = mms::decodePdu(pdu, limits);
    if (!decoded) {
        ++counters.malformedPdus;
        std::fprintf(stderr, "iecstack client: undecodable PDU from the server dropped (%s)\n",
                     mms::errorName(decoded.error().failure.error));
        if (decoded.error().invokeId) {
            tracker.complete(*decoded.error().invokeId,
                             RequestOutcome::failed(ClientError::MalformedMessage));
        }
        return;
    }
    std::visit(
        [this](auto&& item) {
            using T = std::decay_t<decltype(item)>;
            bool matched = true;
            if constexpr (std::is_same_v<T, mms::ConfirmedResponse>) {
                matched =
                    tracker.complete(item.invokeId, RequestOutcome{ClientError::Ok, std::move(item.service)});
            } else if constexpr (std::is_same_v<T, mms::ConfirmedError>) {
                matched = tracker.complete(item.invokeId,
                                           RequestOutcome::failed(errorFromServiceError(item.error)));
            } else if constexpr (std::is_same_v<T, mms::Reject>) {
                matched =
                    item.originalInvokeId &&
                    tracker.complete(*item.originalInvokeId, RequestOutcome::failed(errorFromReject(item)));
            } else if constexpr (std::is_same_v<T, mms::UnconfirmedPdu>) {
                if (handlers.unconfirmed) {
                    handlers.unconfirmed(std::move(item));
                }
            } else if constexpr (std::is_same_v<T, mms::ConcludeResponse> ||
                                 std::is_same_v<T, mms::ConcludeError>) {
                std::lock_guard<std::mutex> lock(mutex);
                concludeAnswered = true;
                changed.notify_all();
            } else {
                ++counters.unexpectedPdus;
            }
            if (!matched) {
                ++counters.unmatchedAnswers;
            }
        },
        std::move(*decoded));
}

void MmsClient::Impl::expireLoop() {
    std::unique_lock<std::mutex> lock(mutex);
    while (!timerStop) {
        lock.unlock();
        const auto now = RequestTracker::Clock::now();
        tracker.expire(now);
        const auto next = tracker.nextDeadline();
        lock.lock();
        // Requests sent meanwhile carry deadlines of at least their time-out, so a coarse wake-up is enough.
        const auto wake = next ? std::min(*next, now + std::chrono::milliseconds(200))
                               : now + std::chrono::milliseconds(200);
        changed.wait_until(lock, wake, [this] { return timerStop; });
    }
}

void MmsClient::Impl::closed() {
    receiveThread = std::this_thread::get_id();
    tracker.close(ClientError::ConnectionLost);
    bool notify = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        ended = true;
        notify = connected && !localEnd;
        changed.notify_all();
    }
    if (notify && handlers.ended) {
        handlers.ended();
    }
    std::lock_guard<std::mutex> lock(mutex);
    endNoticed = true;
    changed.notify_all();
}

void MmsClient::Impl::declareLost() {
    iso::InitiatorAssociation* giveUp = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!connected || ended || localEnd || lost) {
            return;
        }
        lost = true;
        giveUp = association.get();
    }
    std::fprintf(stderr,
                 "iecstack client: no answer from the server within the request time-out, "
                 "association given up\n");
    tracker.close(ClientError::ConnectionLost);
    giveUp->abandon();
    if (receiveThread.load() == std::this_thread::get_id()) {
        return;  // the receive thread reports the end once this returns
    }
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_for(lock, kLostNoticeWait, [this] { return ended && endNoticed; });
}

MmsClient::MmsClient(Handlers handlers) : impl_(std::make_unique<Impl>(std::move(handlers), counters_)) {}

MmsClient::~MmsClient() {
    abort();
    impl_.reset();
}

ClientError MmsClient::connect(const std::string& host, int port, std::chrono::milliseconds timeout,
                               const std::optional<std::string>& password) {
    if (port <= 0 || port > 65535) {
        return ClientError::InvalidArgument;
    }
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        if (impl_->association || impl_->localEnd) {
            return impl_->localEnd ? ClientError::NotConnected : ClientError::AlreadyConnected;
        }
    }
    iso::InitiatorSettings settings;
    settings.connectTimeout = timeout;
    settings.associateTimeout = timeout;
    settings.maxPduSize = kProposedPduSize;
    settings.parameters.password = password;
    Impl* impl = impl_.get();
    iso::InitiatorAssociation::Handlers handlers{[impl](ByteView pdu) { impl->received(pdu); },
                                                 [impl](iso::CloseReason, iso::Error) { impl->closed(); }};
    auto connected =
        iso::InitiatorAssociation::connect(host, static_cast<uint16_t>(port), settings,
                                           mms::encodePdu(mms::Pdu{initiateRequest()}), std::move(handlers));
    if (!connected) {
        impl_->tracker.close(ClientError::NotConnected);
        return errorFromSetup(connected.error());
    }
    std::unique_ptr<iso::InitiatorAssociation> association = std::move(*connected);

    ClientError result = ClientError::Ok;
    auto answer = mms::decodePdu(association->initiateResponse(), impl_->limits);
    const auto* response = answer ? std::get_if<mms::InitiateResponse>(&*answer) : nullptr;
    if (response == nullptr) {
        result = answer && std::holds_alternative<mms::InitiateError>(*answer)
                     ? ClientError::ConnectionRejected
                     : ClientError::MalformedMessage;
    } else {
        const int32_t agreed =
            std::min(response->parameters.localDetail.value_or(kProposedPduSize), kProposedPduSize);
        if (agreed < kSmallestUsablePduSize) {
            result = ClientError::ConnectionRejected;
        } else {
            association->setMaxPduSize(static_cast<size_t>(agreed));
            impl_->pduSize = static_cast<uint32_t>(agreed);
            const int32_t outstanding = response->parameters.maxServOutstandingCalling;
            impl_->tracker.setMaxOutstanding(static_cast<size_t>(outstanding > 0 ? outstanding : 1));
            impl_->outstanding = static_cast<uint32_t>(outstanding > 0 ? outstanding : 1);
        }
    }
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        if (result == ClientError::Ok && (impl_->ended || impl_->localEnd)) {
            result = impl_->localEnd ? ClientError::NotConnected : ClientError::ConnectionLost;
        }
        impl_->connected = result == ClientError::Ok;
        impl_->association = std::move(association);
    }
    if (result != ClientError::Ok) {
        abort();
    }
    return result;
}

RequestOutcome MmsClient::request(mms::ConfirmedRequestService service, std::chrono::milliseconds timeout) {
    const auto deadline = RequestTracker::Clock::now() + timeout;
    iso::InitiatorAssociation* association = nullptr;
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        if (!impl_->connected || impl_->ended || impl_->localEnd || impl_->lost) {
            return RequestOutcome::failed(ClientError::NotConnected);
        }
        association = impl_->association.get();
    }
    const auto sentAt = RequestTracker::Clock::now();
    ClientError error = ClientError::Ok;
    const auto invokeId = impl_->tracker.begin(deadline, &error);
    if (!invokeId) {
        return RequestOutcome::failed(error);
    }
    const Bytes pdu = mms::encodePdu(mms::Pdu{mms::ConfirmedRequest{*invokeId, std::move(service)}});
    const auto sent = association->send(pdu);
    if (!sent) {
        impl_->tracker.abandon(*invokeId);
        return RequestOutcome::failed(sent.error() == iso::Error::PduTooLarge ? ClientError::InvalidArgument
                                                                              : ClientError::ConnectionLost);
    }
    RequestOutcome outcome = impl_->tracker.wait(*invokeId, deadline);
    if (outcome.error == ClientError::Timeout && impl_->silentSince(sentAt)) {
        impl_->declareLost();
    }
    return outcome;
}

ClientError MmsClient::requestAsync(mms::ConfirmedRequestService service, std::chrono::milliseconds timeout,
                                    RequestTracker::Completion done, uint32_t* invokeIdOut) {
    iso::InitiatorAssociation* association = nullptr;
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        if (!impl_->connected || impl_->ended || impl_->localEnd) {
            return ClientError::NotConnected;
        }
        association = impl_->association.get();
    }
    // As for a waiting request: no answer in time and nothing from the peer late in the wait gives the
    // association up, before the request learns of its time-out.
    Impl* impl = impl_.get();
    const auto sentAt = RequestTracker::Clock::now();
    auto completion = [impl, sentAt, done = std::move(done)](uint32_t id, RequestOutcome outcome) {
        if (outcome.error == ClientError::Timeout && impl->silentSince(sentAt)) {
            impl->declareLost();
        }
        done(id, std::move(outcome));
    };
    ClientError error = ClientError::Ok;
    const auto invokeId =
        impl_->tracker.beginAsync(RequestTracker::Clock::now() + timeout, std::move(completion), &error);
    if (!invokeId) {
        return error;
    }
    if (invokeIdOut != nullptr) {
        *invokeIdOut = *invokeId;
    }
    const Bytes pdu = mms::encodePdu(mms::Pdu{mms::ConfirmedRequest{*invokeId, std::move(service)}});
    const auto sent = association->send(pdu);
    if (!sent && impl_->tracker.abandon(*invokeId)) {
        return sent.error() == iso::Error::PduTooLarge ? ClientError::InvalidArgument
                                                       : ClientError::ConnectionLost;
    }
    return ClientError::Ok;
}

void MmsClient::release(std::chrono::milliseconds timeout) {
    iso::InitiatorAssociation* association = nullptr;
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        const bool up = impl_->connected && !impl_->ended && !impl_->localEnd && !impl_->lost;
        impl_->localEnd = true;
        if (up) {
            association = impl_->association.get();
        }
    }
    if (association == nullptr || onReceiveThread()) {
        abort();
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool concluded = false;
    if (association->send(mms::encodePdu(mms::Pdu{mms::ConcludeRequest{}}))) {
        std::unique_lock<std::mutex> lock(impl_->mutex);
        impl_->changed.wait_until(lock, deadline, [this] { return impl_->concludeAnswered || impl_->ended; });
        concluded = impl_->concludeAnswered;
    }
    if (!concluded) {
        abort();  // a peer that does not answer is not waited for twice
        return;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    association->release(std::max(left, std::chrono::milliseconds(0)));
    impl_->tracker.close(ClientError::NotConnected);
}

void MmsClient::abort() {
    iso::InitiatorAssociation* association = nullptr;
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->localEnd = true;
        association = impl_->association.get();
    }
    // Before the receive thread ends: waiting requests learn that we ended it, not that it was lost.
    impl_->tracker.close(ClientError::NotConnected);
    if (association != nullptr) {
        association->abort();
    }
}

bool MmsClient::isConnected() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->connected && !impl_->ended && !impl_->localEnd && !impl_->lost;
}

bool MmsClient::onReceiveThread() const {
    return impl_->receiveThread.load() == std::this_thread::get_id();
}

uint32_t MmsClient::negotiatedPduSize() const {
    return impl_->pduSize;
}

uint32_t MmsClient::negotiatedOutstanding() const {
    return impl_->outstanding;
}

}  // namespace iecstack::client
