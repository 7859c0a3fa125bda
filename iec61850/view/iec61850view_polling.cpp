#include "iec61850view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
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
    // What the device allows, beside what was asked for: ticks wait for the previous tick's answers.
    achievedPeriodLabel = new QLabel;
    achievedPeriodLabel->setObjectName("achievedPeriodLabel");

    auto* intervalRow = new QHBoxLayout;
    intervalRow->addWidget(new QLabel(tr("Poll interval (ms)")));
    intervalRow->addWidget(pollIntervalEdit);

    auto* layout = new QGridLayout(pollDialog);
    layout->addLayout(intervalRow, 0, 0, 1, 2);
    layout->addWidget(pollView, 1, 0, 1, 2);
    layout->addWidget(dialogRemoveButton, 2, 0);
    layout->addWidget(dialogStartStopButton, 2, 1);
    layout->addWidget(achievedPeriodLabel, 3, 0, Qt::AlignLeft);
    layout->addWidget(lastPollLabel, 3, 1, Qt::AlignRight);
}

void Iec61850View::addRemoveButtonClicked() {
    const QModelIndexList rows = structureView->selectionModel()->selectedRows(0);
    if (rows.isEmpty()) {
        return;
    }
    QStandardItem* item = structureModel->itemFromIndex(rows.first());
    const QString ref = structureModel->referenceOf(item);
    if (QStandardItem* line = pollModel->itemOf(ref)) {
        pollModel->removeItem(line->index());
        stopPollingIfListEmpty();
        addRemoveButton->setText("Add to poll");
    } else {
        updatePollDialog(item, 1);
        startStopPollButton->setEnabled(true);
        dialogStartStopButton->setEnabled(true);
        addRemoveButton->setText("Remove from poll");
    }
    pollListChanged = true;
}

void Iec61850View::updatePollDialog(QStandardItem* item, int layer) {
    const QString ref = structureModel->referenceOf(item);
    // A reference occurs in the polling list once: a line added earlier on its own moves into the
    // subtree being copied.
    if (QStandardItem* earlier = pollModel->itemOf(ref)) {
        pollModel->removeItem(earlier->index());
    }
    pollModel->addItem(item->text(), ref, layer);
    pollModel->setValue(ref, valueText(item), false);
    if (QStandardItem* copy = pollModel->itemOf(ref)) {
        pollView->setExpanded(copy->index(), structureView->isExpanded(item->index()));
    }
    for (int row = 0; row < item->rowCount(); ++row) {
        updatePollDialog(item->child(row, 0), layer + 1);
    }
}

void Iec61850View::dialogRemoveButtonClicked() {
    const QModelIndexList rows = pollView->selectionModel()->selectedRows(0);
    if (rows.isEmpty()) {
        return;
    }
    pollModel->removeItem(rows.first());
    // The removed line may also have been an ancestor of the selected structure line.
    const QModelIndexList structureRows = structureView->selectionModel()->selectedRows(0);
    if (!structureRows.isEmpty()) {
        const QString selected =
            structureModel->referenceOf(structureModel->itemFromIndex(structureRows.first()));
        if (pollModel->itemOf(selected) == nullptr) {
            addRemoveButton->setText("Add to poll");
        }
    }
    stopPollingIfListEmpty();
    pollListChanged = true;
}

void Iec61850View::stopPollingIfListEmpty() {
    if (pollModel->invisibleRootItem()->rowCount() > 0) {
        return;
    }
    if (pollTimer->isActive()) {
        startStopPollButtonClicked();
    }
    startStopPollButton->setDisabled(true);
    dialogStartStopButton->setDisabled(true);
}

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
    tickStartsMs.clear();
    pollTimer->start(pollIntervalMs(pollIntervalEdit->text()));
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
    // A slow device gets the next tick's requests only once the previous tick's are handled, so a
    // backlog never builds up on the engine's queue.
    if (pollAnswersPending) {
        return;
    }
    if (pollListChanged || pollRefs.isEmpty()) {
        pollRefs.clear();
        constructPollingLists(pollModel->invisibleRootItem(), true);
        pollListChanged = false;
    }
    if (pollRefs.isEmpty()) {
        stopPollingIfListEmpty();
        return;
    }

    bool valuedLineSeen = false;
    int requests = 0;
    for (const QString& ref : qAsConst(pollRefs)) {
        const QStandardItem* line = pollModel->itemOf(ref);
        if (line == nullptr || valueText(line).isEmpty()) {
            continue;
        }
        valuedLineSeen = true;
        if (!ref.contains(kSelectTag)) {
            emit readValue(ref);
            ++requests;
        }
    }
    if (!valuedLineSeen) {
        startStopPollButtonClicked();
        return;
    }
    lastPollLabel->setText("Last poll at " +
                           QDateTime::currentDateTime().toString("hh:mm:ss.zzz dd.MM.yyyy"));
    if (!pollClock.isValid()) {
        pollClock.start();
    }
    tickStartsMs.append(pollClock.elapsed());
    const int periodMs = achievedPeriodMs(tickStartsMs);
    if (periodMs >= 0) {
        achievedPeriodLabel->setText(QStringLiteral("Achieved period: %1 ms").arg(periodMs));
    }
    if (requests > 0) {
        readyCheck->setChecked(false);
        pollAnswersPending = true;
        awaitReadsHandled([this]() { pollAnswersIn(); });
    }
}

void Iec61850View::awaitReadsHandled(std::function<void()> then) {
    // Queued behind the reads just asked for, so the engine counts them; it answers once each of them
    // has been announced or has failed (failed reads send nothing back), or the association has ended.
    // The answer travels behind the values, so `then` sees them shown.
    AnnouncementQueue* queue = announcements.get();
    QMetaObject::invokeMethod(
        network,
        [this, queue, then = std::move(then)]() {
            network->whenReadsHandled([queue, then]() { queue->addCall(then); });
        },
        Qt::QueuedConnection);
}

void Iec61850View::pollAnswersIn() {
    pollAnswersPending = false;
    // When every read failed no value restarts the quiet timer, and Ready would stay off for good. An
    // answer to a tick from before a disconnect may come in during the next walk; that one says nothing.
    if (pollTimer->isActive() && !newValueTimer->isActive() && nothingPending()) {
        readyCheck->setChecked(true);
    }
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
