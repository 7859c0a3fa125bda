#include "iso/responder.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "data_phase.h"
#include "envelope_limits.h"
#include "iso/association_codec.h"
#include "iso_transport.h"
#include "send_queue.h"

namespace iecstack::iso {

ResponderAssociation::ResponderAssociation(std::unique_ptr<IsoTransport> transport)
    : transport_(std::move(transport)), peer_(transport_->peerAddress()) {}

ResponderAssociation::~ResponderAssociation() = default;

Status<Error> ResponderAssociation::send(ByteView mmsPdu, std::function<void()> leaving) {
    int64_t context;
    std::shared_ptr<SendQueue> queue;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!open_ || localEnd_ || !queue_) {
            return Error::NotConnected;
        }
        if (mmsPdu.size() > maxPduSize_) {
            return Error::PduTooLarge;
        }
        context = mmsContextId_;
        queue = queue_;
    }
    return queue->push(transport_->frameUnit(encodeDataUnit(context, mmsPdu)), std::move(leaving));
}

void ResponderAssociation::setMaxPduSize(size_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    maxPduSize_ = size;
    transport_->setMaxUnitSize(size + kDataEnvelopeAllowance);
}

size_t ResponderAssociation::maxPduSize() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return maxPduSize_;
}

bool ResponderAssociation::isOpen() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return open_ && !localEnd_;
}

void ResponderAssociation::endLocally(CloseReason reason, bool sayAbort, bool stalled) {
    bool wasOpen;
    int64_t context;
    std::shared_ptr<SendQueue> queue;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        wasOpen = open_ && !localEnd_;
        context = acseContextId_;
        queue = queue_;
        stalled_ = stalled_ || stalled;
        if (!localEnd_) {
            localEnd_ = true;
            localReason_ = reason;
        }
    }
    const bool lastWords = sayAbort && wasOpen;
    if (queue) {
        queue->close(lastWords ? transport_->frameUnit(encodeAbortUnit(context)) : Bytes());
    } else if (lastWords) {
        transport_->sendUnitNow(encodeAbortUnit(context));
    }
    transport_->shutdown();
}

void ResponderAssociation::abort() {
    endLocally(CloseReason::LocalAbort, true, false);
}

void ResponderAssociation::stalled() {
    endLocally(CloseReason::LocalAbort, false, true);  // half a PDU may be out: no abort can follow it
}

void ResponderAssociation::close() {
    endLocally(CloseReason::LocalClose, false, false);
}

ResponderListener::ResponderListener(ListenerSettings settings, HandlerFactory factory)
    : settings_(std::move(settings)), factory_(std::move(factory)) {
    if (!settings_.scheduler) {
        ownScheduler_ = std::make_unique<Scheduler>(1);
        settings_.scheduler = ownScheduler_.get();
    }
}

ResponderListener::~ResponderListener() {
    stop();
}

namespace {

std::string listenFailureText(int error) {
    switch (error) {
        case EADDRINUSE:
            return "the port is already in use (another server listens there)";
        case EACCES:
        case EPERM:
            return "no permission: ports below 1024 need root or the CAP_NET_BIND_SERVICE capability";
        case EADDRNOTAVAIL:
            return "the address does not belong to this machine";
        default:
            return std::strerror(error);
    }
}

}  // namespace

Status<Error> ResponderListener::start() {
    startFailure_.clear();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(settings_.port);
    if (::inet_pton(AF_INET, settings_.bindAddress.c_str(), &address.sin_addr) != 1) {
        startFailure_ = "not an IPv4 address";
        return Error::ConnectFailed;
    }
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        return Error::IoError;
    }
    const int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    socklen_t length = sizeof(address);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(listenFd_, SOMAXCONN) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe2(wakePipe_, O_CLOEXEC) != 0) {
        startFailure_ = listenFailureText(errno);
        ::close(listenFd_);
        listenFd_ = -1;
        return Error::ConnectFailed;
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
    return {};
}

void ResponderListener::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_ || listenFd_ < 0) {
            return;
        }
        stopping_ = true;
    }
    const char wake = 1;
    while (::write(wakePipe_[1], &wake, 1) < 0 && errno == EINTR) {
    }
    acceptor_.join();
    std::list<Connection> connections;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        connections.splice(connections.end(), connections_);
    }
    for (Connection& connection : connections) {
        connection.association->close();
    }
    for (Connection& connection : connections) {
        connection.thread.join();
    }
    ::close(listenFd_);
    ::close(wakePipe_[0]);
    ::close(wakePipe_[1]);
}

ListenerCounters ResponderListener::counters() const {
    ListenerCounters c;
    c.connectionsAccepted = connectionsAccepted_;
    c.connectionsOverLimit = connectionsOverLimit_;
    c.associationsAccepted = associationsAccepted_;
    c.associationsRefused = associationsRefused_;
    c.setupFailures = setupFailures_;
    c.protocolErrors = protocolErrors_;
    c.stalledPeers = stalledPeers_;
    return c;
}

size_t ResponderListener::activeConnections() const {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t active = 0;
    for (const Connection& connection : connections_) {
        active += connection.finished ? 0 : 1;
    }
    return active;
}

void ResponderListener::report(const std::string& line) const {
    if (settings_.log) {
        settings_.log(line);
    }
}

void ResponderListener::reapFinished() {
    std::list<Connection> finished;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            auto next = std::next(it);
            if (it->finished) {
                finished.splice(finished.end(), connections_, it);
            }
            it = next;
        }
    }
    for (Connection& connection : finished) {
        connection.thread.join();
    }
}

void ResponderListener::acceptLoop() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[1].revents != 0) {
            return;
        }
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        reapFinished();
        std::lock_guard<std::mutex> lock(mutex_);
        if (connections_.size() >= settings_.maxConnections) {
            ++connectionsOverLimit_;
            ::close(fd);
            report("connection closed at once: " + std::to_string(settings_.maxConnections) +
                   " already open");
            continue;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
        ++connectionsAccepted_;
        connections_.emplace_back();
        Connection& connection = connections_.back();
        connection.association =
            std::make_shared<ResponderAssociation>(std::make_unique<IsoTransport>(TcpSocket(fd)));
        connection.thread = std::thread([this, &connection] {
            serve(connection);
            connection.finished = true;
        });
    }
}

void ResponderListener::serve(Connection& connection) {
    ResponderAssociation& association = *connection.association;
    IsoTransport& transport = *association.transport_;
    const Deadline deadline = Deadline::after(settings_.setupTimeout);
    transport.setMaxUnitSize(kMaxSetupUnitSize);
    auto setupFailed = [&](Error error) {
        ++setupFailures_;
        report(association.peer() + ": association set-up failed: " + errorName(error));
        transport.shutdown();
    };

    auto payload = transport.receiveTpdu(deadline);
    if (!payload) {
        return setupFailed(payload.error());
    }
    auto request = cotp::decodeTpdu(*payload);
    if (!request) {
        return setupFailed(request.error());
    }
    if (request->kind != cotp::TpduKind::ConnectionRequest) {
        return setupFailed(Error::UnexpectedTpdu);
    }
    auto confirm = cotp::confirmFor(request->connect, settings_.maxTpduSizeCode);
    if (!confirm) {
        return setupFailed(confirm.error());
    }
    auto confirmed = transport.sendTpdu(cotp::encodeConnectionConfirm(*confirm));
    if (!confirmed) {
        return setupFailed(confirmed.error());
    }
    transport.setTpduSize(cotp::tpduSizeFromCode(*confirm->tpduSizeCode));

    auto unit = transport.receiveUnit(deadline);
    if (!unit) {
        return setupFailed(unit.error());
    }
    auto indication = decodeConnectUnit(*unit);
    if (!indication) {
        return setupFailed(indication.error());
    }
    std::unique_ptr<ResponderHandler> handler = factory_(connection.association);
    if (!handler) {
        return setupFailed(Error::AssociationRejected);
    }
    AssociateIndication indicated;
    indicated.peer = association.peer();
    indicated.calling = indication->request.calling;
    indicated.called = indication->request.called;
    indicated.password = indication->request.password;
    indicated.mechanism = indication->request.mechanism;
    indicated.initiateRequest = indication->request.userData.toBytes();
    const AssociateDecision decision = handler->onAssociate(indicated);

    acse::AssociateResponse response;
    response.result = decision.accept ? 0 : 1;
    response.diagnostic = decision.accept ? 0 : static_cast<int64_t>(decision.diagnostic);
    response.userData = decision.accept ? ByteView(decision.initiateResponse) : ByteView();
    // The handler negotiated the size in the initiate exchange; it can only lower our own limit.
    const size_t agreedPduSize =
        decision.maxPduSize == 0 ? settings_.maxPduSize : std::min(decision.maxPduSize, settings_.maxPduSize);
    ++(decision.accept ? associationsAccepted_ : associationsRefused_);
    Status<Error> accepted;
    {
        // Open only once the response is out, and under the lock, so that a report sent from
        // another thread cannot overtake it.
        std::lock_guard<std::mutex> lock(association.mutex_);
        association.acseContextId_ = indication->acseContextId;
        association.mmsContextId_ = indication->mmsContextId;
        association.maxPduSize_ = agreedPduSize;
        accepted = transport.sendUnit(encodeAcceptUnit(*indication, response));
        association.open_ = decision.accept && accepted.ok();
        if (association.open_) {
            std::weak_ptr<ResponderAssociation> weak = connection.association;
            association.queue_ = SendQueue::create(*settings_.scheduler, transport.nativeHandle(),
                                                   settings_.sendLimits, [weak] {
                                                       if (auto stalled = weak.lock()) {
                                                           stalled->stalled();
                                                       }
                                                   });
        }
    }
    if (!decision.accept || !accepted) {
        transport.shutdown();
        handler->onClosed(CloseReason::LocalClose,
                          decision.accept ? accepted.error() : Error::AssociationRejected);
        return;
    }
    transport.setMaxUnitSize(agreedPduSize + kDataEnvelopeAllowance);

    DataPhaseHooks hooks;
    hooks.maxPduSize = [&association] { return association.maxPduSize(); };
    hooks.deliver = [&](ByteView pdu) { handler->onPdu(association, pdu); };
    hooks.stopSending = [&association] {
        std::lock_guard<std::mutex> lock(association.mutex_);
        association.open_ = false;
    };
    hooks.sendLast = [&association, &transport, this](ByteView unit) {
        // Behind whatever is still queued; the caller shuts the connection down right after.
        std::shared_ptr<SendQueue> queue;
        {
            std::lock_guard<std::mutex> lock(association.mutex_);
            queue = association.queue_;
        }
        if (queue && queue->push(transport.frameUnit(unit))) {
            queue->drain(settings_.sendLimits.stallTimeout.count() > 0 ? settings_.sendLimits.stallTimeout
                                                                       : std::chrono::milliseconds(10000));
        }
    };
    hooks.idleTimeout = settings_.idleTimeout;
    auto [reason, detail] =
        runDataPhase(transport, indication->mmsContextId, indication->acseContextId, hooks);
    if (detail == Error::Timeout) {
        association.abort();  // idle too long: the peer hears why
    }
    transport.shutdown();
    std::shared_ptr<SendQueue> queue;
    {
        std::lock_guard<std::mutex> lock(association.mutex_);
        association.open_ = false;
        // The association may be kept by others past the scheduler; only pending work keeps the queue.
        queue = std::move(association.queue_);
        if (association.localEnd_ && reason != CloseReason::Released) {
            reason = association.localReason_;
        }
        if (association.stalled_) {
            detail = Error::SendStalled;
        }
    }
    if (queue) {
        queue->close();
    }
    if (detail == Error::SendStalled) {
        ++stalledPeers_;
    }
    if (reason == CloseReason::ProtocolError) {
        ++protocolErrors_;
        report(association.peer() + ": association closed after a protocol error: " + errorName(detail));
    }
    handler->onClosed(reason, detail);
}

}  // namespace iecstack::iso
