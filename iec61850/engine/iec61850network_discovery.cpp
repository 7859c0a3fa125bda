#include "iec61850network.h"

#include <QTimer>

#include <cstring>
#include <utility>

#include "objectreference.h"
#include "valuerenderer.h"

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

// A name that can stand as one element of a reference: not empty, printable, and free of the
// characters that separate elements, so that no other object is ever addressed under it.
bool isAddressable(const QString& name) {
    if (name.isEmpty()) {
        return false;
    }
    for (const QChar c : name) {
        const ushort u = c.unicode();
        if (u <= 0x20 || u >= 0x7f || c == QLatin1Char('.') || c == QLatin1Char('/') ||
            c == QLatin1Char('$') || c == QLatin1Char('[') || c == QLatin1Char(']')) {
            return false;
        }
    }
    return true;
}

// A name as a status text can show it: quoted, with control characters as \xHH.
QString printable(const QString& name) {
    QString text = QStringLiteral("\"");
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            text += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        } else {
            text += c;
        }
    }
    return text + QLatin1Char('"');
}

// Domain and MMS item of an attribute reference under its constraint ("LD/LN.DO.DA", "[ST]" gives
// "LD" and "LN$ST$DO$DA"), or nothing when the reference cannot name a variable.
bool mmsNameOf(const QString& ref, const QString& fc, QByteArray* domain, QByteArray* item) {
    const int slash = ref.indexOf(QLatin1Char('/'));
    if (slash <= 0 || fc.size() != 4) {
        return false;
    }
    const QString path = ref.mid(slash + 1);
    const int dot = path.indexOf(QLatin1Char('.'));
    if (dot <= 0) {
        return false;
    }
    *domain = ref.left(slash).toUtf8();
    *item = (path.left(dot) + QLatin1Char('$') + fc.mid(1, 2) +
             path.mid(dot).replace(QLatin1Char('.'), QLatin1Char('$')))
                .toUtf8();
    return true;
}

// Room for the envelope of a Read request and of one variable in it, in octets.
constexpr int kReadRequestOverhead = 32;
constexpr int kPerItemOverhead = 12;
// Reads per request to begin with: large enough that a big model needs few round trips, small enough
// that a device's answers stay well inside the usual PDU sizes and several requests share the work.
constexpr int kMaxReadBatch = 1000;
// Progress on the status bar at most this often.
constexpr int kProgressIntervalMs = 250;

struct AnswerTicket {
    Iec61850Network* engine;
    quint64 association;
    int batch;
};

}  // namespace

bool isSelectAttribute(const QString& ref) {
    return ref.endsWith(QLatin1String(".SBO"));
}

template <typename Request>
bool Iec61850Network::requestNames(Request request, QList<QByteArray>& names) {
    const RequestScope scope(*this);
    if (!scope.allowed()) {
        return false;
    }
    noteActivity();
    LinkedList list = request();
    const bool ok = lastError == IED_ERROR_OK;
    names = takeNames(list);
    return ok;
}

QString Iec61850Network::emitDataLine(const QString& name, bool record) {
    const WalkEntry entry = planLine(name, record);
    announce(entry);
    return entry.ref;
}

WalkEntry Iec61850Network::planLine(const QString& name, bool record) {
    ++currentLayer;
    WalkEntry entry;
    entry.fc = extractFc(name);
    entry.data = withoutFc(name);
    entry.ref = buildReference(layerStack, entry.data, currentLayer);
    entry.layer = currentLayer;
    entry.record = record;
    // Reading SBO would select the object; its line is announced without a value.
    if (walk && record && currentLayer > 3 && !isSelectAttribute(entry.ref)) {
        PendingRead read;
        if (mmsNameOf(entry.ref, entry.fc, &read.domain, &read.item)) {
            entry.read = walk->reads.size();
            walk->reads.append(read);
            walk->readQueue.push_back(entry.read);
        }
    }
    return entry;
}

void Iec61850Network::announce(const WalkEntry& entry) {
    emit newDataLine(entry.data, entry.ref, entry.fc, entry.layer);
    if (!entry.record || entry.layer <= 3) {
        return;
    }
    refToFc.insert(entry.ref, entry.fc);
    if (walk && entry.read >= 0) {
        ReadResult& result = walk->reads[entry.read].result;
        if (result.index >= 0) {
            renderValue(MmsValue_getElement(result.answer.get(), result.index), entry.ref, false);
        }
        result = ReadResult{};
    }
}

bool Iec61850Network::skipOdd(const QString& name) {
    if (isAddressable(name)) {
        return false;
    }
    walk->skipped.insert(name);
    return true;
}

void Iec61850Network::browseServer() {
    walk = std::make_unique<DiscoveryWalk>();
    walkClock.start();
    lastProgressMs = -kProgressIntervalMs;
    const MmsConnectionParameters agreed =
        MmsConnection_getMmsConnectionParameters(IedConnection_getMmsConnection(connection));
    readBudget = (agreed.maxPduSize > 0 ? agreed.maxPduSize : 65000) - kReadRequestOverhead;
    maxInFlight = agreed.maxServOutstandingCalling > 0 ? agreed.maxServOutstandingCalling : 1;
    batchLimit = kMaxReadBatch;

    QList<QByteArray> devices;
    if (!requestNames([this] { return IedConnection_getLogicalDeviceList(connection, &lastError); },
                      devices)) {
        disconnect();
        return;
    }
    for (const QByteArray& device : devices) {
        if (!skipOdd(QString::fromUtf8(device))) {
            walk->devices.append(device);
        }
    }
    // The node lists of every device first, so that progress can count against the whole model.
    for (const QByteArray& device : walk->devices) {
        QList<QByteArray> nodes;
        const bool listed = requestNames(
            [&] {
                return IedConnection_getLogicalDeviceDirectory(connection, &lastError, device.constData());
            },
            nodes);
        walk->deviceNodes.append(nodes);
        walk->deviceListed.append(listed);
        walk->nodesTotal += nodes.size();
        if (!listed) {
            break;
        }
    }
    walkNextDevice();
}

void Iec61850Network::walkNextDevice() {
    if (!walk) {
        return;
    }
    if (++walk->device >= walk->devices.size()) {
        finishWalk();
        return;
    }
    const QByteArray deviceName = walk->devices.at(walk->device);
    emitDataLine(QString::fromUtf8(deviceName), true);
    if (walk->device >= walk->deviceListed.size() || !walk->deviceListed.at(walk->device) || !mayRequest()) {
        disconnect();
        return;
    }
    const QList<QByteArray>& nodes = walk->deviceNodes.at(walk->device);
    walk->nodes.clear();
    walk->nextNode = 0;
    walk->reads.clear();
    walk->dataSets.clear();
    walk->readQueue.clear();
    walk->dataSetQueue.clear();

    QList<QByteArray> dataSetNames;
    bool dataSetsListed = true;
    if (!nodes.isEmpty()) {
        const RequestScope scope(*this);
        MmsError error = MMS_ERROR_CONNECTION_LOST;
        if (scope.allowed()) {
            noteActivity();
            dataSetNames = takeNames(MmsConnection_getDomainVariableListNames(
                IedConnection_getMmsConnection(connection), &error, deviceName.constData()));
        }
        dataSetsListed = error == MMS_ERROR_NONE;
    }
    for (const QByteArray& node : nodes) {
        QVector<WalkEntry> entries;
        const bool planned = planNode(QString::fromUtf8(node), dataSetsListed, dataSetNames, entries);
        walk->nodes.append(entries);
        if (!planned) {
            break;
        }
    }
    pumpRequests();
    announceReady();
}

bool Iec61850Network::planNode(const QString& nodeName, bool dataSetsListed,
                               const QList<QByteArray>& dataSetNames, QVector<WalkEntry>& entries) {
    if (skipOdd(nodeName)) {
        return true;
    }
    const WalkEntry node = planLine(nodeName, true);
    entries.append(node);
    const QByteArray nodeRef = node.ref.toUtf8();
    const auto fail = [&entries] {
        WalkEntry failure;
        failure.kind = WalkEntry::Kind::Failure;
        entries.append(failure);
        return false;
    };

    // Data objects, data sets, then unbuffered and buffered report control blocks.
    for (const ACSIClass acsiClass :
         {ACSI_CLASS_DATA_OBJECT, ACSI_CLASS_DATA_SET, ACSI_CLASS_URCB, ACSI_CLASS_BRCB}) {
        if (acsiClass == ACSI_CLASS_DATA_SET) {
            if (!dataSetsListed) {
                return fail();
            }
            planDataSets(nodeName, dataSetNames, entries);
            continue;
        }
        QList<QByteArray> children;
        if (!requestNames(
                [&] {
                    return IedConnection_getLogicalNodeDirectory(connection, &lastError, nodeRef.constData(),
                                                                 acsiClass);
                },
                children)) {
            return fail();
        }
        for (const QByteArray& child : children) {
            const QString name = QString::fromUtf8(child);
            if (skipOdd(name)) {
                continue;
            }
            const WalkEntry line = planLine(name, true);
            entries.append(line);
            if (!planDataDirectory(line.ref, entries)) {
                return fail();
            }
            --currentLayer;
        }
    }
    --currentLayer;
    return true;
}

bool Iec61850Network::planDataDirectory(const QString& ref, QVector<WalkEntry>& entries) {
    const QByteArray reference = ref.toUtf8();
    QList<QByteArray> children;
    if (!requestNames(
            [&] { return IedConnection_getDataDirectoryFC(connection, &lastError, reference.constData()); },
            children)) {
        return false;
    }
    // A child listed under a second functional constraint is shown, read and walked once, under the
    // constraint listed first.
    QSet<QString> handled;
    for (const QByteArray& child : children) {
        const QString name = QString::fromUtf8(child);
        const QString shown = withoutFc(name);
        if (handled.contains(shown)) {
            continue;
        }
        handled.insert(shown);
        if (skipOdd(shown)) {
            continue;
        }
        const WalkEntry line = planLine(name, true);
        entries.append(line);
        if (!planDataDirectory(line.ref, entries)) {
            return false;
        }
        --currentLayer;
    }
    return true;
}

void Iec61850Network::planDataSets(const QString& nodeName, const QList<QByteArray>& dataSetNames,
                                   QVector<WalkEntry>& entries) {
    const QByteArray prefix = nodeName.toUtf8() + '$';
    for (const QByteArray& full : dataSetNames) {
        if (full.size() <= prefix.size() || !full.startsWith(prefix)) {
            continue;
        }
        const QString name = QString::fromUtf8(full.mid(prefix.size()));
        if (skipOdd(name)) {
            continue;
        }
        const WalkEntry line = planLine(name, true);
        entries.append(line);
        WalkEntry members;
        members.kind = WalkEntry::Kind::DataSetMembers;
        members.dataSet = walk->dataSets.size();
        PendingDataSet dataSet;
        dataSet.reference = line.ref.toUtf8();
        dataSet.path = layerStack;
        walk->dataSets.append(dataSet);
        walk->dataSetQueue.push_back(members.dataSet);
        entries.append(members);
        --currentLayer;
    }
}

void Iec61850Network::pumpRequests() {
    while (walk && walk->inFlight < maxInFlight && mayRequest()) {
        if (!walk->dataSetQueue.empty()) {
            if (!sendDataSetRequest()) {
                return;
            }
        } else if (!walk->readQueue.empty()) {
            if (!sendReadBatch()) {
                return;
            }
        } else {
            return;
        }
    }
}

bool Iec61850Network::sendDataSetRequest() {
    const int index = walk->dataSetQueue.front();
    PendingDataSet& dataSet = walk->dataSets[index];
    auto* ticket = new AnswerTicket{this, liveAssociation.load(), index};
    IedClientError error = IED_ERROR_OK;
    noteActivity();
    IedConnection_getDataSetDirectoryAsync(connection, &error, dataSet.reference.constData(),
                                           &Iec61850Network::dataSetAnswer, ticket);
    if (error == IED_ERROR_OUTSTANDING_CALL_LIMIT_REACHED) {
        delete ticket;
        maxInFlight = qMax(1, walk->inFlight);
        return false;
    }
    walk->dataSetQueue.pop_front();
    if (error != IED_ERROR_OK) {
        delete ticket;
        dataSet.done = true;
        dataSet.failed = true;
        return true;
    }
    ++walk->inFlight;
    return true;
}

bool Iec61850Network::sendReadBatch() {
    const QByteArray domain = walk->reads.at(walk->readQueue.front()).domain;
    QVector<int> batch;
    int bytes = domain.size();
    LinkedList items = LinkedList_create();
    while (!walk->readQueue.empty() && batch.size() < batchLimit) {
        const PendingRead& read = walk->reads.at(walk->readQueue.front());
        const int size = read.item.size() + domain.size() + kPerItemOverhead;
        if (read.domain != domain || (!batch.isEmpty() && bytes + size > readBudget)) {
            break;
        }
        bytes += size;
        batch.append(walk->readQueue.front());
        walk->readQueue.pop_front();
        LinkedList_add(items, ::strdup(read.item.constData()));  // freed by LinkedList_destroy
    }
    auto* ticket = new AnswerTicket{this, liveAssociation.load(), nextBatch};
    MmsError error = MMS_ERROR_NONE;
    noteActivity();
    MmsConnection_readMultipleVariablesAsync(IedConnection_getMmsConnection(connection), nullptr, &error,
                                             domain.constData(), items, &Iec61850Network::readAnswer, ticket);
    LinkedList_destroy(items);
    if (error == MMS_ERROR_NONE) {
        batches.insert(nextBatch++, batch);
        ++walk->inFlight;
        return true;
    }
    delete ticket;
    if (error == MMS_ERROR_OUTSTANDING_CALL_LIMIT) {
        requeue(batch);
        maxInFlight = qMax(1, walk->inFlight);
        return false;
    }
    if (error == MMS_ERROR_CONNECTION_LOST) {
        requeue(batch);
        return false;
    }
    readRefused(batch);
    return true;
}

void Iec61850Network::requeue(const QVector<int>& batch) {
    for (int i = batch.size() - 1; i >= 0; --i) {
        walk->readQueue.push_front(batch.at(i));
    }
}

void Iec61850Network::readRefused(const QVector<int>& batch) {
    // A server that refuses a large request gets smaller ones from now on, down to single reads; a
    // single read that is refused leaves its line without a value, as any failed read does.
    if (batch.size() > 1) {
        batchLimit = qMax(1, batch.size() / 2);
        requeue(batch);
        return;
    }
    for (const int index : batch) {
        walk->reads[index].done = true;
    }
}

void Iec61850Network::readAnswer(uint32_t, void* parameter, MmsError error, MmsValue* value) {
    std::shared_ptr<MmsValue> owned(value, MmsValue_delete);
    std::unique_ptr<AnswerTicket> ticket(static_cast<AnswerTicket*>(parameter));
    Iec61850Network* engine = ticket->engine;
    const quint64 association = ticket->association;
    const int batch = ticket->batch;
    QMetaObject::invokeMethod(
        engine,
        [engine, association, batch, error, owned] {
            engine->readAnswered(association, batch, error, owned);
        },
        Qt::QueuedConnection);
}

void Iec61850Network::dataSetAnswer(uint32_t, void* parameter, IedClientError error, LinkedList members,
                                    bool) {
    std::unique_ptr<AnswerTicket> ticket(static_cast<AnswerTicket*>(parameter));
    QStringList names;
    for (const QByteArray& name : takeNames(members)) {
        names.append(QString::fromUtf8(name));
    }
    Iec61850Network* engine = ticket->engine;
    const quint64 association = ticket->association;
    const int dataSet = ticket->batch;
    QMetaObject::invokeMethod(
        engine, [=] { engine->dataSetAnswered(association, dataSet, error, names); }, Qt::QueuedConnection);
}

void Iec61850Network::readAnswered(quint64 association, int batchId, MmsError error,
                                   const std::shared_ptr<MmsValue>& value) {
    if (!walk || association != liveAssociation.load() || !batches.contains(batchId)) {
        return;
    }
    noteRequestFailure(error);
    const QVector<int> batch = batches.take(batchId);
    --walk->inFlight;
    if (error == MMS_ERROR_NONE && value && MmsValue_getType(value.get()) == MMS_ARRAY &&
        MmsValue_getArraySize(value.get()) == static_cast<uint32_t>(batch.size())) {
        for (int i = 0; i < batch.size(); ++i) {
            PendingRead& read = walk->reads[batch.at(i)];
            read.done = true;
            const MmsValue* element = MmsValue_getElement(value.get(), i);
            if (element && MmsValue_getType(element) != MMS_DATA_ACCESS_ERROR) {
                read.result = ReadResult{value, i};
            }
        }
    } else if (error == MMS_ERROR_OUTSTANDING_CALL_LIMIT) {
        maxInFlight = qMax(1, maxInFlight - 1);
        requeue(batch);
    } else if (error == MMS_ERROR_CONNECTION_LOST) {
        return;  // the association is over; its closure ends the walk
    } else if (error == MMS_ERROR_SERVICE_TIMEOUT) {
        for (const int index : batch) {
            walk->reads[index].done = true;
        }
    } else {
        readRefused(batch);
    }
    pumpRequests();
    announceReady();
}

void Iec61850Network::dataSetAnswered(quint64 association, int index, IedClientError error,
                                      const QStringList& members) {
    if (!walk || association != liveAssociation.load() || index >= walk->dataSets.size()) {
        return;
    }
    noteRequestFailure(error);
    --walk->inFlight;
    PendingDataSet& dataSet = walk->dataSets[index];
    if (error == IED_ERROR_OUTSTANDING_CALL_LIMIT_REACHED) {
        maxInFlight = qMax(1, maxInFlight - 1);
        walk->dataSetQueue.push_front(index);
    } else {
        dataSet.done = true;
        dataSet.failed = error != IED_ERROR_OK;
        dataSet.members = members;
    }
    pumpRequests();
    announceReady();
}

bool Iec61850Network::nodeComplete(const QVector<WalkEntry>& entries) const {
    for (const WalkEntry& entry : entries) {
        if ((entry.read >= 0 && !walk->reads.at(entry.read).done) ||
            (entry.kind == WalkEntry::Kind::DataSetMembers && !walk->dataSets.at(entry.dataSet).done)) {
            return false;
        }
    }
    return true;
}

void Iec61850Network::announceReady() {
    while (walk && walk->nextNode < walk->nodes.size()) {
        const QVector<WalkEntry>& entries = walk->nodes.at(walk->nextNode);
        if (!nodeComplete(entries)) {
            return;
        }
        for (const WalkEntry& entry : entries) {
            if (entry.kind == WalkEntry::Kind::Line) {
                announce(entry);
                continue;
            }
            const PendingDataSet* dataSet =
                entry.kind == WalkEntry::Kind::DataSetMembers ? &walk->dataSets.at(entry.dataSet) : nullptr;
            if (!dataSet || dataSet->failed) {
                disconnect();
                return;
            }
            // Members are other attributes of the model; they are read under their own references.
            // Reports name them as listed here.
            dataSetMembers[QString::fromUtf8(dataSet->reference)] = dataSet->members;
            for (const QString& member : dataSet->members) {
                QStringList path = dataSet->path;
                const QString shown = withoutFc(member);
                emit newDataLine(shown, buildReference(path, shown, 4), extractFc(member), 4);
            }
        }
        ++walk->nextNode;
        ++walk->nodesDone;
        reportProgress();
    }
    if (walk && walk->inFlight == 0 && walk->readQueue.empty() && walk->dataSetQueue.empty()) {
        --currentLayer;
        walkNextDevice();
    }
}

void Iec61850Network::reportProgress() {
    const qint64 now = walkClock.elapsed();
    if (now - lastProgressMs < kProgressIntervalMs && walk->nodesDone < walk->nodesTotal) {
        return;
    }
    lastProgressMs = now;
    emit setStatusBarMessage(
        QStringLiteral("Discovery: %1 of %2 logical nodes").arg(walk->nodesDone).arg(walk->nodesTotal));
}

void Iec61850Network::finishWalk() {
    // A device that fell silent at the last read has ended the association by now, not completed it.
    if (!mayRequest()) {
        disconnect();
        return;
    }
    const std::unique_ptr<DiscoveryWalk> done = std::move(walk);
    batches.clear();
    if (!done->skipped.isEmpty()) {
        QStringList names = done->skipped.values();
        names.sort();
        for (QString& name : names) {
            name = printable(name);
        }
        emit setStatusBarMessage(
            QStringLiteral("Discovery skipped %1 element(s) whose names cannot be addressed: %2")
                .arg(names.size())
                .arg(names.mid(0, 5).join(QLatin1String(", "))));
    }
    emit connectionStateChanged(true);
    reenableReports();
    // Reads the view asked for during the walk, in the order asked.
    const QStringList reads = std::exchange(deferredReads, QStringList());
    for (const QString& ref : reads) {
        readAndRender(ref);
    }
}

}  // namespace iec61850
