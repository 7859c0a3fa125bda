#include "server/mms_server.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <functional>
#include <mutex>

#include "iso/scheduler.h"
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
        session_ = std::make_shared<Session>(
            id_, indication.peer, pduSize_, [this, weak](ByteView pdu, std::function<void()> leaving) {
                auto association = weak.lock();
                auto sent = association ? association->send(pdu, std::move(leaving))
                                        : Status<iso::Error>(iso::Error::NotConnected);
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
            delayed_ = std::make_unique<iso::TaskGroup>(services_.scheduler());
        }
        return decision;
    }

    void onPdu(iso::ResponderAssociation&, ByteView mmsPdu) override {
        if (options_.silentAfterRequests && requestsSeen_.fetch_add(1) >= *options_.silentAfterRequests) {
            log("PDU of " + std::to_string(mmsPdu.size()) + " octets left unanswered (silent)");
            return;
        }
        const auto arrived = iso::TaskGroup::Clock::now();
        // A request counts from before it is carried out until its answer starts to leave: the client
        // cannot send the next one earlier. One over the agreed number is turned away untouched.
        bool admitted = false;
        auto admit = [this, &admitted] {
            if (inFlight_->load() >= outstanding_) {
                return false;
            }
            ++*inFlight_;
            admitted = true;
            return true;
        };
        session_->beginRequest();
        ServiceOutcome outcome = services_.handle(*session_, mmsPdu, admit);
        if (outcome.refused) {
            outcome.summary += " (more than " + std::to_string(outstanding_) + " outstanding)";
        }
        log(outcome.summary);
        std::function<void()> leaving;
        if (admitted) {
            leaving = [inFlight = inFlight_] { --*inFlight; };
            if (outcome.response.empty()) {
                leaving();
                leaving = nullptr;
            }
        }
        if (!delayed_) {
            session_->finishRequest(outcome.response, std::move(leaving));
            return;
        }
        // The answer waits out the latency; sent through the session, it keeps its place among reports.
        session_->finishRequest(ByteView());
        if (!outcome.response.empty()) {
            {
                std::lock_guard<std::mutex> lock(delayedMutex_);
                delayedAnswers_.push_back({std::move(outcome.response), std::move(leaving)});
            }
            // Every answer waits the same time, so the one due is always the oldest.
            delayed_->at(arrived + options_.responseDelay, [this] {
                DelayedAnswer answer;
                {
                    std::lock_guard<std::mutex> lock(delayedMutex_);
                    answer = std::move(delayedAnswers_.front());
                    delayedAnswers_.pop_front();
                }
                session_->sendUnconfirmed(answer.bytes, std::move(answer.leaving));
            });
        }
    }

    void onClosed(iso::CloseReason reason, iso::Error detail) override {
        delayed_.reset();
        std::string why = iso::closeReasonName(reason);
        if (detail == iso::Error::SendStalled) {
            why = "stopped reading (more than " + std::to_string(options_.sendLimits.maxUnsentPdus) +
                  " PDUs or " + std::to_string(options_.sendLimits.stallTimeout.count()) +
                  " ms unsent), aborted";
        } else if (detail == iso::Error::Timeout) {
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
    // Shared with answers in the send queue, which may start to leave after this handler is gone.
    std::shared_ptr<std::atomic<size_t>> inFlight_ = std::make_shared<std::atomic<size_t>>(0);
    struct DelayedAnswer {
        Bytes bytes;
        std::function<void()> leaving;
    };
    std::mutex delayedMutex_;
    std::deque<DelayedAnswer> delayedAnswers_;
    std::unique_ptr<iso::TaskGroup> delayed_;  // only with a response delay; last, so closed first
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
    settings.sendLimits = options_.sendLimits;
    settings.scheduler = &services_.scheduler();
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
