#pragma once

#include <QDialog>
#include <QHash>
#include <QString>

class QComboBox;
class QDateTimeEdit;
class QLabel;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace iec61850 {

// The device's logs, found through their log control blocks: entries queried by time range or after
// the last entry shown, in a table (time, entry ID, reference, value, reason) that can be saved as CSV.
// It talks to the engine only through its signals and slots, with copied values.
class LogsDialog : public QDialog {
    Q_OBJECT

public:
    explicit LogsDialog(QWidget* parent = nullptr);

    // The table as CSV, one line per row after a header line; false when the file cannot be written.
    bool writeCsv(const QString& path) const;
    // A CSV field: quoted (quotes doubled) when it holds a comma, a quote or a line break.
    static QString csvField(const QString& text);

signals:
    void findLogControlBlocks();
    void queryLogByTime(const QString& logRef, qint64 fromMs, qint64 toMs);
    void queryLogAfter(const QString& logRef, const QString& entryId, qint64 timeMs);

public slots:
    void logControlBlockFound(const QString& lcbRef, const QString& logRef, const QString& oldestEntry,
                              const QString& newestEntry);
    void logEntryReceived(const QString& logRef, qint64 timeMs, const QString& entryId,
                          const QString& reference, const QString& value, const QString& reason);
    void logQueryDone(const QString& logRef, int entries, const QString& error);
    void queryClicked();

private slots:
    void exportClicked();

private:
    struct Position {
        QString entryId;
        qint64 timeMs = 0;
    };

    QComboBox* logs;
    QRadioButton* byTime;
    QRadioButton* afterLast;
    QDateTimeEdit* from;
    QDateTimeEdit* to;
    QPushButton* queryButton;
    QPushButton* exportButton;
    QTableWidget* table;
    QLabel* status;
    QHash<QString, Position> lastShown;  // per log
};

}  // namespace iec61850
