#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "iec61850_client.h"
#include "namelist.h"

namespace iecstack::client {
class DirectoryIndex;
}

namespace iec61850 {

// A value read for one line of the walk: an element of the array a multi-variable read returned.
struct ReadResult {
    std::shared_ptr<MmsValue> answer;  // the whole array of the read
    int index = -1;                    // -1: the read failed, the line gets no value
};

// One thing the walk announces, in order: a line (perhaps with a read), the members of a data set
// that are still being asked for, or the point where the walk fails. A line's reference is kept by the
// PlannedLines it belongs to.
struct WalkEntry {
    enum class Kind : quint8 { Line, DataSetMembers, Failure };
    QString fc;
    quint32 refAt = 0;  // where the reference starts in its PlannedLines, and its length, in octets
    quint32 refLength = 0;
    // The name the line shows. It is nearly always the end of the reference, and then only its length
    // is kept: >= 0, its last shownLength characters; otherwise the name follows the reference in
    // -1 - shownLength octets. See PlannedLines::shown().
    int shownLength = -1;
    int read = -1;     // Line: index into DiscoveryWalk::reads, -1 when the line is not read
    int dataSet = -1;  // DataSetMembers: index into DiscoveryWalk::dataSets
    // Short: a window holds thousands of entries, and references longer than 1,024 characters end
    // the walk, so a layer stays far below the limit.
    qint16 layer = 0;
    Kind kind = Kind::Line;
    bool record = false;
};

// The planned lines of one logical node, or a device's own line, held until they are announced. A
// window of planned lines holds thousands, so their references are kept one after another as UTF-8
// rather than as a string each.
class PlannedLines {
public:
    // Adds `entry` with its reference and the name it shows (both empty for what is not a line);
    // returns its place.
    int add(WalkEntry entry, const QString& ref = QString(), const QString& shown = QString());
    WalkEntry& at(int i) { return lines_[static_cast<size_t>(i)]; }
    const WalkEntry& at(int i) const { return lines_[static_cast<size_t>(i)]; }
    int size() const { return static_cast<int>(lines_.size()); }
    bool isEmpty() const { return lines_.empty(); }
    std::vector<WalkEntry>::const_iterator begin() const { return lines_.begin(); }
    std::vector<WalkEntry>::const_iterator end() const { return lines_.end(); }
    QString reference(const WalkEntry& entry) const;
    // The name `entry` shows, given its reference.
    QString shown(const WalkEntry& entry, const QString& ref) const;
    // Gives back the room left over from planning: the lines wait as they are until announced.
    void squeeze();
    // Frees the lines and their references (assigning empty ones would keep a string's room).
    void release();

private:
    std::vector<WalkEntry> lines_;
    std::string refs_;
};

struct PendingRead {
    bool done = false;
    ReadResult result;
};

struct PendingDataSet {
    QByteArray reference;
    QStringList path;  // the discovery path at the data set's line, for its members' references
    bool done = false;
    bool failed = false;
    QStringList members;
};

// A page of a device's name list still to ask for: its variables or its data sets, after the name
// given (empty: from the start).
struct NameListPage {
    int device = 0;
    bool dataSets = false;
    std::string continueAfter;
};

// The walk: what is planned, what is asked for, and how far the lines have been announced. Lines leave
// strictly in plan order, each once everything before it and its own value are known, so batching and
// pipelining change nothing in what the view sees.
struct DiscoveryWalk {
    QList<QByteArray> devices;
    // The devices' name lists while they come in, a page at a time and all devices side by side.
    struct DeviceNames {
        NameList variables;
        NameList dataSets;
        int variablePages = 0;
        int dataSetPages = 0;
        IedClientError variablesError = IED_ERROR_OK;
        IedClientError dataSetsError = IED_ERROR_OK;
    };
    std::vector<DeviceNames> deviceNames;
    std::deque<NameListPage> nameListQueue;  // pages not yet asked for
    int nameListsOpen = 0;                   // lists whose last page has not come in
    bool named = false;                      // every list is in: planning may start
    // The names of each logical node of the device being planned, and the model of the node being
    // planned, from its names.
    std::string planNames;                    // the names of the device being planned, written out whole
    std::vector<std::string_view> planViews;  // those names, each node's together, in list order
    std::unordered_map<std::string_view, std::pair<size_t, size_t>> nodeNames;  // a node's run in them
    std::shared_ptr<const iecstack::client::DirectoryIndex> index;
    QVector<QList<QByteArray>> deviceNodes;     // the logical nodes each device lists
    QVector<bool> deviceListed;                 // false: listing the device's nodes failed
    QVector<QList<QByteArray>> deviceDataSets;  // the data sets each device lists ("LN$DS")
    QVector<bool> dataSetsListed;               // false: listing the device's data sets failed
    std::vector<PlannedLines> nodes;  // the planned lines, a device's own line or a logical node each
    int nextNode = 0;                 // first node not yet announced
    // The walk's reads are the planner's reads from this number on, one after another, in plan order.
    quint64 firstRead = 0;
    int readsPlanned = 0;
    // The reads not yet announced: read n (counted from firstRead) is reads[n - readsAnnounced]. Lines
    // leave in plan order, so an announced read and every one before it are dropped at once.
    std::deque<PendingRead> reads;
    int readsAnnounced = 0;
    PendingRead* pendingRead(int n) {
        const int at = n - readsAnnounced;
        return at >= 0 && at < static_cast<int>(reads.size()) ? &reads[static_cast<size_t>(at)] : nullptr;
    }
    int readsUnfinished = 0;  // planned reads whose answer has not come in
    QVector<PendingDataSet> dataSets;
    std::deque<int> dataSetQueue;  // data sets whose members are not yet asked for
    // Planning keeps a bounded number of reads ahead of the answers: where it stands.
    int planDevice = 0;    // the device being planned
    int planNode = -1;     // its next logical node; -1 while its own line is still to come
    bool planned = false;  // every device planned, or planning stopped at a failure
    int nodesTotal = 0;
    int nodesDone = 0;
    QSet<QString> skipped;  // names that cannot be addressed, reported once
    // Reused while planning: the element path looked up in the index, a read's MMS names.
    std::string path;
    std::string domain;
    std::string item;
};

}  // namespace iec61850
