#include "iec61850view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
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
#include <QTimer>
#include <QTreeView>

#include "controldialog.h"
#include "iec61850network.h"
#include "objectreference.h"
#include "treemodel.h"

#include "viewdetail.h"

namespace iec61850 {

using namespace viewdetail;

void Iec61850View::makeReportBox() {
    reportBox = new QGroupBox(tr("Report"));
    reportBox->setObjectName("reportBox");
    reportModel = new QStandardItemModel(this);
    reportModel->setHorizontalHeaderLabels({"Reference", "Value"});
    reportView = new QTreeView;
    reportView->setObjectName("reportView");
    reportView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    reportView->setModel(reportModel);
    reportView->header()->setSectionResizeMode(QHeaderView::Interactive);
    reportView->setColumnWidth(0, 200);

    auto* layout = new QGridLayout(reportBox);
    layout->addWidget(reportView, 0, 0);

    // Fires once the window has taken every report already queued to it.
    reportBatchTimer = new QTimer(this);
    reportBatchTimer->setSingleShot(true);
    reportBatchTimer->setInterval(0);
    connect(reportBatchTimer, &QTimer::timeout, this, &Iec61850View::showPendingReports);
}

void Iec61850View::addReport(const QString& dataSetRef, QString dataRef, QStringList valueList) {
    if (dataRef.isEmpty()) {
        pendingReports.append(PendingReport{dataSetRef, {}});
        if (!reportBatchTimer->isActive()) {
            reportBatchTimer->start();
        }
        return;
    }
    if (!pendingReports.isEmpty()) {
        pendingReports.last().members.append({dataRef, valueList});
        return;
    }
    // The rest of a report whose beginning is already shown.
    QStandardItem* entry = reportModel->item(0, 0);
    if (entry == nullptr) {
        return;
    }
    bool placed = false;
    for (const auto& line : reportLines(dataSetRef, dataRef, valueList, &placed)) {
        if (placed) {
            structureModel->setValue(line.first, line.second, true);
            controlModel->setValue(line.first, line.second, true);
            pollModel->setValue(line.first, line.second, false);
        }
        entry->appendRow({new QStandardItem(line.first), new QStandardItem(line.second)});
    }
    reportView->expand(entry->index());
}

QList<QPair<QString, QString>> Iec61850View::reportLines(const QString& dataSetRef, const QString& dataRef,
                                                         const QStringList& valueList, bool* placed) {
    QList<QPair<QString, QString>> lines;
    const QStandardItem* memberLine = structureModel->itemOf(dataSetRef + "." + dataRef);
    const QStringList targets =
        memberLine != nullptr ? getItemRefWithValue(dataRef, memberLine->text().left(4)) : QStringList();
    *placed = memberLine != nullptr && targets.size() == valueList.size();
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
    QList<PendingReport> batch;
    batch.swap(pendingReports);
    // Reports older than the box keeps would be pushed out at once: only their values reach the trees.
    const int firstShown = qMax(0, batch.size() - kMaxReportEntries);
    QHash<QString, QString> latest;  // tree reference -> newest value of the batch
    QStringList latestOrder;
    QHash<QString, QList<QPair<QString, QString>>> placedLines;
    for (int i = 0; i < batch.size(); ++i) {
        const PendingReport& report = batch.at(i);
        QList<QStandardItem*> entry{new QStandardItem(report.dataSetRef), new QStandardItem()};
        for (const auto& member : report.members) {
            bool placed = false;
            const auto lines = reportLines(report.dataSetRef, member.first, member.second, &placed);
            for (const auto& line : lines) {
                if (placed) {
                    if (!latest.contains(line.first)) {
                        latestOrder.append(line.first);
                    }
                    latest.insert(line.first, line.second);
                }
                if (i >= firstShown) {
                    entry.first()->appendRow({new QStandardItem(line.first), new QStandardItem(line.second)});
                }
            }
        }
        if (i >= firstShown) {
            reportModel->insertRow(0, entry);
        } else {
            qDeleteAll(entry);
        }
    }
    // A device that reports many times a second for hours must not fill memory or slow the window:
    // the oldest entries go once the list holds kMaxReportEntries.
    if (reportModel->rowCount() > kMaxReportEntries) {
        reportModel->removeRows(kMaxReportEntries, reportModel->rowCount() - kMaxReportEntries);
    }
    for (const QString& ref : latestOrder) {
        const QString& value = latest[ref];
        structureModel->setValue(ref, value, true);
        controlModel->setValue(ref, value, true);
        pollModel->setValue(ref, value, false);
    }
    if (QStandardItem* top = reportModel->item(0, 0)) {
        reportView->expand(top->index());
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
