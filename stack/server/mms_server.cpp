#include "server/mms_server.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "mms/codec.h"

namespace iecstack::server {

std::string printableLine(const std::string& line) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(line.size());
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\\') {
            out += "\\\\";
        } else if (byte < 0x20 || byte >= 0x7f) {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0f];
        } else {
            out += c;
        }
    }
    return out;
}

namespace {

// Looks at every octet whatever the first difference, so the time taken tells nothing of the password.
bool sameSecret(const std::string& given, const std::string& expected) {
    if (given.size() != expected.size()) {
        return false;
    }
    unsigned difference = 0;
    for (size_t i = 0; i < given.size(); ++i) {
        difference |= static_cast<unsigned char>(given[i]) ^ static_cast<unsigned char>(expected[i]);
    }
    return difference == 0;
}

}  // namespace

// Answers that wait out the configured latency. Requests keep arriving on the association's thread
// while earlier answers wait here, so a device with latency still answers several calls side by side.
class DelayedAnswers {
public:
    using Clock = std::chrono::steady_clock;
    using Send = std::function<void(const Bytes&)>;

    explicit DelayedAnswers(Send send) : send_(std::move(send)), thread_([this] { run(); }) {}
    ~DelayedAnswers() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    DelayedAnswers(const DelayedAnswers&) = delete;
    DelayedAnswers& operator=(const DelayedAnswers&) = delete;

    // Answers are due in arrival order, since every one waits the same time.
    void post(Clock::time_point due, Bytes answer) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back({due, std::move(answer)});
        }
        changed_.notify_all();
    }
    size_t waiting() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return queue_.size() + (sending_ ? 1 : 0);
    }

private:
    struct Answer {
        Clock::time_point due;
        Bytes bytes;
    };

    void run() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) {
                return;
            }
            const Clock::time_point due = queue_.front().due;
            if (changed_.wait_until(lock, due, [this] { return stopping_; })) {
                return;
            }
            Answer answer = std::move(queue_.front());
            queue_.pop_front();
            sending_ = true;
            lock.unlock();
            send_(answer.bytes);
            lock.lock();
            sending_ = false;
        }
    }

    Send send_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Answer> queue_;
    bool sending_ = false;
    bool stopping_ = false;
    std::thread thread_;  // last: starts once everything it uses exists
};

class MmsServer::Association : public iso::ResponderHandler {
public:
    Association(MmsServices& services, const ServerOptions& options, std::atomic<uint64_t>& requestsSeen,
                uint64_t id, std::shared_ptr<iso::ResponderAssociation> association)
        : services_(services),
          options_(options),
          requestsSeen_(requestsSeen),
          id_(id),
          association_(std::move(association)),
          tag_("[" + std::to_string(id) + "] ") {}

    iso::AssociateDecision onAssociate(const iso::AssociateIndication& indication) override {
        tag_ = tag_.substr(0, tag_.size() - 2) + " " + indication.peer + "] ";
        iso::AssociateDecision decision;
        if (auto refusal = authenticationRefusal(indication)) {
            decision.accept = false;
            decision.diagnostic = refusal->first;
            log(std::string("association refused: ") + refusal->second);
            return decision;
        }
        auto pdu = mms::decodePdu(indication.initiateRequest);
        const auto* request = pdu ? std::get_if<mms::InitiateRequest>(&*pdu) : nullptr;
        if (!request) {
            decision.accept = false;
            log("association refused: no MMS initiate request");
            return decision;
        }
        mms::InitiateResponse response = MmsServices::negotiate(request->parameters, options_.maxPduSize,
                                                                options_.minPduSize, options_.maxOutstanding);
        pduSize_ = static_cast<size_t>(*response.parameters.localDetail);
        outstanding_ = static_cast<size_t>(response.parameters.maxServOutstandingCalling);
        decision.initiateResponse = mms::encodePdu(response);
        decision.maxPduSize = pduSize_;
        std::weak_ptr<iso::ResponderAssociation> weak = association_;
        session_ = std::make_shared<Session>(id_, indication.peer, pduSize_, [this, weak](ByteView pdu) {
            auto association = weak.lock();
            auto sent = association ? association->send(pdu) : Status<iso::Error>(iso::Error::NotConnected);
            if (!sent) {
                log(std::string("PDU not sent: ") + iso::errorName(sent.error()));
            }
            return sent.ok();
        });
        const auto& proposed = request->parameters.localDetail;
        log("associated: PDU size " + std::to_string(pduSize_) + " (proposed " +
            (proposed ? std::to_string(*proposed) : std::string("nothing")) + "), " +
            std::to_string(outstanding_) + " outstanding calls");
        if (options_.responseDelay.count() > 0) {
            delayed_ = std::make_unique<DelayedAnswers>(
                [this](const Bytes& answer) { session_->sendUnconfirmed(answer); });
        }
        return decision;
    }

    void onPdu(iso::ResponderAssociation&, ByteView mmsPdu) override {
        if (options_.silentAfterRequests && requestsSeen_.fetch_add(1) >= *options_.silentAfterRequests) {
            log("PDU of " + std::to_string(mmsPdu.size()) + " octets left unanswered (silent)");
            return;
        }
        const auto arrived = DelayedAnswers::Clock::now();
        session_->beginRequest();
        ServiceOutcome outcome = services_.handle(*session_, mmsPdu);
        if (outcome.invokeId && delayed_ && delayed_->waiting() >= outstanding_) {
            // The client has more calls outstanding than it agreed to.
            mms::Reject reject;
            reject.originalInvokeId = outcome.invokeId;
            reject.rejectClass = mms::RejectClass::ConfirmedRequest;
            reject.reason = static_cast<int64_t>(mms::RequestRejectReason::MaxServicesOutstandingExceeded);
            outcome.response = mms::encodePdu(reject);
            outcome.summary += " (more than " + std::to_string(outstanding_) + " outstanding, rejected)";
        }
        log(outcome.summary);
        if (!delayed_) {
            session_->finishRequest(outcome.response);
            return;
        }
        // The answer waits out the latency; sent through the session, it keeps its place among reports.
        session_->finishRequest(ByteView());
        if (!outcome.response.empty()) {
            delayed_->post(arrived + options_.responseDelay, std::move(outcome.response));
        }
    }

    void onClosed(iso::CloseReason reason, iso::Error detail) override {
        delayed_.reset();
        std::string why = iso::closeReasonName(reason);
        if (detail == iso::Error::Timeout) {
            why = "idle for " + std::to_string(options_.idleTimeout.count()) + " ms, aborted";
        } else if (reason == iso::CloseReason::ProtocolError || reason == iso::CloseReason::LocalClose) {
            why += std::string(" (") + iso::errorName(detail) + ")";
        }
        log("association ended: " + why);
        if (session_) {
            session_->end();
            services_.associationEnded(*session_);
        }
    }

private:
    // Why a client is refused before anything else is looked at, when a password is required.
    std::optional<std::pair<iso::acse::AssociateDiagnostic, const char*>> authenticationRefusal(
        const iso::AssociateIndication& indication) const {
        using Diagnostic = iso::acse::AssociateDiagnostic;
        if (!options_.password) {
            return std::nullopt;
        }
        if (indication.mechanism && !indication.password) {
            return std::pair{Diagnostic::AuthenticationMechanismNotRecognized,
                             "unsupported authentication mechanism"};
        }
        if (!indication.password) {
            return std::pair{Diagnostic::AuthenticationRequired, "no password given"};
        }
        if (!sameSecret(*indication.password, *options_.password)) {
            return std::pair{Diagnostic::AuthenticationFailure, "wrong password"};
        }
        return std::nullopt;
    }

    void log(const std::string& line) const {
        if (options_.log) {
            options_.log(tag_ + line);
        }
    }

    MmsServices& services_;
    const ServerOptions& options_;
    std::atomic<uint64_t>& requestsSeen_;
    const uint64_t id_;
    std::shared_ptr<iso::ResponderAssociation> association_;
    std::string tag_;
    size_t pduSize_ = 0;
    std::shared_ptr<Session> session_;
    size_t outstanding_ = 1;
    std::unique_ptr<DelayedAnswers> delayed_;  // only with a response delay; last, so stopped first
};

MmsServer::MmsServer(MmsServices& services, ServerOptions options)
    : services_(services), options_(std::move(options)) {
    // Names and addresses in log lines come from peers: no byte of theirs reaches a terminal raw.
    if (options_.log) {
        options_.log = [sink = std::move(options_.log)](const std::string& line) {
            sink(printableLine(line));
        };
    }
}

MmsServer::~MmsServer() {
    stop();
}

bool MmsServer::start(std::string* error) {
    iso::ListenerSettings settings;
    settings.bindAddress = options_.bindAddress;
    settings.port = options_.port;
    settings.maxConnections = options_.maxConnections;
    settings.setupTimeout = options_.setupTimeout;
    settings.idleTimeout = options_.idleTimeout;
    settings.maxPduSize = std::max(options_.maxPduSize, options_.minPduSize);
    settings.log = options_.log;  // peers refused before any association, with the reason
    auto counter = std::make_shared<std::atomic<uint64_t>>(0);
    listener_ = std::make_unique<iso::ResponderListener>(
        settings, [this, counter](const std::shared_ptr<iso::ResponderAssociation>& association) {
            return std::make_unique<Association>(services_, options_, requestsSeen_, ++*counter, association);
        });
    auto started = listener_->start();
    if (!started) {
        if (error) {
            const std::string& why = listener_->startFailure();
            *error = "cannot listen on " + options_.bindAddress + ":" + std::to_string(options_.port) + ": " +
                     (why.empty() ? iso::errorName(started.error()) : why);
        }
        listener_.reset();
        return false;
    }
    return true;
}

void MmsServer::stop() {
    if (listener_) {
        listener_->stop();
    }
}

uint16_t MmsServer::port() const {
    return listener_ ? listener_->port() : 0;
}

iso::ListenerCounters MmsServer::counters() const {
    return listener_ ? listener_->counters() : iso::ListenerCounters{};
}

size_t MmsServer::openConnections() const {
    return listener_ ? listener_->activeConnections() : 0;
}

}  // namespace iecstack::server
