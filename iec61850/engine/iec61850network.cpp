#include "iec61850network.h"

#include "connectfailure.h"
#include "objectreference.h"
#include "valuerenderer.h"

#include <QList>

namespace iec61850 {

namespace {

// How long a connect may take, TCP and association together.
constexpr int kConnectTimeoutMs = 10000;

}  // namespace

Iec61850Network::Iec61850Network(QObject* parent) : QObject(parent) {}

Iec61850Network::~Iec61850Network() {
    disconnect();
}

void Iec61850Network::doConnect(const QString& ip, int port) {
    // A second connect must not strand the handle of the association that is still open.
    disconnect();

    currentLayer = 0;
    closedByPeer.store(false);
    refToFc.clear();
    dataSetMembers.clear();
    layerStack = QStringList{QStringLiteral("rootLayer")};

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
    emit setStatusBarMessage(QStringLiteral("connected to %1:%2").arg(ip).arg(port));
    emit connectionStateChanged(true);
    browseServer();
}

void Iec61850Network::disconnect() {
    // From here on a closure notice belongs to no association of ours.
    liveAssociation.store(0);
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
        emit connectionStateChanged(false);
    }
    if (controlValue) {
        MmsValue_delete(controlValue);
        controlValue = nullptr;
    }
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
        engine, [engine, association] { engine->associationClosed(association); }, Qt::QueuedConnection);
}

void Iec61850Network::associationClosed(quint64 association) {
    // The walk may have noticed the loss first and torn down already; then there is nothing to end.
    if (association == liveAssociation.load() && connection) {
        disconnect();
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
    if (requestsInFlight.load() == 0) {
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

void Iec61850Network::readValue(const QString& ref_string) {
    readAndRender(ref_string);
}

void Iec61850Network::readAndRender(const QString& ref) {
    const RequestScope scope(*this);
    if (!scope.allowed()) {
        return;
    }
    const QString fc = refToFc.value(ref);
    if (fc.size() < 3) {
        return;
    }
    const FunctionalConstraint constraint =
        FunctionalConstraint_fromString(fc.mid(1, 2).toLatin1().constData());
    MmsValue* value = IedConnection_readObject(connection, &lastError, ref.toUtf8().constData(), constraint);
    if (lastError == IED_ERROR_OK && value) {
        renderValue(value, ref, false);
    }
    MmsValue_delete(value);
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
