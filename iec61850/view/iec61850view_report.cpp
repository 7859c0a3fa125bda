#include "iec61850view.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QStandardItem>
#include <QStandardItemModel>
#include <QStyleOption>
#include <QTextStream>
#include <QTimer>
#include <QTreeView>

#include "controldialog.h"
#include "iec61850network.h"
#include "objectreference.h"
#include "reportlogmodel.h"
#include "treemodel.h"

#include "viewdetail.h"

namespace iec61850 {

using namespace viewdetail;

void Iec61850View::makeReportBox() {
    reportBox = new QGroupBox(tr("Report"));
    reportBox->setObjectName("reportBox");
    reportLog = new ReportLogModel(kMaxReportEntries, kMaxReportLines, this);
    reportView = new QTreeView;
    reportView->setObjectName("reportView");
    reportView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    reportView->setModel(reportLog);
    reportView->setUniformRowHeights(true);
    reportView->header()->setSectionResizeMode(QHeaderView::Interactive);
    reportView->setColumnWidth(0, 200);

    reportBlockCombo = new QComboBox;
    reportBlockCombo->setObjectName("reportBlockCombo");
    reportBlockCombo->addItem(tr("All blocks"));
    reportPauseButton = new QPushButton(tr("Pause"));
    reportPauseButton->setObjectName("reportPauseButton");
    reportPauseButton->setCheckable(true);
    reportClearButton = new QPushButton(tr("Clear"));
    reportClearButton->setObjectName("reportClearButton");
    reportExportButton = new QPushButton(tr("Export CSV..."));
    reportExportButton->setObjectName("reportExportButton");
    reportHeldLabel = new QLabel;
    reportHeldLabel->setObjectName("reportHeldLabel");

    auto* layout = new QGridLayout(reportBox);
    layout->addWidget(reportView, 0, 0, 1, -1);
    layout->addWidget(reportBlockCombo, 1, 0);
    layout->addWidget(reportPauseButton, 1, 1);
    layout->addWidget(reportClearButton, 1, 2);
    layout->addWidget(reportExportButton, 1, 3);
    layout->addWidget(reportHeldLabel, 1, 4);
    layout->setColumnStretch(4, 1);

    connect(reportLog, &ReportLogModel::blockSeen, reportBlockCombo,
            [this](const QString& block) { reportBlockCombo->addItem(block); });
    connect(reportBlockCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this](int index) {
        reportLog->setBlockFilter(index > 0 ? reportBlockCombo->itemText(index) : QString());
    });
    connect(reportPauseButton, &QPushButton::toggled, this, [this](bool paused) {
        reportPauseButton->setText(paused ? tr("Resume") : tr("Pause"));
        reportLog->setPaused(paused);
        showHeldCount();
        if (!paused) {
            reportView->expand(reportLog->index(0, 0));
        }
    });
    connect(reportClearButton, &QPushButton::clicked, this, [this] {
        reportLog->clear();
        showHeldCount();
    });
    connect(reportExportButton, &QPushButton::clicked, this, &Iec61850View::exportReportLogClicked);
    // A placement names tree lines: it holds only while the tree keeps its lines.
    connect(structureModel, &QAbstractItemModel::rowsInserted, this, [this] { reportPlacements.clear(); });
    connect(structureModel, &QAbstractItemModel::rowsRemoved, this, [this] { reportPlacements.clear(); });
    connect(structureModel, &QAbstractItemModel::modelReset, this, [this] { reportPlacements.clear(); });

    // A storm's queued reports were allocated on the receive thread and freed here, which leaves the
    // allocator holding that memory; once the storm has passed it goes back to the system.
    reportStormEnd = new QTimer(this);
    reportStormEnd->setSingleShot(true);
    reportStormEnd->setInterval(kReportStormQuietMs);
    connect(reportStormEnd, &QTimer::timeout, this, [this] {
        reportsSinceTrim = 0;
#ifdef __GLIBC__
        malloc_trim(0);
#endif
    });

    // Fires once the window has taken every report already queued to it.
    reportBatchTimer = new QTimer(this);
    reportBatchTimer->setSingleShot(true);
    reportBatchTimer->setInterval(0);
    connect(reportBatchTimer, &QTimer::timeout, this, &Iec61850View::showPendingReports);
}

void Iec61850View::addReportHeader(const ReportHeader& header) {
    nextReportHeader = header;
}

void Iec61850View::addReport(const QString& dataSetRef, QString dataRef, QStringList valueList) {
    takeReport(dataSetRef, dataRef, valueList);
    if (!pendingReports.isEmpty() && !reportBatchTimer->isActive()) {
        reportBatchTimer->start();
    }
}

void Iec61850View::takeReport(const QString& dataSetRef, const QString& dataRef,
                              const QStringList& valueList) {
    if (dataRef.isEmpty()) {
        PendingReport report;
        // The engine announces a report's header right before its entry; an entry without one (a caller
        // of this slot alone) still gets its time of arrival.
        if (nextReportHeader && nextReportHeader->dataSetRef == dataSetRef) {
            report.header = std::move(*nextReportHeader);
        } else {
            report.header.dataSetRef = dataSetRef;
            report.header.arrivalMs = QDateTime::currentMSecsSinceEpoch();
        }
        nextReportHeader.reset();
        pendingReports.append(std::move(report));
        return;
    }
    if (!pendingReports.isEmpty()) {
        pendingReports.last().members.append({dataRef, valueList});
        return;
    }
    // The rest of a report whose beginning is already shown, with the reasons its header gave.
    bool placed = false;
    const auto lines = reportLines(dataSetRef, dataRef, valueList, &placed);
    const int member = newestReportMembers++;
    const QString reason = member < newestReportReasons.size() && newestReportReasons.at(member) >= 0
                               ? reasonNames(newestReportReasons.at(member))
                               : QString();
    QVector<ReportLogModel::Member> members;
    for (const auto& line : lines) {
        members.append({line.first, line.second, reason});
    }
    if (!reportLog->appendToNewest(members)) {
        return;
    }
    if (placed) {
        for (const auto& line : lines) {
            structureModel->setValue(line.first, line.second, true);
            controlModel->setValue(line.first, line.second, true);
            pollModel->setValue(line.first, line.second, false);
        }
    }
    reportView->expand(reportLog->index(0, 0));
}

QStringList Iec61850View::placementOf(const QString& dataSetRef, const QString& dataRef, int valueCount) {
    const QString key =
        dataSetRef + QLatin1Char('.') + dataRef + QLatin1Char('#') + QString::number(valueCount);
    const auto cached = reportPlacements.constFind(key);
    if (cached != reportPlacements.constEnd()) {
        return *cached;
    }
    const QStandardItem* memberLine = structureModel->itemOf(dataSetRef + "." + dataRef);
    const QStringList targets =
        memberLine != nullptr ? getItemRefWithValue(dataRef, memberLine->text().left(4)) : QStringList();
    // Only a pairing is kept: lines still without a value may get one and pair later.
    if (memberLine != nullptr && targets.size() == valueCount) {
        reportPlacements.insert(key, targets);
        return targets;
    }
    return {};
}

QList<QPair<QString, QString>> Iec61850View::reportLines(const QString& dataSetRef, const QString& dataRef,
                                                         const QStringList& valueList, bool* placed) {
    QList<QPair<QString, QString>> lines;
    const QStringList targets = placementOf(dataSetRef, dataRef, valueList.size());
    *placed =
        !targets.isEmpty() || (valueList.isEmpty() && structureModel->itemOf(dataSetRef + "." + dataRef));
    if (*placed) {
        for (int i = 0; i < targets.size(); ++i) {
            lines.append({targets.at(i), valueList.at(i)});
        }
    } else {
        // The value arrived but has no place in the trees (a member discovery did not list, or lines
        // that never got a value): it is still shown, under the member's own reference.
        lines.append({dataRef, valueList.join(QStringLiteral("; "))});
    }
    return lines;
}

void Iec61850View::showPendingReports() {
    if (pendingReports.isEmpty()) {
        return;
    }
    QList<PendingReport> batch;
    batch.swap(pendingReports);
    // Reports older than the log keeps would be pushed out at once: only their values reach the trees.
    const int firstShown = qMax(0, batch.size() - kMaxReportEntries);
    QHash<QString, QString> latest;  // tree reference -> newest value of the batch
    QStringList latestOrder;
    QVector<ReportLogModel::Entry> entries;
    entries.reserve(batch.size() - firstShown);
    for (int i = 0; i < batch.size(); ++i) {
        const PendingReport& report = batch.at(i);
        const bool logged = i >= firstShown;
        ReportLogModel::Entry entry;
        if (logged) {
            entry.header = report.header;
        }
        const QList<int>& reasons = report.header.reasons;
        for (int m = 0; m < report.members.size(); ++m) {
            const auto& member = report.members.at(m);
            bool placed = false;
            const auto lines = reportLines(report.header.dataSetRef, member.first, member.second, &placed);
            const QString reason =
                logged && m < reasons.size() && reasons.at(m) >= 0 ? reasonNames(reasons.at(m)) : QString();
            for (const auto& line : lines) {
                if (placed) {
                    if (!latest.contains(line.first)) {
                        latestOrder.append(line.first);
                    }
                    latest.insert(line.first, line.second);
                }
                if (logged) {
                    entry.members.append({line.first, line.second, reason});
                }
            }
        }
        if (logged) {
            entries.append(std::move(entry));
        }
    }
    reportLog->append(std::move(entries));
    newestReportReasons = batch.last().header.reasons;
    newestReportMembers = batch.last().members.size();
    for (const QString& ref : latestOrder) {
        const QString& value = latest[ref];
        structureModel->setValue(ref, value, true);
        controlModel->setValue(ref, value, true);
        pollModel->setValue(ref, value, false);
    }
    if (reportLog->isPaused()) {
        showHeldCount();
    } else {
        reportView->expand(reportLog->index(0, 0));
    }
    reportsSinceTrim += batch.size();
    if (reportsSinceTrim >= kReportStormReports) {
        reportStormEnd->start();
    }
}

void Iec61850View::showHeldCount() {
    reportHeldLabel->setText(reportLog->isPaused() ? tr("%n report(s) held", nullptr, reportLog->heldCount())
                                                   : QString());
}

void Iec61850View::exportReportLogClicked() {
    const QString path =
        QFileDialog::getSaveFileName(this, tr("Export report log"), QString(), tr("CSV files (*.csv)"));
    if (path.isEmpty()) {
        return;
    }
    QFile file(path);
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text);
    if (written) {
        QTextStream out(&file);
        out.setCodec("UTF-8");
        reportLog->writeCsv(out);
        out.flush();
        written = file.error() == QFileDevice::NoError;
    }
    if (written) {
        reportHeldLabel->setText(tr("Saved %1").arg(path));
    } else {
        emit setStatusBarMessage(tr("Report log not saved: cannot write %1").arg(path));
    }
}

void Iec61850View::enableDisableClicked() {
    if (selectedRefs.isEmpty()) {
        return;
    }
    readyCheck->setChecked(false);
    // The library names a control block with its constraint before the block's own name:
    // LD0/LLN0.urcbA under RP becomes LD0/LLN0.RP.urcbA.
    QStringList parts = selectedRefs.first().split('.', Qt::KeepEmptyParts);
    const QString blockName = parts.takeLast();
    parts << selectedRcbFc << blockName;
    emit enableDisableReport(parts.join('.'));
    readClicked();
}

}  // namespace iec61850
