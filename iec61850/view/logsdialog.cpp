#include "logsdialog.h"

#include <QComboBox>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTextStream>

namespace iec61850 {

namespace {

enum Column { kTime = 0, kEntryId, kReference, kValue, kReason, kColumns };

}  // namespace

LogsDialog::LogsDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Logs"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    resize(820, 480);
    logs = new QComboBox;
    logs->setObjectName("logsCombo");
    byTime = new QRadioButton(tr("From"));
    byTime->setObjectName("byTimeRadio");
    afterLast = new QRadioButton(tr("After the last entry shown"));
    afterLast->setObjectName("afterLastRadio");
    byTime->setChecked(true);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    from = new QDateTimeEdit(now.addDays(-1));
    from->setObjectName("fromEdit");
    from->setTimeSpec(Qt::UTC);
    from->setDisplayFormat("yyyy-MM-dd HH:mm:ss");
    to = new QDateTimeEdit(now.addDays(1));
    to->setObjectName("toEdit");
    to->setTimeSpec(Qt::UTC);
    to->setDisplayFormat("yyyy-MM-dd HH:mm:ss");
    queryButton = new QPushButton(tr("Query"));
    queryButton->setObjectName("queryButton");
    exportButton = new QPushButton(tr("Export CSV..."));
    exportButton->setObjectName("exportButton");
    table = new QTableWidget(0, kColumns);
    table->setObjectName("logTable");
    table->setHorizontalHeaderLabels(
        {tr("Time"), tr("Entry ID"), tr("Reference"), tr("Value"), tr("Reason")});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->horizontalHeader()->setStretchLastSection(true);
    status = new QLabel;
    status->setObjectName("logsStatus");

    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(tr("Log:")), 0, 0);
    layout->addWidget(logs, 0, 1, 1, 4);
    layout->addWidget(byTime, 1, 0);
    layout->addWidget(from, 1, 1);
    layout->addWidget(new QLabel(tr("to")), 1, 2);
    layout->addWidget(to, 1, 3);
    layout->addWidget(afterLast, 2, 0, 1, 2);
    layout->addWidget(queryButton, 2, 3);
    layout->addWidget(exportButton, 2, 4);
    layout->addWidget(table, 3, 0, 1, 5);
    layout->addWidget(status, 4, 0, 1, 5);
    layout->setRowStretch(3, 1);
    layout->setColumnStretch(1, 1);
    layout->setColumnStretch(3, 1);

    connect(queryButton, &QPushButton::clicked, this, &LogsDialog::queryClicked);
    connect(exportButton, &QPushButton::clicked, this, &LogsDialog::exportClicked);
}

void LogsDialog::logControlBlockFound(const QString& lcbRef, const QString& logRef,
                                      const QString& oldestEntry, const QString& newestEntry) {
    if (logRef.isEmpty() || logs->findData(logRef) >= 0) {
        return;
    }
    logs->addItem(tr("%1 (%2)").arg(logRef, lcbRef), logRef);
    status->setText(tr("Log %1 holds entries %2 to %3.").arg(logRef, oldestEntry, newestEntry));
}

void LogsDialog::queryClicked() {
    const QString logRef = logs->currentData().toString();
    if (logRef.isEmpty()) {
        status->setText(tr("No log to query."));
        return;
    }
    queryButton->setEnabled(false);
    status->setText(tr("Querying %1...").arg(logRef));
    const auto last = lastShown.constFind(logRef);
    if (afterLast->isChecked() && last != lastShown.constEnd()) {
        emit queryLogAfter(logRef, last->entryId, last->timeMs);
        return;
    }
    if (!afterLast->isChecked()) {
        table->setRowCount(0);
        lastShown.remove(logRef);
    }
    // With nothing shown yet, "after the last entry" starts from the log's beginning.
    const qint64 start = afterLast->isChecked() ? 0 : from->dateTime().toMSecsSinceEpoch();
    const qint64 end = afterLast->isChecked()
                           ? QDateTime::currentDateTimeUtc().addYears(100).toMSecsSinceEpoch()
                           : to->dateTime().toMSecsSinceEpoch();
    emit queryLogByTime(logRef, start, end);
}

void LogsDialog::logEntryReceived(const QString& logRef, qint64 timeMs, const QString& entryId,
                                  const QString& reference, const QString& value, const QString& reason) {
    const int row = table->rowCount();
    table->insertRow(row);
    const QString time = QDateTime::fromMSecsSinceEpoch(timeMs, Qt::UTC).toString(Qt::ISODateWithMs);
    const QString texts[kColumns] = {time, entryId, reference, value, reason};
    for (int column = 0; column < kColumns; ++column) {
        table->setItem(row, column, new QTableWidgetItem(texts[column]));
    }
    lastShown[logRef] = Position{entryId, timeMs};
}

void LogsDialog::logQueryDone(const QString& logRef, int entries, const QString& error) {
    queryButton->setEnabled(true);
    status->setText(error.isEmpty() ? tr("%1: %n entries.", nullptr, entries).arg(logRef)
                                    : tr("%1: query failed: %2").arg(logRef, error));
}

QString LogsDialog::csvField(const QString& text) {
    if (!text.contains(',') && !text.contains('"') && !text.contains('\n') && !text.contains('\r')) {
        return text;
    }
    QString quoted = text;
    quoted.replace('"', QStringLiteral("\"\""));
    return '"' + quoted + '"';
}

bool LogsDialog::writeCsv(const QString& path) const {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        return false;
    }
    QTextStream out(&file);
    out.setCodec("UTF-8");
    QStringList header;
    for (int column = 0; column < kColumns; ++column) {
        header << csvField(table->horizontalHeaderItem(column)->text());
    }
    out << header.join(',') << '\n';
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList fields;
        for (int column = 0; column < kColumns; ++column) {
            const QTableWidgetItem* item = table->item(row, column);
            fields << csvField(item != nullptr ? item->text() : QString());
        }
        out << fields.join(',') << '\n';
    }
    out.flush();
    return file.error() == QFileDevice::NoError;
}

void LogsDialog::exportClicked() {
    const QString path =
        QFileDialog::getSaveFileName(this, tr("Export log"), QString(), tr("CSV files (*.csv)"));
    if (path.isEmpty()) {
        return;
    }
    status->setText(writeCsv(path) ? tr("Saved %1.").arg(path) : tr("Could not write %1.").arg(path));
}

}  // namespace iec61850
