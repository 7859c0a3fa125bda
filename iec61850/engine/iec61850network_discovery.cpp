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

template <typename Request>
bool Iec61850Network::requestNames(Request request, QList<QByteArray>& names) {
    const RequestScope scope(*this);
    if (!scope.allowed()) {
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
    // A device that fell silent at the last read has ended the association by now, not completed it.
    if (!browseLogicalDevices() || !mayRequest()) {
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
    QStringList& known = dataSetMembers[QString::fromUtf8(reference)];
    known.clear();
    for (const QByteArray& member : members) {
        known.append(QString::fromUtf8(member));
        emitDataLine(QString::fromUtf8(member), false);
        --currentLayer;
    }
    --currentLayer;
    return true;
}

}  // namespace iec61850
