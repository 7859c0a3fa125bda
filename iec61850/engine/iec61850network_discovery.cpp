#include "iec61850network.h"

#include <QTimer>

#include <iterator>
#include <utility>

#include "directory_index.h"
#include "listedchildren.h"
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

// A listed name split as extractFc and withoutFc split it; the plain ASCII names devices use are
// split without a temporary string per part.
void splitListed(const std::string& listed, QString* shown, QString* fc) {
    if (isAscii(listed)) {
        const std::string_view name = listedWithoutFc(listed);
        *shown = QString::fromLatin1(name.data(), static_cast<int>(name.size()));
        *fc = listedFc(listed);
        return;
    }
    const QString name = QString::fromStdString(listed);
    *shown = withoutFc(name);
    *fc = extractFc(name);
}

// The part of a reference after the device's "/" ("LN.DO.DA"), as the index names elements.
void pathWithinDevice(const QString& ref, std::string* path) {
    const int start = ref.indexOf(QLatin1Char('/')) + 1;
    path->clear();
    for (int i = start; i < ref.size(); ++i) {
        const ushort c = ref.at(i).unicode();
        if (c >= 0x80) {
            *path = ref.mid(start).toStdString();
            return;
        }
        path->push_back(char(c));
    }
}

// Progress on the status bar at most this often.
constexpr int kProgressIntervalMs = 250;

struct DataSetTicket {
    Iec61850Network* engine;
    quint64 association;
    int dataSet;
};

struct NameListTicket {
    Iec61850Network* engine;
    quint64 association;
    int device;
    bool dataSets;
};

// Bounds on a device's name lists, so that a device that never says "no more names" cannot keep the
// walk asking (the client library's own bounds for the lists it follows itself).
constexpr size_t kMaxNamesPerList = 1000000;
constexpr int kMaxPagesPerList = 100000;
// Longer references are refused by the library before they are sent; such an element ends the walk
// as a failed directory call did.
constexpr int kMaxReferenceLength = 1024;

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

int Iec61850Network::planLine(PlannedLines& lines, const QString& name, bool record, QString* ref) {
    return planLine(lines, withoutFc(name), extractFc(name), record, ref);
}

int Iec61850Network::planLine(PlannedLines& lines, const QString& shown, const QString& fc, bool record,
                              QString* ref) {
    ++currentLayer;
    WalkEntry entry;
    entry.fc = fc;
    *ref = buildReference(layerStack, shown, currentLayer);
    entry.layer = static_cast<qint16>(currentLayer);
    entry.record = record;
    return lines.add(std::move(entry), *ref, shown);
}

void Iec61850Network::planRead(WalkEntry& entry, const QString& ref) {
    // Reading SBO would select the object; its line is announced without a value.
    if (!walk || !planner || !entry.record || entry.layer <= 3 || isSelectAttribute(ref)) {
        return;
    }
    if (mmsNameOf(ref, entry.fc, &walk->domain, &walk->item)) {
        const ReadPlanner::ReadId id = planner->add(walk->domain, walk->item);
        if (walk->readsPlanned == 0) {
            walk->firstRead = id;
        }
        entry.read = static_cast<int>(id - walk->firstRead);
        walk->reads.push_back(PendingRead{});
        ++walk->readsPlanned;
        ++walk->readsUnfinished;
    }
}

void Iec61850Network::announce(const PlannedLines& lines, const WalkEntry& entry) {
    const QString ref = lines.reference(entry);
    emit newDataLine(lines.shown(entry, ref), ref, entry.fc, entry.layer);
    if (!entry.record || entry.layer <= 3) {
        return;
    }
    refToFc.insert(ref, entry.fc);
    if (walk && entry.read >= 0) {
        if (const PendingRead* read = walk->pendingRead(entry.read); read && read->result.index >= 0) {
            renderValue(MmsValue_getElement(read->result.answer.get(), read->result.index), ref, false);
        }
        while (walk->readsAnnounced <= entry.read && !walk->reads.empty()) {
            walk->reads.pop_front();
            ++walk->readsAnnounced;
        }
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
    planner = std::make_unique<ReadPlanner>(agreed.maxPduSize, agreed.maxServOutstandingCalling);

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
    // The name lists of every device first, so that progress can count against the whole model and no
    // list waits behind the reads. The devices are asked side by side, each list a page at a time.
    walk->deviceNames.resize(static_cast<size_t>(walk->devices.size()));
    for (int device = 0; device < walk->devices.size(); ++device) {
        walk->nameListQueue.push_back(NameListPage{device, false, {}});
        walk->nameListQueue.push_back(NameListPage{device, true, {}});
        walk->nameListsOpen += 2;
    }
    pumpRequests();
    if (walk && !walk->named && walk->nameListsOpen == 0) {
        namesListed();
    }
}

bool Iec61850Network::sendNameListRequest() {
    const NameListPage& page = walk->nameListQueue.front();
    const QByteArray& device = walk->devices.at(page.device);
    const char* after = page.continueAfter.empty() ? nullptr : page.continueAfter.c_str();
    auto* ticket = new NameListTicket{this, liveAssociation.load(), page.device, page.dataSets};
    IedClientError error = IED_ERROR_OK;
    noteActivity();
    ++answersOutstanding;
    if (page.dataSets) {
        IedConnection_getLogicalDeviceDataSetsAsync(connection, &error, device.constData(), after, nullptr,
                                                    &Iec61850Network::nameListAnswer, ticket);
    } else {
        IedConnection_getLogicalDeviceVariablesAsync(connection, &error, device.constData(), after, nullptr,
                                                     &Iec61850Network::nameListAnswer, ticket);
    }
    if (error != IED_ERROR_OK) {
        --answersOutstanding;
        delete ticket;
    }
    if (error == IED_ERROR_OUTSTANDING_CALL_LIMIT_REACHED) {
        planner->slotBusy();
        return false;
    }
    const NameListPage sent = std::move(walk->nameListQueue.front());
    walk->nameListQueue.pop_front();
    if (error != IED_ERROR_OK) {
        planner->slotReleased();
        endNameList(sent.device, sent.dataSets, error);
    }
    return true;
}

void Iec61850Network::nameListAnswer(uint32_t, void* parameter, IedClientError error, LinkedList names,
                                     bool moreFollows) {
    std::unique_ptr<NameListTicket> ticket(static_cast<NameListTicket*>(parameter));
    std::vector<std::string> page;
    if (names) {
        for (LinkedList element = LinkedList_getNext(names); element; element = LinkedList_getNext(element)) {
            if (const auto* name = static_cast<const char*>(LinkedList_getData(element))) {
                page.emplace_back(name);
            }
        }
        LinkedList_destroy(names);
    }
    Iec61850Network* engine = ticket->engine;
    const quint64 association = ticket->association;
    const int device = ticket->device;
    const bool dataSets = ticket->dataSets;
    --engine->answersOutstanding;
    QMetaObject::invokeMethod(
        engine,
        [=, page = std::move(page)]() mutable {
            engine->nameListAnswered(association, device, dataSets, error, std::move(page), moreFollows);
        },
        Qt::QueuedConnection);
}

void Iec61850Network::nameListAnswered(quint64 association, int device, bool dataSets, IedClientError error,
                                       std::vector<std::string> page, bool moreFollows) {
    if (!walk || walk->named || association != liveAssociation.load() ||
        device >= static_cast<int>(walk->deviceNames.size())) {
        return;
    }
    noteRequestFailure(error);
    DiscoveryWalk::DeviceNames& listing = walk->deviceNames[static_cast<size_t>(device)];
    NameList& names = dataSets ? listing.dataSets : listing.variables;
    int& pages = dataSets ? listing.dataSetPages : listing.variablePages;
    if (error == IED_ERROR_OUTSTANDING_CALL_LIMIT_REACHED) {
        planner->slotBusy();
        walk->nameListQueue.push_front(
            NameListPage{device, dataSets, names.empty() ? std::string() : std::string(names.back())});
    } else {
        planner->slotAnswered();
        if (error == IED_ERROR_OK) {
            const std::string_view continuedAfter = names.empty() ? std::string_view() : names.back();
            ++pages;
            // "More follow" with no new last name would ask the same question forever.
            const bool progress = !page.empty() && page.back() != continuedAfter;
            // Kept by this thread: the page's own strings go back to the receiving thread's memory.
            for (const std::string& name : page) {
                names.append(name);
            }
            if (names.size() > kMaxNamesPerList ||
                (moreFollows && (!progress || pages >= kMaxPagesPerList))) {
                error = IED_ERROR_UNEXPECTED_VALUE_RECEIVED;
            } else if (moreFollows) {
                walk->nameListQueue.push_back(NameListPage{device, dataSets, std::string(names.back())});
            }
        }
        if (error != IED_ERROR_OK || !moreFollows) {
            endNameList(device, dataSets, error);
        }
    }
    pumpRequests();
    if (walk && !walk->named && walk->nameListsOpen == 0) {
        namesListed();
    }
}

void Iec61850Network::endNameList(int device, bool dataSets, IedClientError error) {
    DiscoveryWalk::DeviceNames& listing = walk->deviceNames[static_cast<size_t>(device)];
    (dataSets ? listing.dataSetsError : listing.variablesError) = error;
    --walk->nameListsOpen;
}

void Iec61850Network::namesListed() {
    walk->named = true;
    walk->nameListQueue.clear();
    for (int device = 0; device < walk->devices.size(); ++device) {
        DiscoveryWalk::DeviceNames& listing = walk->deviceNames[static_cast<size_t>(device)];
        const bool listed = listing.variablesError == IED_ERROR_OK;
        QList<QByteArray> nodes;
        std::string names;
        if (listed) {
            for (const std::string& node :
                 iecstack::client::DirectoryIndex::logicalNodesIn(listing.variables.names(&names))) {
                nodes.append(QByteArray::fromStdString(node));
            }
        }
        walk->deviceNodes.append(nodes);
        walk->deviceListed.append(listed);
        walk->nodesTotal += nodes.size();
        if (!listed) {
            break;
        }
        // A device without logical nodes has no data sets to show, whatever its list said.
        QList<QByteArray> dataSets;
        bool dataSetsListed = true;
        if (!nodes.isEmpty()) {
            dataSetsListed = listing.dataSetsError == IED_ERROR_OK;
            for (const std::string_view name : listing.dataSets.names(&names)) {
                dataSets.append(QByteArray(name.data(), static_cast<int>(name.size())));
            }
        }
        listing.dataSets.release();
        walk->deviceDataSets.append(dataSets);
        walk->dataSetsListed.append(dataSetsListed);
    }
    planMore();
    pumpRequests();
    announceReady();
}

void Iec61850Network::planMore() {
    // Enough to fill every request the device takes at once: each answer lets the plan go on by about
    // one request, so the pipeline stays full while the plan of a large model is never held whole.
    const int readsAhead = ReadPlanner::kMaxVariablesPerRequest * (planner ? planner->inFlightLimit() : 1);
    while (walk && walk->named && !walk->planned && walk->readsUnfinished < readsAhead) {
        if (!planStep()) {
            walk->planned = true;
        }
    }
}

bool Iec61850Network::planStep() {
    if (walk->planDevice >= walk->devices.size()) {
        return false;
    }
    const int device = walk->planDevice;
    const QByteArray deviceName = walk->devices.at(device);
    if (walk->planNode < 0) {
        PlannedLines deviceLine;
        QString ref;
        planLine(deviceLine, QString::fromUtf8(deviceName), true, &ref);
        if (device >= walk->deviceListed.size() || !walk->deviceListed.at(device) || !mayRequest()) {
            WalkEntry failure;
            failure.kind = WalkEntry::Kind::Failure;
            deviceLine.add(failure);
            walk->nodes.push_back(std::move(deviceLine));
            return false;
        }
        walk->nodes.push_back(std::move(deviceLine));
        walk->planNode = 0;
        // Every name starts with its logical node: a node's index, built when the node is planned,
        // answers for it as one of the whole device would, and only one node's is held at a time.
        walk->planViews = walk->deviceNames[static_cast<size_t>(device)].variables.names(&walk->planNames);
        groupByNode(&walk->planViews, &walk->nodeNames);
    }
    const QList<QByteArray>& nodes = walk->deviceNodes.at(device);
    if (walk->planNode < nodes.size()) {
        const QByteArray& node = nodes.at(walk->planNode++);
        const auto named = walk->nodeNames.find(std::string_view(node.constData(), size_t(node.size())));
        walk->index = std::make_shared<const iecstack::client::DirectoryIndex>(
            named == walk->nodeNames.end()
                ? std::vector<std::string_view>()
                : std::vector<std::string_view>(
                      walk->planViews.begin() + std::ptrdiff_t(named->second.first),
                      walk->planViews.begin() + std::ptrdiff_t(named->second.second)));
        PlannedLines entries;
        const bool planned = planNode(QString::fromUtf8(node), walk->dataSetsListed.at(device),
                                      walk->deviceDataSets.at(device), entries);
        walk->index.reset();
        // Held until announced, a window of them at a time: without the room growing left behind.
        entries.squeeze();
        walk->nodes.push_back(std::move(entries));
        return planned;
    }
    --currentLayer;
    // The device's model is held only while it is planned.
    walk->nodeNames = decltype(walk->nodeNames)();
    walk->planViews = std::vector<std::string_view>();
    // Swapped out: assigning an empty string would keep the room.
    std::string().swap(walk->planNames);
    walk->deviceNames[static_cast<size_t>(device)].variables.release();
    ++walk->planDevice;
    walk->planNode = -1;
    return true;
}

bool Iec61850Network::planNode(const QString& nodeName, bool dataSetsListed,
                               const QList<QByteArray>& dataSetNames, PlannedLines& entries) {
    if (skipOdd(nodeName)) {
        return true;
    }
    QString ref;
    planLine(entries, nodeName, true, &ref);
    const auto fail = [&entries] {
        WalkEntry failure;
        failure.kind = WalkEntry::Kind::Failure;
        entries.add(failure);
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
        const iecstack::client::DirectoryIndex& index = *walk->index;
        const std::string logicalNode = nodeName.toStdString();
        const std::vector<std::string>* children =
            acsiClass == ACSI_CLASS_DATA_OBJECT
                ? index.dataObjects(logicalNode)
                : index.elementsUnder(logicalNode, acsiClass == ACSI_CLASS_URCB ? "RP" : "BR");
        if (!children) {
            return fail();
        }
        QString shown;
        QString fc;
        for (const std::string& child : *children) {
            splitListed(child, &shown, &fc);
            // These are listed without a constraint: a name that carries one anyway cannot be
            // addressed, and is reported as listed.
            if (skipOdd(fc.isEmpty() ? shown : QString::fromStdString(child))) {
                continue;
            }
            if (!planDataLine(shown, fc, entries)) {
                return fail();
            }
        }
    }
    --currentLayer;
    return true;
}

bool Iec61850Network::planDataDirectory(const QString& ref, PlannedLines& entries) {
    if (ref.size() > kMaxReferenceLength) {
        return false;
    }
    const iecstack::client::DirectoryIndex& index = *walk->index;
    pathWithinDevice(ref, &walk->path);
    const std::vector<std::string>* listed = index.children(walk->path);
    if (!listed) {
        return false;
    }
    const std::vector<std::string>& children = *listed;
    if (children.empty()) {
        return true;
    }
    std::vector<std::string_view> names;
    names.reserve(children.size());
    // Names outside ASCII are compared as the QString forms split them.
    std::vector<std::string> converted;
    for (const std::string& child : children) {
        if (isAscii(child)) {
            names.push_back(listedWithoutFc(child));
        } else {
            converted.reserve(children.size());  // once: the views into it must stay valid
            converted.push_back(withoutFc(QString::fromStdString(child)).toStdString());
            names.push_back(converted.back());
        }
    }
    QString shown;
    QString fc;
    for (const size_t child : childrenToShow(children, names)) {
        splitListed(children[child], &shown, &fc);
        if (skipOdd(shown)) {
            continue;
        }
        if (!planDataLine(shown, fc, entries)) {
            return false;
        }
    }
    return true;
}

bool Iec61850Network::planDataLine(const QString& shown, const QString& fc, PlannedLines& entries) {
    QString ref;
    const int at = planLine(entries, shown, fc, true, &ref);
    if (!planDataDirectory(ref, entries)) {
        return false;
    }
    // A structure gives no text of its own: only its leaves are read, each once.
    if (entries.size() == at + 1) {
        planRead(entries.at(at), ref);
    }
    --currentLayer;
    return true;
}

void Iec61850Network::planDataSets(const QString& nodeName, const QList<QByteArray>& dataSetNames,
                                   PlannedLines& entries) {
    const QByteArray prefix = nodeName.toUtf8() + '$';
    for (const QByteArray& full : dataSetNames) {
        if (full.size() <= prefix.size() || !full.startsWith(prefix)) {
            continue;
        }
        const QString name = QString::fromUtf8(full.mid(prefix.size()));
        if (skipOdd(name)) {
            continue;
        }
        QString ref;
        planLine(entries, name, true, &ref);
        WalkEntry members;
        members.kind = WalkEntry::Kind::DataSetMembers;
        members.dataSet = walk->dataSets.size();
        PendingDataSet dataSet;
        dataSet.reference = ref.toUtf8();
        dataSet.path = layerStack;
        walk->dataSets.append(dataSet);
        walk->dataSetQueue.push_back(members.dataSet);
        entries.add(members);
        --currentLayer;
    }
}

bool Iec61850Network::sendDataSetRequest() {
    const int index = walk->dataSetQueue.front();
    PendingDataSet& dataSet = walk->dataSets[index];
    auto* ticket = new DataSetTicket{this, liveAssociation.load(), index};
    IedClientError error = IED_ERROR_OK;
    noteActivity();
    ++answersOutstanding;
    IedConnection_getDataSetDirectoryAsync(connection, &error, dataSet.reference.constData(),
                                           &Iec61850Network::dataSetAnswer, ticket);
    if (error != IED_ERROR_OK) {
        --answersOutstanding;
    }
    if (error == IED_ERROR_OUTSTANDING_CALL_LIMIT_REACHED) {
        delete ticket;
        planner->slotBusy();
        return false;
    }
    walk->dataSetQueue.pop_front();
    if (error != IED_ERROR_OK) {
        delete ticket;
        planner->slotReleased();
        dataSet.done = true;
        dataSet.failed = true;
    }
    return true;
}

void Iec61850Network::dataSetAnswer(uint32_t, void* parameter, IedClientError error, LinkedList members,
                                    bool) {
    std::unique_ptr<DataSetTicket> ticket(static_cast<DataSetTicket*>(parameter));
    QStringList names;
    for (const QByteArray& name : takeNames(members)) {
        names.append(QString::fromUtf8(name));
    }
    Iec61850Network* engine = ticket->engine;
    const quint64 association = ticket->association;
    const int dataSet = ticket->dataSet;
    --engine->answersOutstanding;
    QMetaObject::invokeMethod(
        engine, [=] { engine->dataSetAnswered(association, dataSet, error, names); }, Qt::QueuedConnection);
}

void Iec61850Network::dataSetAnswered(quint64 association, int index, IedClientError error,
                                      const QStringList& members) {
    if (!walk || association != liveAssociation.load() || index >= walk->dataSets.size()) {
        return;
    }
    noteRequestFailure(error);
    PendingDataSet& dataSet = walk->dataSets[index];
    if (error == IED_ERROR_OUTSTANDING_CALL_LIMIT_REACHED) {
        planner->slotBusy();
        walk->dataSetQueue.push_front(index);
    } else {
        planner->slotAnswered();
        dataSet.done = true;
        dataSet.failed = error != IED_ERROR_OK;
        dataSet.members = members;
    }
    planMore();
    pumpRequests();
    announceReady();
}

bool Iec61850Network::nodeComplete(const PlannedLines& entries) const {
    for (const WalkEntry& entry : entries) {
        const PendingRead* read = entry.read >= 0 ? walk->pendingRead(entry.read) : nullptr;
        if ((read && !read->done) ||
            (entry.kind == WalkEntry::Kind::DataSetMembers && !walk->dataSets.at(entry.dataSet).done)) {
            return false;
        }
    }
    return true;
}

void Iec61850Network::announceReady() {
    while (walk && walk->nextNode < static_cast<int>(walk->nodes.size())) {
        const PlannedLines& entries = walk->nodes.at(static_cast<size_t>(walk->nextNode));
        if (!nodeComplete(entries)) {
            return;
        }
        for (const WalkEntry& entry : entries) {
            if (entry.kind == WalkEntry::Kind::Line) {
                announce(entries, entry);
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
        // A logical node (perhaps skipped for its name, so without lines), not the line of its device.
        const bool logicalNode = entries.isEmpty() || entries.at(0).layer == 2;
        // Announced: no longer needed.
        walk->nodes[static_cast<size_t>(walk->nextNode++)].release();
        if (logicalNode) {
            ++walk->nodesDone;
            reportProgress();
        }
    }
    if (walk && walk->planned && walk->nextNode >= static_cast<int>(walk->nodes.size()) &&
        walk->dataSetQueue.empty() && planner->idle()) {
        finishWalk();
    }
}

void Iec61850Network::reportProgress() {
    const qint64 now = walkClock.elapsed();
    if (now - lastProgressMs < kProgressIntervalMs && walk->nodesDone < walk->nodesTotal) {
        return;
    }
    lastProgressMs = now;
    emit discoveryProgress(walk->nodesDone, walk->nodesTotal);
}

void Iec61850Network::finishWalk() {
    // A device that fell silent at the last read has ended the association by now, not completed it.
    if (!mayRequest()) {
        disconnect();
        return;
    }
    const std::unique_ptr<DiscoveryWalk> done = std::move(walk);
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
    // Reads the view asked for during the walk, and its waiters, in the order asked.
    const QStringList reads = std::exchange(deferredReads, QStringList());
    std::vector<std::pair<int, std::function<void()>>> waiters = std::move(deferredWaiters);
    deferredWaiters.clear();
    size_t waiter = 0;
    for (int i = 0; i <= reads.size(); ++i) {
        for (; waiter < waiters.size() && waiters[waiter].first <= i; ++waiter) {
            whenReadsHandled(std::move(waiters[waiter].second));
        }
        if (i < reads.size()) {
            askRead(reads.at(i));
        }
    }
}

}  // namespace iec61850
