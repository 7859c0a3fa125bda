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
    // Report display comes with the report box's own work.
    Q_UNUSED(dataSetRef)
    Q_UNUSED(dataRef)
    Q_UNUSED(valueList)
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
