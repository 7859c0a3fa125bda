#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ber/byte_view.h"
#include "iso/responder.h"
#include "iso_unwrap.h"

namespace korvan::test {

// A server on a free loopback port that answers each request with the response recorded for the same
// request in a reference capture (invoke ID replaced by ours), with the reports recorded around it. It speaks
// through our responder, so the association and every byte of the answers are real; only the server's logic
// is a recording.
class ScriptedPeer {
public:
    enum class Behaviour {
        Answer,          // the recorded response, or a reject when the capture has none
        Silent,          // never answers, not even a conclude
        CloseOnRequest,  // drops the TCP connection when a request arrives
        AnswerLate,      // the recorded response, half a second late (holding up later requests)
        EndlessNames,    // every name list answered with the same name and "more follow"
    };

    // Whether the unconfirmed PDUs the recorded server sent after a response (reports) are sent too,
    // and when: after our answer, as recorded, or before it, while the client still waits.
    enum class Reports { Withheld, AfterAnswer, BeforeAnswer };

    // Answers from every conversation of `captureName` (e.g. "05-read-types.pcap").
    explicit ScriptedPeer(const std::string& captureName);
    ~ScriptedPeer();

    uint16_t port() const { return listener_->port(); }
    void setBehaviour(Behaviour behaviour) { behaviour_ = behaviour; }
    void setReports(Reports reports) { reports_ = reports; }
    // Drops every open association without a goodbye, as a stopped server process does.
    void dropConnections();

    int requestsSeen() const { return requestsSeen_; }
    int requestsWithoutRecording() const { return requestsWithoutRecording_; }
    // The recorded confirmed requests of the capture, decoded, in capture order.
    const std::vector<iecstack::Bytes>& recordedRequests() const { return recordedRequests_; }

private:
    class Handler;

    std::map<iecstack::Bytes, iecstack::Bytes> answers_;  // request without invoke ID and times -> response
    // request without invoke ID -> the unconfirmed PDUs that followed its response
    std::map<iecstack::Bytes, std::vector<iecstack::Bytes>> followers_;
    // request without invoke ID -> the unconfirmed PDUs sent while it waited for its response (refusal
    // reports come before the negative response)
    std::map<iecstack::Bytes, std::vector<iecstack::Bytes>> precursors_;
    iecstack::Bytes initiateResponse_;
    std::vector<iecstack::Bytes> recordedRequests_;
    std::atomic<Behaviour> behaviour_{Behaviour::Answer};
    std::atomic<Reports> reports_{Reports::Withheld};
    std::atomic<int> requestsSeen_{0};
    std::atomic<int> requestsWithoutRecording_{0};
    std::mutex mutex_;
    std::vector<std::weak_ptr<iecstack::iso::ResponderAssociation>> associations_;
    std::unique_ptr<iecstack::iso::ResponderListener> listener_;
};

}  // namespace korvan::test
