#pragma once

#include <QAbstractItemModel>
#include <QString>
#include <QStringList>
#include <QVector>

#include <deque>
#include <memory>

#include "reportheader.h"

class QTextStream;

namespace iec61850 {

// The report box's log: a line per report, newest on top, with its data set and what its header says,
// and below it a line per member value with the member's reason for inclusion. It keeps the newest
// `maxEntries` reports and at most `maxLines` value lines; older ones go first. While paused, what
// arrives is held (within the same bounds) and shown on resuming. A block filter shows only the reports
// of one control block.
class ReportLogModel : public QAbstractItemModel {
    Q_OBJECT

public:
    enum Column {
        Reference,
        Value,
        Arrival,
        Block,
        RptId,
        SqNum,
        EntryId,
        DataSet,
        ConfRev,
        BufOvfl,
        Reason,
        ColumnCount
    };

    struct Member {
        QString ref;
        QString value;
        QString reason;
    };
    struct Entry {
        ReportHeader header;  // dataSetRef and arrivalMs always set; the rest as the report carried it
        QVector<Member> members;
    };

    ReportLogModel(int maxEntries, int maxLines, QObject* parent = nullptr);
    ~ReportLogModel() override;

    // Reports in the order they arrived.
    void append(QVector<Entry> reports);
    // Value lines that arrived after their report was logged; false when there is no report yet.
    bool appendToNewest(const QVector<Member>& members);
    void clear();
    void setPaused(bool paused);
    bool isPaused() const { return paused; }
    int heldCount() const { return static_cast<int>(held.size()); }
    // An empty block shows every report.
    void setBlockFilter(const QString& block);
    QString blockFilter() const { return filter; }
    // The shown reports, oldest first, one line per value line (a report without values gives one line),
    // each with its report's fields; the columns of the box.
    void writeCsv(QTextStream& out) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    // A block whose reports were not in the log before.
    void blockSeen(const QString& block);

private:
    struct Stored : Entry {
        quint64 serial = 0;
    };
    void show(std::deque<std::unique_ptr<Stored>> incoming);
    void dropOldest();
    bool passes(const Stored& entry) const;
    int rowOf(quint64 serial) const;
    static QString entryText(const Stored& entry, int column);

    const int maxEntries;
    const int maxLines;
    std::deque<std::unique_ptr<Stored>> entries;  // newest first
    std::deque<const Stored*> shown;              // those passing the filter, newest first
    std::deque<std::unique_ptr<Stored>> held;     // arrived while paused, oldest first
    int lineCount = 0;
    quint64 nextSerial = 1;
    bool paused = false;
    QString filter;
    QStringList blocks;
};

}  // namespace iec61850
