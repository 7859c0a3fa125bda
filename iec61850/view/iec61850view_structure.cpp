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
#include <QShortcut>
#include <QStandardItem>
#include <QStandardItemModel>
#include <QStyleOption>
#include <QTimer>
#include <QTreeView>

#include "controldialog.h"
#include "expansionmemory.h"
#include "findbar.h"
#include "iec61850network.h"
#include "naturalorder.h"
#include "objectreference.h"
#include "treemodel.h"

#include "viewdetail.h"

namespace iec61850 {

using namespace viewdetail;

void Iec61850View::makeStructureBox() {
    structureBox = new QGroupBox(tr("Structure"));
    structureBox->setObjectName("structureBox");
    structureModel = new TreeModel(this);
    structureModel->setHorizontalHeaderLabels({"Structure", "Value"});
    structureView = new QTreeView;
    structureView->setObjectName("structureView");
    structureView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    structureView->setModel(structureModel);
    structureView->header()->setStretchLastSection(true);
    structureView->setColumnWidth(0, 200);
    findBar = new FindBar(structureView, structureModel);

    readyCheck = new QCheckBox(tr("Ready"));
    readyCheck->setObjectName("readyCheck");
    readyCheck->setChecked(true);
    readyCheck->setAttribute(Qt::WA_TransparentForMouseEvents);

    auto* expandLabel = new QLabel("Expand:");
    expandCombo = new QComboBox;
    expandCombo->setObjectName("expandCombo");
    expandCombo->setView(new QListView(expandCombo));

    addRemoveButton = new QPushButton(tr("Add to poll"));
    addRemoveButton->setObjectName("addRemoveButton");
    addRemoveButton->setDisabled(true);
    startStopPollButton = new QPushButton(tr("Start polling"));
    startStopPollButton->setObjectName("startStopPollButton");
    startStopPollButton->setDisabled(true);
    openPollListButton = new QPushButton(tr("Open poll list"));
    openPollListButton->setObjectName("openPollListButton");

    auto* packetsLabel = new QLabel("Packets: ");
    packetsEdit = new QLineEdit;
    packetsEdit->setObjectName("packetsEdit");
    packetsEdit->setReadOnly(true);

    auto* topRow = new QGridLayout;
    topRow->setHorizontalSpacing(10);
    topRow->addWidget(expandLabel, 0, 0);
    topRow->addWidget(expandCombo, 0, 1);
    topRow->addWidget(packetsLabel, 0, 2);
    topRow->addWidget(packetsEdit, 0, 3);
    naturalOrderCheck = new QCheckBox(tr("Natural order"));
    naturalOrderCheck->setObjectName("naturalOrderCheck");
    naturalOrderCheck->setToolTip(tr("Sort names with their numbers as numbers instead of the device's order"));
    topRow->addWidget(naturalOrderCheck, 0, 4);
    topRow->addWidget(readyCheck, 0, 5, Qt::AlignRight);

    auto* bottomRow = new QGridLayout;
    bottomRow->setHorizontalSpacing(10);
    bottomRow->addWidget(addRemoveButton, 0, 0);
    bottomRow->addWidget(startStopPollButton, 0, 1);
    bottomRow->addWidget(openPollListButton, 0, 2);

    auto* layout = new QGridLayout(structureBox);
    layout->setVerticalSpacing(10);
    layout->addLayout(topRow, 0, 0);
    layout->addWidget(findBar, 1, 0);
    layout->addWidget(structureView, 2, 0);
    layout->addLayout(bottomRow, 3, 0);

    expansionMemory = new ExpansionMemory(structureView, structureModel);
    auto* findShortcut = new QShortcut(QKeySequence::Find, this);
    connect(findShortcut, &QShortcut::activated, findBar, &FindBar::activate);
    connect(naturalOrderCheck, &QCheckBox::toggled, this, [this](bool natural) {
        NaturalOrder::apply(structureModel, natural);
        settings.beginGroup(objectName());
        settings.setValue(kSettingNaturalOrder, natural);
        settings.endGroup();
    });
}

void Iec61850View::renameForView(const QString& dataString, const QString& refString, const QString& fcString,
                                 int layer) {
    const QString text = fcString + " " + dataString;
    if (expandCombo->count() == layer) {
        expandCombo->addItem("Layer " + QString::number(layer));
    }
    emit addItem(text, refString, layer);
}

void Iec61850View::timerNewValueHandler() {
    // A pause during discovery says nothing about the tree being complete.
    if (statusEdit->text() == kStateConnected) {
        readyCheck->setChecked(true);
    }
}

void Iec61850View::readClicked() {
    QStandardItem* top = controlModel->item(0, 0);
    if (top == nullptr) {
        return;
    }
    readyCheck->setChecked(false);
    readAllValues(controlModel->referenceOf(top));
}

void Iec61850View::readAllValues(const QString& ref) {
    for (const QString& r : getItemRefWithValue(ref, QString())) {
        if (!r.contains(kSelectTag)) {
            emit readValue(r);
        }
    }
    ++readAllsRunning;
    showProgress();
    awaitReadsHandled([this]() { readAllAnswersIn(); });
}

void Iec61850View::readAllAnswersIn() {
    readAllsRunning = qMax(0, readAllsRunning - 1);
    showProgress();
    // Values that came in restart the quiet timer, which then sets Ready; when none came (every read
    // failed, or the association ended meanwhile) nothing else would.
    if (!newValueTimer->isActive()) {
        readyCheck->setChecked(true);
    }
}

QStringList Iec61850View::getItemRefWithValue(const QString& ref, const QString& filter) {
    QStringList result;
    QStandardItem* item = structureModel->itemOf(ref);
    if (item == nullptr) {
        return result;
    }
    if ((filter.isEmpty() || item->text().contains(filter)) && !valueText(item).isEmpty()) {
        result.append(ref);
    }
    for (int row = 0; row < item->rowCount(); ++row) {
        result += getItemRefWithValue(structureModel->referenceOf(item->child(row, 0)), filter);
    }
    return result;
}

void Iec61850View::structureViewClicked() {
    const QModelIndexList rows = structureView->selectionModel()->selectedRows(0);
    if (rows.isEmpty()) {
        return;
    }
    controlModel->resetTree();
    enableDisableButton->setDisabled(true);
    controlButton->setDisabled(true);
    selectedRefs.clear();

    QStandardItem* item = structureModel->itemFromIndex(rows.first());
    updateControlBox(item, 1);

    const QString ref = structureModel->referenceOf(item);
    addRemoveButton->setText(pollModel->itemOf(ref) != nullptr ? "Remove from poll" : "Add to poll");
    addRemoveButton->setEnabled(true);
}

}  // namespace iec61850
