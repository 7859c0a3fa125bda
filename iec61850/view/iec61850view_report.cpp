#include "iec61850view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
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
}

void Iec61850View::addReport(const QString& dataSetRef, QString dataRef, QStringList valueList) {
    if (dataRef.isEmpty()) {
        reportModel->insertRow(0, {new QStandardItem(dataSetRef), new QStandardItem()});
        // A device that reports many times a second for hours must not fill memory or slow the window:
        // the oldest entries go once the list holds kMaxReportEntries.
        if (reportModel->rowCount() > kMaxReportEntries) {
            reportModel->removeRows(kMaxReportEntries, reportModel->rowCount() - kMaxReportEntries);
        }
        return;
    }
    QStandardItem* entry = reportModel->item(0, 0);
    if (entry == nullptr) {
        return;
    }
    const QString memberRef = dataSetRef + "." + dataRef;
    const QStandardItem* memberLine = structureModel->itemOf(memberRef);
    const QString fc = memberLine != nullptr ? memberLine->text().left(4) : QString();
    const QStringList targets = memberLine != nullptr ? getItemRefWithValue(dataRef, fc) : QStringList();
    if (targets.size() == valueList.size() && memberLine != nullptr) {
        for (int i = 0; i < targets.size(); ++i) {
            const QString& ref = targets.at(i);
            const QString& value = valueList.at(i);
            structureModel->setValue(ref, value, true);
            controlModel->setValue(ref, value, true);
            pollModel->setValue(ref, value, false);
            entry->appendRow({new QStandardItem(ref), new QStandardItem(value)});
        }
    } else {
        // The value arrived but has no place in the trees (a member discovery did not list, or lines
        // that never got a value): it is still shown, under the member's own reference.
        entry->appendRow(
            {new QStandardItem(dataRef), new QStandardItem(valueList.join(QStringLiteral("; ")))});
    }
    reportView->expand(entry->index());
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
