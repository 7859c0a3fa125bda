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

void Iec61850View::makePollDialog() {
    pollDialog = new QDialog(this);
    pollDialog->setObjectName("pollDialog");
    pollDialog->setWindowTitle("Polling list");
    pollDialog->resize(700, 700);
    pollModel = new TreeModel(this);
    pollModel->setHorizontalHeaderLabels({"Structure", "Value"});
    pollView = new QTreeView;
    pollView->setObjectName("pollView");
    pollView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    pollView->setModel(pollModel);
    pollView->header()->setSectionResizeMode(QHeaderView::Interactive);
    pollView->setColumnWidth(0, 350);

    pollIntervalEdit = new QLineEdit;
    pollIntervalEdit->setObjectName("pollIntervalEdit");
    pollIntervalEdit->setValidator(new QIntValidator(100, 10000, pollIntervalEdit));
    pollIntervalEdit->setPlaceholderText(tr("100-10000"));
    pollIntervalEdit->setText("1000");

    dialogRemoveButton = new QPushButton(tr("Remove"));
    dialogRemoveButton->setObjectName("dialogRemoveButton");
    dialogStartStopButton = new QPushButton(tr("Start polling"));
    dialogStartStopButton->setObjectName("dialogStartStopButton");
    dialogStartStopButton->setDisabled(true);
    lastPollLabel = new QLabel("Never poll");
    lastPollLabel->setObjectName("lastPollLabel");

    auto* intervalRow = new QHBoxLayout;
    intervalRow->addWidget(new QLabel(tr("Poll interval (ms)")));
    intervalRow->addWidget(pollIntervalEdit);

    auto* layout = new QGridLayout(pollDialog);
    layout->addLayout(intervalRow, 0, 0, 1, 2);
    layout->addWidget(pollView, 1, 0, 1, 2);
    layout->addWidget(dialogRemoveButton, 2, 0);
    layout->addWidget(dialogStartStopButton, 2, 1);
    layout->addWidget(lastPollLabel, 3, 0, 1, 2, Qt::AlignRight);
}

void Iec61850View::addRemoveButtonClicked() {
    // Editing the polling list comes with the polling work.
}

void Iec61850View::updatePollDialog(QStandardItem* item, int layer) {
    Q_UNUSED(item)
    Q_UNUSED(layer)
}

void Iec61850View::dialogRemoveButtonClicked() {}

void Iec61850View::startStopPollButtonClicked() {
    if (pollTimer->isActive()) {
        pollTimer->stop();
        pollListChanged = false;
        startStopPollButton->setText("Start polling");
        dialogStartStopButton->setText("Start polling");
        return;
    }
    pollListChanged = false;
    pollRefs.clear();
    const QString interval = pollIntervalEdit->text();
    pollTimer->start(interval.isEmpty() ? 1000 : interval.toInt(nullptr, 10));
    startStopPollButton->setText("Stop polling");
    dialogStartStopButton->setText("Stop polling");
}

void Iec61850View::constructPollingLists(QStandardItem* item, bool isRoot) {
    if (!isRoot) {
        pollRefs.append(pollModel->referenceOf(item));
    }
    for (int row = 0; row < item->rowCount(); ++row) {
        constructPollingLists(item->child(row, 0), false);
    }
}

void Iec61850View::timerPollingHandler() {
    // Reading the polling list comes with the polling work.
}

bool Iec61850View::isInvalidRefExist(const QStringList& refs) {
    for (const QString& ref : refs) {
        if (structureModel->itemOf(ref) == nullptr) {
            return true;
        }
    }
    return false;
}

}  // namespace iec61850
