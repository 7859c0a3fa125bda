#include "iec61850view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
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

namespace {

// A logical device has thousands of values: Read all walks its lines and asks for their values a slice
// at a time, each slice at least this many lines (a logical node at once) and then until the time is
// up.
constexpr int kReadAllLinesAtOnce = 256;
constexpr qint64 kReadAllSliceMs = 2;

}  // namespace

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
    naturalOrderCheck->setToolTip(
        tr("Sort names with their numbers as numbers instead of the device's order"));
    topRow->addWidget(naturalOrderCheck, 0, 4);
    topRow->addWidget(readyCheck, 0, 5, Qt::AlignRight);

    auto* bottomRow = new QGridLayout;
    bottomRow->setHorizontalSpacing(10);
    bottomRow->addWidget(addRemoveButton, 0, 0);
    bottomRow->addWidget(startStopPollButton, 0, 1);
    bottomRow->addWidget(openPollListButton, 0, 2);
    makeDataSetActions();
    bottomRow->addWidget(newDataSetButton, 0, 3);
    bottomRow->addWidget(deleteDataSetButton, 0, 4);

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
    // A pause during discovery says nothing about the tree being complete, nor one between answers of
    // a slow device about the reads still out.
    if (statusEdit->text() == kStateConnected && nothingPending()) {
        readyCheck->setChecked(true);
    }
}

bool Iec61850View::nothingPending() const {
    return readAllsRunning == 0 && !pollAnswersPending && operateRereadsDue == 0;
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
    // A reference the tree does not know reads nothing; Ready still follows.
    QStandardItem* item = structureModel->itemOf(ref);
    unsentReadAlls.push_back(item != nullptr ? SubtreeWalk(item->index(), 1) : SubtreeWalk());
    ++readAllsRunning;
    showProgress();
    sendReadAllSlice();
}

void Iec61850View::sendReadAllSlice() {
    QElapsedTimer clock;
    clock.start();
    int handed = 0;
    while (!unsentReadAlls.empty()) {
        // A logical node is read at once.
        const bool walked = unsentReadAlls.front().walkSlice(
            clock, kReadAllSliceMs, kReadAllLinesAtOnce, &handed, [this](const QModelIndex& line, int) {
                // The lines that show a value, as getItemRefWithValue lists them.
                if (line.siblingAtColumn(1).data().toString().isEmpty()) {
                    return;
                }
                const QString ref = structureModel->referenceOf(structureModel->itemFromIndex(line));
                if (!ref.contains(kSelectTag)) {
                    emit readValue(ref);
                }
            });
        if (!walked) {
            break;
        }
        unsentReadAlls.pop_front();
        awaitReadsHandled([this]() { readAllAnswersIn(); });
    }
    if (!unsentReadAlls.empty()) {
        // The rest after the window has drawn and taken its input.
        readAllSlice.schedule();
    }
}

void Iec61850View::readAllAnswersIn() {
    readAllsRunning = qMax(0, readAllsRunning - 1);
    showProgress();
    // Every read asked for has been answered, has failed or has gone with the association. Values that
    // came in restart the quiet timer, which then sets Ready; when none came (every read failed, or the
    // association ended meanwhile) nothing else would. Either way not while other answers are awaited.
    if (!newValueTimer->isActive() && nothingPending()) {
        readyCheck->setChecked(true);
    }
}

namespace {

// Appends, in pre-order, the references of the lines of `line`'s subtree that show a value (in
// `valueCell`, the line's value column) and, with a filter, whose text contains it. A logical device
// has thousands of lines: they are walked through the items themselves, into one list.
void appendValuedLines(const TreeModel& model, QStandardItem* line, const QStandardItem* valueCell,
                       const QString& filter, QStringList* refs) {
    if ((filter.isEmpty() || line->text().contains(filter)) && valueCell != nullptr &&
        !valueCell->text().isEmpty()) {
        refs->append(model.referenceOf(line));
    }
    for (int row = 0; row < line->rowCount(); ++row) {
        appendValuedLines(model, line->child(row, 0), line->child(row, 1), filter, refs);
    }
}

}  // namespace

QStringList Iec61850View::getItemRefWithValue(const QString& ref, const QString& filter) {
    QStringList result;
    QStandardItem* item = structureModel->itemOf(ref);
    if (item == nullptr) {
        return result;
    }
    const QStandardItem* valueCell = item->parent() != nullptr ? item->parent()->child(item->row(), 1)
                                                               : structureModel->item(item->row(), 1);
    appendValuedLines(*structureModel, item, valueCell, filter, &result);
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
