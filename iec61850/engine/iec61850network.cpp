#include "iec61850network.h"

#include "connectfailure.h"
#include "objectreference.h"
#include "valuerenderer.h"

#include <QList>
#include <QThread>
#include <QTimer>

#include <utility>

namespace iec61850 {

namespace {

// How long a connect may take, TCP and association together.
constexpr int kConnectTimeoutMs = 10000;

// Quiet time after which an idle association is probed; far below the two minutes after which many
// devices drop an idle association, and a device that stops answering is noticed within this plus
// the request time-out.
constexpr int kKeepAliveIntervalMs = 10000;

struct KeepAliveTicket {
    Iec61850Network* engine;
    quint64 association;
};

}  // namespace

Iec61850Network::Iec61850Network(QObject* parent) : QObject(parent), keepAliveTimer(new QTimer(this)) {
    keepAliveTimer->setSingleShot(true);
    keepAliveTimer->setInterval(kKeepAliveIntervalMs);
    connect(keepAliveTimer, &QTimer::timeout, this, &Iec61850Network::keepAlive);
    qRegisterMetaType<ReportHeader>();
}

void Iec61850Network::setKeepAliveInterval(int ms) {
    keepAliveTimer->setInterval(ms);
}

Iec61850Network::~Iec61850Network() {
    disconnect();
}

void Iec61850Network::doConnect(const QString& ip, int port) {
    // A second connect must not strand the handle of the association that is still open.
    disconnect();

    currentLayer = 0;
    closedByPeer.store(false);
    loss.reset();
    peer = QStringLiteral("%1:%2").arg(ip).arg(port);
    if (peer != reportsPeer) {
        enabledReports.clear();  // another device's blocks
        reportsPeer = peer;
    }
    refToFc.clear();
    dataSetMembers.clear();
    layerStack = QStringList{QStringLiteral("rootLayer")};

    // The keep-alive timer must stop in this thread, also when the thread ends with an association open.
    connect(QThread::currentThread(), &QThread::finished, keepAliveTimer, &QTimer::stop,
            static_cast<Qt::ConnectionType>(Qt::DirectConnection | Qt::UniqueConnection));

    IedConnection created = IedConnection_create();
    if (!created) {
        emit connectionStateChanged(false);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(handleMutex);
        connection = created;
    }
    liveAssociation.store(++associationCount);
    // Installed before connecting, so that a server closing right after the association is noticed.
    IedConnection_installConnectionClosedHandler(connection, &Iec61850Network::connectionClosedHandler, this);
    IedConnection_setConnectTimeout(connection, kConnectTimeoutMs);
    IedConnection_setRequestTimeout(connection, kRequestTimeoutMs);
    emit setStatusBarMessage(QStringLiteral("connecting to %1:%2...").arg(ip).arg(port));
    IedConnection_connect(connection, &lastError, ip.toUtf8().constData(), port);
    if (lastError != IED_ERROR_OK) {
        // Told before the state turns false: ieddump ends on that.
        const QString reason = connectFailureReason(lastError, ip, port, kConnectTimeoutMs);
        emit setStatusBarMessage(QStringLiteral("Connect failed: ") + reason);
        emit connectFailed(reason);
        disconnect();
        return;
    }
    associated = true;
    emit setStatusBarMessage(QStringLiteral("connected to %1:%2").arg(ip).arg(port));
    emit connectionStateChanged(true);
    noteActivity();
    browseServer();
}

void Iec61850Network::disconnect() {
    const quint64 ending = liveAssociation.load();
    const bool askedFor = ending != 0 && abandonedAssociation.load() == ending;
    // From here on a closure notice belongs to no association of ours.
    liveAssociation.store(0);
    // A walk in progress ends here; answers still on their way find no association and are dropped,
    // and reads queued for this association are never sent.
    walk.reset();
    planner.reset();
    readTargets.clear();
    deferredReads.clear();
    keepAliveTimer->stop();
    keepAliveOutstanding = false;
    // Control objects belong to the connection and go before it.
    releaseControls();
    if (connection) {
        IedConnection closing = nullptr;
        {
            std::lock_guard<std::mutex> lock(handleMutex);
            closing = connection;
            connection = nullptr;
        }
        // Also for an association the server ended: the teardown never runs on the receive thread, so
        // the handle can be released here, which also waits for that thread to finish.
        IedConnection_destroy(closing);
        // No report handler runs any more.
        reportContexts.clear();
        if (std::exchange(associated, false)) {
            // Said once, whoever ended it; a failed connect has said why already.
            if (!askedFor && (loss || closedByPeer.load())) {
                emit setStatusBarMessage(
                    connectionLostText(loss.value_or(ConnectionLoss::PeerClosed), kRequestTimeoutMs));
            } else {
                emit setStatusBarMessage(QStringLiteral("disconnected from %1").arg(peer));
            }
        }
        emit connectionStateChanged(false);
    }
    releaseReadWaiters();
}

void Iec61850Network::connectionClosedHandler(void* parameter, IedConnection) {
    // Receive thread: the worker may be inside a request on this very handle, so nothing is released
    // here. The flag stops further requests at once; the teardown itself is queued to the worker.
    auto* engine = static_cast<Iec61850Network*>(parameter);
    const quint64 association = engine->liveAssociation.load();
    if (association == 0) {
        return;
    }
    engine->closedByPeer.store(true);
    QMetaObject::invokeMethod(
        engine, [engine, association] { engine->associationClosed(association, 0); },
        Qt::QueuedConnection);
}

void Iec61850Network::associationClosed(quint64 association, int round) {
    // Requests that failed because the association went post their answers right after this notice,
    // from the client's timer or receive thread; a time-out among them says why it ended. Wait for
    // them briefly: every one is answered exactly once, but not always before this notice is handled.
    constexpr int kSettleRounds = 50;
    constexpr int kSettleStepMs = 10;
    const bool waiting = !controlCommands.empty() || answersOutstanding.load() > 0;
    if (round == 0 || (waiting && round < kSettleRounds && association == liveAssociation.load())) {
        QTimer::singleShot(round == 0 ? 0 : kSettleStepMs, this,
                           [this, association, round] { associationClosed(association, round + 1); });
        return;
    }
    // The walk may have noticed the loss first and torn down already; then there is nothing to end.
    if (association == liveAssociation.load() && connection) {
        disconnect();
    }
}

void Iec61850Network::noteRequestFailure(IedClientError error) {
    // Only a failure that ended the association says why it ended.
    if (loss || !closedByPeer.load()) {
        return;
    }
    if (error == IED_ERROR_TIMEOUT) {
        loss = ConnectionLoss::NoAnswer;
    } else if (error == IED_ERROR_MALFORMED_MESSAGE || error == IED_ERROR_UNEXPECTED_VALUE_RECEIVED) {
        loss = ConnectionLoss::ProtocolError;
    }
}

void Iec61850Network::noteRequestFailure(MmsError error) {
    if (error == MMS_ERROR_SERVICE_TIMEOUT) {
        noteRequestFailure(IED_ERROR_TIMEOUT);
    } else if (error == MMS_ERROR_PARSING_RESPONSE) {
        noteRequestFailure(IED_ERROR_MALFORMED_MESSAGE);
    }
}

bool Iec61850Network::mayRequest() const {
    const quint64 live = liveAssociation.load();
    return connection && !closedByPeer.load() && (live == 0 || live != abandonedAssociation.load());
}

void Iec61850Network::abandonAssociation() {
    // Order matters against RequestScope: a request either sees the mark and stays unsent, or is
    // counted in flight before the count is read here, and is then cut short.
    abandonedAssociation.store(liveAssociation.load());
    if (requestsInFlight.load() == 0 && answersOutstanding.load() == 0) {
        return;  // the queued disconnect() releases the association in order
    }
    std::lock_guard<std::mutex> lock(handleMutex);
    if (connection) {
        IedConnection_abort(connection, nullptr);
    }
}

Iec61850Network::RequestScope::RequestScope(Iec61850Network& engine) : engine_(engine) {
    ++engine_.requestsInFlight;
    allowed_ = engine_.mayRequest();
}

Iec61850Network::RequestScope::~RequestScope() {
    --engine_.requestsInFlight;
}

void Iec61850Network::noteActivity() {
    keepAliveTimer->start();
}

void Iec61850Network::keepAlive() {
    if (!mayRequest() || keepAliveOutstanding) {
        return;
    }
    if (walk) {
        noteActivity();
        return;
    }
    auto* ticket = new KeepAliveTicket{this, liveAssociation.load()};
    MmsError error = MMS_ERROR_NONE;
    MmsConnection_identifyAsync(IedConnection_getMmsConnection(connection), nullptr, &error,
                                &Iec61850Network::keepAliveAnswer, ticket);
    if (error != MMS_ERROR_NONE) {
        delete ticket;
        noteActivity();
        return;
    }
    keepAliveOutstanding = true;
}

void Iec61850Network::keepAliveAnswer(uint32_t, void* parameter, MmsError error, char*, char*, char*) {
    const std::unique_ptr<KeepAliveTicket> ticket(static_cast<KeepAliveTicket*>(parameter));
    Iec61850Network* engine = ticket->engine;
    const quint64 association = ticket->association;
    QMetaObject::invokeMethod(
        engine, [engine, association, error] { engine->keepAliveAnswered(association, error); },
        Qt::QueuedConnection);
}

void Iec61850Network::keepAliveAnswered(quint64 association, MmsError error) {
    if (association != liveAssociation.load() || !connection) {
        return;
    }
    keepAliveOutstanding = false;
    noteRequestFailure(error);
    // Any answer, even a refusal, shows the device alive; silence past the request time-out does not.
    if (error == MMS_ERROR_SERVICE_TIMEOUT || error == MMS_ERROR_CONNECTION_LOST) {
        disconnect();
        return;
    }
    noteActivity();
}

QStringList Iec61850Network::renderValue(MmsValue* value, const QString& ref, bool reportMode) {
    const RenderedValue rendered = iec61850::renderValue(value, ref, reportMode);
    for (int i = 0; i < rendered.unsupported; ++i) {
        emit updateValue(QString(), QString());
    }
    if (!reportMode && !rendered.texts.isEmpty()) {
        emit updateValue(ref, rendered.texts.first());
    }
    return rendered.texts;
}

}  // namespace iec61850
