#include "reportlogmodel.h"

#include <QDateTime>
#include <QTextStream>

#include <algorithm>
#include <iterator>

#include "logsdialog.h"

namespace iec61850 {

namespace {

int linesOf(const ReportLogModel::Entry& entry) {
    return 1 + static_cast<int>(entry.members.size());
}

}  // namespace

ReportLogModel::ReportLogModel(int maxEntries, int maxLines, QObject* parent)
    : QAbstractItemModel(parent), maxEntries(maxEntries), maxLines(maxLines) {}

ReportLogModel::~ReportLogModel() = default;

void ReportLogModel::append(QVector<Entry> reports) {
    std::deque<std::unique_ptr<Stored>> incoming;
    for (Entry& report : reports) {
        auto stored = std::make_unique<Stored>();
        static_cast<Entry&>(*stored) = std::move(report);
        stored->serial = nextSerial++;
        if (!stored->header.block.isEmpty() && !blocks.contains(stored->header.block)) {
            blocks.append(stored->header.block);
            emit blockSeen(stored->header.block);
        }
        incoming.push_back(std::move(stored));
    }
    if (!paused) {
        show(std::move(incoming));
        return;
    }
    std::move(incoming.begin(), incoming.end(), std::back_inserter(held));
    int heldLines = 0;
    for (const auto& entry : held) {
        heldLines += linesOf(*entry);
    }
    while (!held.empty() && (static_cast<int>(held.size()) > maxEntries || heldLines > maxLines)) {
        heldLines -= linesOf(*held.front());
        held.pop_front();
    }
}

bool ReportLogModel::appendToNewest(const QVector<Member>& members) {
    if (members.isEmpty()) {
        return !held.empty() || !entries.empty();
    }
    if (!held.empty()) {
        held.back()->members += members;
        return true;
    }
    if (entries.empty()) {
        return false;
    }
    Stored& newest = *entries.front();
    const bool visible = !shown.empty() && shown.front() == &newest;
    if (visible) {
        const int first = newest.members.size();
        beginInsertRows(createIndex(0, 0, quintptr(0)), first, first + members.size() - 1);
    }
    newest.members += members;
    lineCount += members.size();
    if (visible) {
        endInsertRows();
    }
    dropOldest();
    return true;
}

void ReportLogModel::show(std::deque<std::unique_ptr<Stored>> incoming) {
    // What would be pushed out at once is never shown.
    while (static_cast<int>(incoming.size()) > maxEntries) {
        incoming.pop_front();
    }
    int passing = 0;
    for (const auto& entry : incoming) {
        passing += passes(*entry) ? 1 : 0;
    }
    if (passing > 0) {
        beginInsertRows(QModelIndex(), 0, passing - 1);
    }
    for (auto& entry : incoming) {
        if (passes(*entry)) {
            shown.push_front(entry.get());
        }
        lineCount += linesOf(*entry);
        entries.push_front(std::move(entry));
    }
    if (passing > 0) {
        endInsertRows();
    }
    dropOldest();
}

void ReportLogModel::dropOldest() {
    int dropping = 0;
    int lines = lineCount;
    while (dropping < static_cast<int>(entries.size()) - 1 &&
           (static_cast<int>(entries.size()) - dropping > maxEntries || lines > maxLines)) {
        lines -= linesOf(*entries.at(entries.size() - 1 - dropping));
        ++dropping;
    }
    if (dropping == 0) {
        return;
    }
    int shownDropping = 0;
    for (int i = 0; i < dropping; ++i) {
        shownDropping += passes(*entries.at(entries.size() - 1 - i)) ? 1 : 0;
    }
    if (shownDropping > 0) {
        const int rows = static_cast<int>(shown.size());
        beginRemoveRows(QModelIndex(), rows - shownDropping, rows - 1);
        shown.erase(shown.end() - shownDropping, shown.end());
    }
    entries.erase(entries.end() - dropping, entries.end());
    lineCount = lines;
    if (shownDropping > 0) {
        endRemoveRows();
    }
}

void ReportLogModel::clear() {
    beginResetModel();
    shown.clear();
    entries.clear();
    held.clear();
    lineCount = 0;
    endResetModel();
}

void ReportLogModel::setPaused(bool pause) {
    if (pause == paused) {
        return;
    }
    paused = pause;
    if (!paused && !held.empty()) {
        std::deque<std::unique_ptr<Stored>> release;
        release.swap(held);
        show(std::move(release));
    }
}

void ReportLogModel::setBlockFilter(const QString& block) {
    if (block == filter) {
        return;
    }
    beginResetModel();
    filter = block;
    shown.clear();
    for (const auto& entry : entries) {
        if (passes(*entry)) {
            shown.push_back(entry.get());
        }
    }
    endResetModel();
}

bool ReportLogModel::passes(const Stored& entry) const {
    return filter.isEmpty() || entry.header.block == filter;
}

int ReportLogModel::rowOf(quint64 serial) const {
    // `shown` runs from the newest (highest serial) down.
    const auto found =
        std::lower_bound(shown.begin(), shown.end(), serial,
                         [](const Stored* entry, quint64 wanted) { return entry->serial > wanted; });
    return found != shown.end() && (*found)->serial == serial ? static_cast<int>(found - shown.begin()) : -1;
}

QModelIndex ReportLogModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column < 0 || column >= ColumnCount) {
        return QModelIndex();
    }
    if (!parent.isValid()) {
        return row < static_cast<int>(shown.size()) ? createIndex(row, column, quintptr(0)) : QModelIndex();
    }
    if (parent.internalId() != 0 || parent.row() >= static_cast<int>(shown.size())) {
        return QModelIndex();
    }
    const Stored* entry = shown.at(parent.row());
    return row < entry->members.size() ? createIndex(row, column, quintptr(entry->serial)) : QModelIndex();
}

QModelIndex ReportLogModel::parent(const QModelIndex& child) const {
    if (!child.isValid() || child.internalId() == 0) {
        return QModelIndex();
    }
    const int row = rowOf(child.internalId());
    return row < 0 ? QModelIndex() : createIndex(row, 0, quintptr(0));
}

int ReportLogModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) {
        return static_cast<int>(shown.size());
    }
    if (parent.internalId() != 0 || parent.column() != 0 || parent.row() >= static_cast<int>(shown.size())) {
        return 0;
    }
    return shown.at(parent.row())->members.size();
}

int ReportLogModel::columnCount(const QModelIndex&) const {
    return ColumnCount;
}

QString ReportLogModel::entryText(const Stored& entry, int column) {
    const ReportHeader& h = entry.header;
    switch (column) {
        case Reference:
        case DataSet:
            return h.dataSetRef;
        case Arrival:
            return QDateTime::fromMSecsSinceEpoch(h.arrivalMs)
                .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
        case Block:
            return h.block;
        case RptId:
            return h.rptId;
        case SqNum:
            if (h.seqNum < 0) {
                return QString();
            }
            if (h.subSeqNum < 0) {
                return QString::number(h.seqNum);
            }
            return QStringLiteral("%1 (segment %2%3)")
                .arg(h.seqNum)
                .arg(h.subSeqNum)
                .arg(h.moreSegmentsFollow ? QStringLiteral(", more follow") : QString());
        case EntryId:
            return h.entryId;
        case ConfRev:
            return h.confRev < 0 ? QString() : QString::number(h.confRev);
        case BufOvfl:
            return h.bufOvfl < 0 ? QString()
                                 : (h.bufOvfl != 0 ? QStringLiteral("true") : QStringLiteral("false"));
        default:
            return QString();
    }
}

QVariant ReportLogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) {
        return QVariant();
    }
    if (index.internalId() == 0) {
        return index.row() < static_cast<int>(shown.size())
                   ? entryText(*shown.at(index.row()), index.column())
                   : QVariant();
    }
    const int row = rowOf(index.internalId());
    if (row < 0 || index.row() >= shown.at(row)->members.size()) {
        return QVariant();
    }
    const Member& member = shown.at(row)->members.at(index.row());
    switch (index.column()) {
        case Reference:
            return member.ref;
        case Value:
            return member.value;
        case Reason:
            return member.reason;
        default:
            return QVariant();
    }
}

QVariant ReportLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const kTitles[ColumnCount] = {"Reference", "Value",   "Arrival", "Block",
                                                     "RptID",     "SqNum",   "EntryID", "Data set",
                                                     "ConfRev",   "BufOvfl", "Reason"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount) {
        return QVariant();
    }
    return QString::fromLatin1(kTitles[section]);
}

void ReportLogModel::writeCsv(QTextStream& out) const {
    QStringList fields;
    for (int column = 0; column < ColumnCount; ++column) {
        fields << LogsDialog::csvField(headerData(column, Qt::Horizontal).toString());
    }
    out << fields.join(',') << '\n';
    for (auto it = shown.rbegin(); it != shown.rend(); ++it) {
        const Stored& entry = **it;
        const auto line = [&](const Member* member) {
            fields.clear();
            for (int column = 0; column < ColumnCount; ++column) {
                QString text = entryText(entry, column);
                if (member != nullptr && column == Reference) {
                    text = member->ref;
                } else if (member != nullptr && column == Value) {
                    text = member->value;
                } else if (member != nullptr && column == Reason) {
                    text = member->reason;
                }
                fields << LogsDialog::csvField(text);
            }
            out << fields.join(',') << '\n';
        };
        if (entry.members.isEmpty()) {
            line(nullptr);
        }
        for (const Member& member : entry.members) {
            line(&member);
        }
    }
}

}  // namespace iec61850
