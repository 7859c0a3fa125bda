#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ber/byte_view.h"
#include "iso/cotp.h"
#include "iso/tpkt.h"
#include "server/mms_services.h"

namespace iecstack::server {

// The server side of one connection, without the socket: bytes from the peer go in, bytes for the
// peer come out. It walks the transport connect, the association (session, presentation, ACSE, MMS
// initiate), the data phase and the release, and hands every MMS request to MmsServices.
class IsoResponder {
public:
    struct Settings {
        size_t maxPduSize = 65000;  // upper bound for the negotiated MMS PDU size
        size_t minPduSize = 512;    // proposals below this are raised to it
        int maxServOutstanding = 5;
        int nestingLevel = 10;
    };

    IsoResponder(MmsServices& services, Settings settings);

    // Everything the peer sent since the last call, in any split. Returns what to send back.
    Bytes receive(ByteView bytes);

    // The connection is to be closed (after sending what receive returned).
    bool finished() const { return finished_; }
    bool associated() const { return state_ == State::Data; }
    size_t negotiatedPduSize() const { return pduSize_; }
    // Whether the last receive answered a request of the data phase (those are the answers a
    // configured response delay applies to).
    bool answeredRequest() const { return answeredRequest_; }

    // Log lines produced since the last call: one per association event and per request.
    std::vector<std::string> takeLog();

private:
    enum class State { AwaitConnect, AwaitAssociate, Data, Closed };

    void onTpdu(const Bytes& tpkt, Bytes& out);
    void onConnectRequest(const iso::cotp::CotpConnect& cr, Bytes& out);
    void onAssociate(const Bytes& tsdu, Bytes& out);
    void onData(const Bytes& tsdu, Bytes& out);
    void sendUnit(ByteView tsdu, Bytes& out) const;
    void close(const std::string& why);

    MmsServices& services_;
    Settings settings_;
    State state_ = State::AwaitConnect;
    iso::TpktFramer framer_;
    iso::cotp::TsduReassembler reassembler_;
    size_t tpduSize_ = 128;
    size_t pduSize_ = 0;
    int64_t acseContext_ = 1;
    int64_t mmsContext_ = 3;
    bool finished_ = false;
    bool answeredRequest_ = false;
    std::vector<std::string> log_;
};

}  // namespace iecstack::server
