#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "ber/byte_view.h"
#include "ber/result.h"
#include "iso/association_codec.h"
#include "iso/close_reason.h"
#include "iso/iso_error.h"

namespace iecstack::iso {

class IsoTransport;

struct InitiatorSettings {
    AssociationParameters parameters;
    std::chrono::milliseconds connectTimeout{10000};    // TCP connection
    std::chrono::milliseconds associateTimeout{10000};  // from TCP up to the association response
    // Largest MMS PDU either side may send until setMaxPduSize() applies the negotiated value; the
    // MMS initiate request should propose the same figure.
    size_t maxPduSize = 65000;
};

// The client side of one association: owns the socket and a receive thread. Every MMS PDU the peer
// sends (responses and unsolicited reports alike) goes to `onPdu` on that thread; `onClosed` runs
// exactly once, also when we end the association ourselves. After close(), abort(), release() or
// destruction return, no handler runs any more. Handlers must not destroy the association.
class InitiatorAssociation {
public:
    struct Handlers {
        std::function<void(ByteView mmsPdu)> onPdu;
        std::function<void(CloseReason reason, Error detail)> onClosed;
    };

    // Sets up TCP, transport, session, presentation and association control, carrying
    // `initiateRequest` (an encoded MMS initiate request), and starts receiving. A negative association
    // response is AssociationRejected; initiateResponse() then holds nothing.
    static Result<std::unique_ptr<InitiatorAssociation>, Error> connect(const std::string& host,
                                                                        uint16_t port,
                                                                        const InitiatorSettings& settings,
                                                                        ByteView initiateRequest,
                                                                        Handlers handlers);
    ~InitiatorAssociation();
    InitiatorAssociation(const InitiatorAssociation&) = delete;
    InitiatorAssociation& operator=(const InitiatorAssociation&) = delete;

    // The MMS initiate response carried by the association response.
    const Bytes& initiateResponse() const { return initiateResponse_; }

    // Applies the PDU size agreed in the initiate exchange to both directions.
    void setMaxPduSize(size_t size);
    size_t maxPduSize() const;

    // Thread-safe. PduTooLarge beyond the agreed size, NotConnected once the association ended.
    Status<Error> send(ByteView mmsPdu);

    // Orderly release: waits up to `timeout` for the peer's release response, then closes; aborts
    // when no response came.
    Status<Error> release(std::chrono::milliseconds timeout);
    // Abort or close at once; the abort goes out only if the peer still takes what we send.
    void abort();
    void close();
    // Gives the association up as lost, from any thread and without waiting: a best-effort abort,
    // then the connection is shut down and the receive thread reports ConnectionLost to onClosed.
    void abandon();

    bool isOpen() const;

private:
    InitiatorAssociation(std::unique_ptr<IsoTransport> transport, Handlers handlers, int64_t acseContextId,
                         int64_t mmsContextId, size_t maxPduSize);
    void receiveLoop();
    void stop(CloseReason reason);

    std::unique_ptr<IsoTransport> transport_;
    Handlers handlers_;
    Bytes initiateResponse_;
    int64_t acseContextId_;
    int64_t mmsContextId_;

    mutable std::mutex mutex_;
    std::condition_variable ended_;
    bool open_ = true;
    bool releaseRequested_ = false;
    bool abandoned_ = false;
    CloseReason localReason_ = CloseReason::LocalClose;  // what the receive thread reports when we end it
    bool localEnd_ = false;
    CloseReason finalReason_ = CloseReason::LocalClose;
    size_t maxPduSize_;
    std::thread receiver_;
};

}  // namespace iecstack::iso
