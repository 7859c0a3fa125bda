#include "iec61850network.h"

#include "objectreference.h"
#include "valuerenderer.h"

#include <QList>

namespace iec61850 {

namespace {

// Copies the names out of a list the library handed over and releases the list.
QList<QByteArray> takeNames(LinkedList list) {
    QList<QByteArray> names;
    if (!list) {
        return names;
    }
    for (LinkedList element = LinkedList_getNext(list); element; element = LinkedList_getNext(element)) {
        if (const auto* name = static_cast<const char*>(LinkedList_getData(element))) {
            names.append(QByteArray(name));
        }
    }
    LinkedList_destroy(list);
    return names;
}

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
    layerStack = QStringList{QStringLiteral("rootLayer")};

    connection = IedConnection_create();
    if (!connection) {
        emit connectionStateChanged(false);
        return;
    }
    liveAssociation.store(++associationCount);
    // Installed before connecting, so that a server closing right after the association is noticed.
    IedConnection_installConnectionClosedHandler(connection, &Iec61850Network::connectionClosedHandler, this);
    IedConnection_connect(connection, &lastError, ip.toUtf8().constData(), port);
    if (lastError != IED_ERROR_OK) {
        disconnect();
        return;
    }
    emit connectionStateChanged(true);
    browseServer();
}

void Iec61850Network::disconnect() {
    // From here on a closure notice belongs to no association of ours.
    liveAssociation.store(0);
    if (connection) {
        IedConnection closing = connection;
        connection = nullptr;
        // Also for an association the server ended: the teardown never runs on the receive thread, so
        // the handle can be released here, which also waits for that thread to finish.
        IedConnection_destroy(closing);
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
    return connection && !closedByPeer.load();
}

void Iec61850Network::readValue(const QString& ref_string) {
    readAndRender(ref_string);
}

void Iec61850Network::readAndRender(const QString& ref) {
    if (!mayRequest()) {
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

// ---- Model discovery ---------------------------------------------------------------------------

template <typename Request>
bool Iec61850Network::requestNames(Request request, QList<QByteArray>& names) {
    if (!mayRequest()) {
        return false;
    }
    LinkedList list = request();
    const bool ok = lastError == IED_ERROR_OK;
    names = takeNames(list);
    return ok;
}

QString Iec61850Network::emitDataLine(const QString& name, bool record) {
    ++currentLayer;
    const QString fc = extractFc(name);
    const QString shown = withoutFc(name);
    const QString ref = buildReference(layerStack, shown, currentLayer);
    emit newDataLine(shown, ref, fc, currentLayer);
    if (record && currentLayer > 3) {
        refToFc.insert(ref, fc);
        readAndRender(ref);
    }
    return ref;
}

void Iec61850Network::browseServer() {
    if (!browseLogicalDevices()) {
        disconnect();
        return;
    }
    emit connectionStateChanged(true);
}

bool Iec61850Network::browseLogicalDevices() {
    QList<QByteArray> devices;
    if (!requestNames([this] { return IedConnection_getLogicalDeviceList(connection, &lastError); },
                      devices)) {
        return false;
    }
    for (const QByteArray& device : devices) {
        if (!browseLogicalDevice(device)) {
            return false;
        }
    }
    return true;
}

bool Iec61850Network::browseLogicalDevice(const QByteArray& deviceName) {
    emitDataLine(QString::fromUtf8(deviceName), true);
    QList<QByteArray> nodes;
    if (!requestNames(
            [&] {
                return IedConnection_getLogicalDeviceDirectory(connection, &lastError,
                                                               deviceName.constData());
            },
            nodes)) {
        return false;
    }
    for (const QByteArray& node : nodes) {
        if (!browseLogicalNode(QString::fromUtf8(node))) {
            return false;
        }
    }
    --currentLayer;
    return true;
}

bool Iec61850Network::browseLogicalNode(const QString& nodeName) {
    const QString nodeRef = emitDataLine(nodeName, true);
    // Data objects, data sets, then unbuffered and buffered report control blocks.
    if (!browseNodeChildren(nodeRef, ACSI_CLASS_DATA_OBJECT) || !browseDataSets(nodeRef) ||
        !browseNodeChildren(nodeRef, ACSI_CLASS_URCB) || !browseNodeChildren(nodeRef, ACSI_CLASS_BRCB)) {
        return false;
    }
    --currentLayer;
    return true;
}

// Data objects or report control blocks of a logical node, each walked down to its leaves.
bool Iec61850Network::browseNodeChildren(const QString& nodeRef, ACSIClass acsiClass) {
    const QByteArray reference = nodeRef.toUtf8();
    QList<QByteArray> children;
    if (!requestNames(
            [&] {
                return IedConnection_getLogicalNodeDirectory(connection, &lastError, reference.constData(),
                                                             acsiClass);
            },
            children)) {
        return false;
    }
    for (const QByteArray& child : children) {
        const QString childRef = emitDataLine(QString::fromUtf8(child), true);
        if (!browseDataDirectory(childRef)) {
            return false;
        }
        --currentLayer;
    }
    return true;
}

bool Iec61850Network::browseDataDirectory(const QString& ref) {
    const QByteArray reference = ref.toUtf8();
    QList<QByteArray> children;
    if (!requestNames(
            [&] { return IedConnection_getDataDirectoryFC(connection, &lastError, reference.constData()); },
            children)) {
        return false;
    }
    // A child listed under a second functional constraint is shown, read and walked once, under the
    // constraint listed first.
    QStringList handled;
    for (const QByteArray& child : children) {
        const QString name = QString::fromUtf8(child);
        const QString shown = withoutFc(name);
        if (handled.contains(shown)) {
            continue;
        }
        handled.append(shown);
        const QString childRef = emitDataLine(name, true);
        if (!browseDataDirectory(childRef)) {
            return false;
        }
        --currentLayer;
    }
    return true;
}

bool Iec61850Network::browseDataSets(const QString& nodeRef) {
    const QByteArray reference = nodeRef.toUtf8();
    QList<QByteArray> dataSets;
    if (!requestNames(
            [&] {
                return IedConnection_getLogicalNodeDirectory(connection, &lastError, reference.constData(),
                                                             ACSI_CLASS_DATA_SET);
            },
            dataSets)) {
        return false;
    }
    for (const QByteArray& dataSet : dataSets) {
        if (!browseDataSet(QString::fromUtf8(dataSet))) {
            return false;
        }
    }
    return true;
}

bool Iec61850Network::browseDataSet(const QString& dataSetName) {
    const QByteArray reference = emitDataLine(dataSetName, true).toUtf8();
    QList<QByteArray> members;
    if (!requestNames(
            [&] {
                return IedConnection_getDataSetDirectory(connection, &lastError, reference.constData(),
                                                         nullptr);
            },
            members)) {
        return false;
    }
    // Members are other attributes of the model; they are read under their own references.
    for (const QByteArray& member : members) {
        emitDataLine(QString::fromUtf8(member), false);
        --currentLayer;
    }
    --currentLayer;
    return true;
}

// ---- Reports and control operations ------------------------------------------------------------

void Iec61850Network::enableDisableReport(const QString& ref_string) {
    Q_UNUSED(ref_string)
}

void Iec61850Network::controlSelect(const QString& data_object_ref, int origin_category) {
    Q_UNUSED(data_object_ref)
    Q_UNUSED(origin_category)
}

void Iec61850Network::controlSelectWithValue(const QString& data_object_ref, bool state,
                                             int origin_category) {
    Q_UNUSED(data_object_ref)
    Q_UNUSED(state)
    Q_UNUSED(origin_category)
}

void Iec61850Network::controlCancel(const QString& data_object_ref) {
    Q_UNUSED(data_object_ref)
}

void Iec61850Network::controlOperateBool(const QString& data_object_ref, bool state, int origin_category) {
    Q_UNUSED(data_object_ref)
    Q_UNUSED(state)
    Q_UNUSED(origin_category)
}

void Iec61850Network::controlOperateInt(const QString& data_object_ref, int value, int origin_category) {
    Q_UNUSED(data_object_ref)
    Q_UNUSED(value)
    Q_UNUSED(origin_category)
}

}  // namespace iec61850
