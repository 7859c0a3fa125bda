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

namespace {

// A logical device has thousands of lines: the control box copies them a slice at a time, each slice
// at least this many lines (a logical node or smaller is there at once) and then until the time is up.
constexpr int kControlFillLinesAtOnce = 64;
constexpr qint64 kControlFillSliceMs = 3;

}  // namespace

void Iec61850View::makeControlBox() {
    controlBox = new QGroupBox(tr("Control"));
    controlBox->setObjectName("controlBox");
    controlModel = new TreeModel(this);
    controlModel->setHorizontalHeaderLabels({"Structure", "Value"});
    controlView = new QTreeView;
    controlView->setObjectName("controlView");
    controlView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    controlView->setModel(controlModel);
    controlView->header()->setStretchLastSection(true);
    controlView->setColumnWidth(0, 200);

    readAllButton = new QPushButton(tr("Read all"));
    readAllButton->setObjectName("readAllButton");
    // Reads need an association; without one nothing would answer and Ready would wait for good.
    readAllButton->setDisabled(true);
    enableDisableButton = new QPushButton(tr("Enable/Disable"));
    enableDisableButton->setObjectName("enableDisableButton");
    enableDisableButton->setDisabled(true);
    controlButton = new QPushButton(tr("Control"));
    controlButton->setObjectName("controlButton");
    controlButton->setDisabled(true);

    auto* layout = new QGridLayout(controlBox);
    layout->addWidget(controlView, 0, 0, 1, -1);
    layout->addWidget(controlButton, 1, 0);
    layout->addWidget(enableDisableButton, 1, 1);
    layout->addWidget(readAllButton, 1, 2);

    // Lines removed or reordered under a subtree still being copied would be copied twice or not at
    // all: the copy starts over, as a click on its line would.
    connect(structureModel, &QAbstractItemModel::rowsRemoved, this, &Iec61850View::restartControlFill);
    connect(structureModel, &QAbstractItemModel::rowsMoved, this, &Iec61850View::restartControlFill);
    connect(structureModel, &QAbstractItemModel::layoutChanged, this, &Iec61850View::restartControlFill);
}

void Iec61850View::updateControlBox(QStandardItem* item, int layer) {
    controlFill = SubtreeWalk(item->index(), layer);
    fillControlBoxSlice();
}

void Iec61850View::fillControlBoxSlice() {
    QElapsedTimer clock;
    clock.start();
    int filed = 0;
    // A small subtree is always filed at once.
    controlFill.walkSlice(clock, kControlFillSliceMs, kControlFillLinesAtOnce, &filed,
                          [this](const QModelIndex& line, int layer) {
                              fileControlLine(structureModel->itemFromIndex(line), layer);
                          });
    if (!controlFill.done()) {
        // The rest after the window has drawn and taken its input.
        controlFillSlice.schedule();
    }
}

void Iec61850View::restartControlFill() {
    if (controlFill.done()) {
        return;
    }
    const QModelIndex top = controlFill.top();
    const int layer = controlFill.topLayer();
    controlFill = SubtreeWalk();
    if (!top.isValid()) {
        return;
    }
    controlModel->resetTree();
    enableDisableButton->setDisabled(true);
    controlButton->setDisabled(true);
    selectedRefs.clear();
    updateControlBox(structureModel->itemFromIndex(top), layer);
}

void Iec61850View::fileControlLine(QStandardItem* item, int layer) {
    const QString ref = structureModel->referenceOf(item);
    selectedRefs.append(ref);
    const QString text = item->data(Qt::DisplayRole).toString();
    controlModel->addItem(text, ref, layer);
    const QString value = valueText(item);
    controlModel->setValue(ref, value, false);

    // A line filed just now is collapsed.
    if (structureView->isExpanded(item->index())) {
        if (QStandardItem* copy = controlModel->itemOf(ref)) {
            controlView->setExpanded(copy->index(), true);
        }
    }

    if (layer == 2 && text.contains(kReportEnableTag)) {
        enableDisableButton->setEnabled(true);
        enableDisableButton->setText(enableCaption(value));
        selectedRcbFc = extractFc(text).mid(1, 2);
    }

    if (layer == 1 && text.contains("[CO] Oper")) {
        const QString objectRef = structureModel->referenceOf(item->parent());
        controlDialog->setObjectReference(objectRef);
        const QStandardItem* sboTimeoutLine =
            structureModel->itemOf(objectRef + QStringLiteral(".sboTimeout"));
        controlDialog->setSelectionTimeout(
            sboTimeoutLine != nullptr ? valueText(sboTimeoutLine).section(' ', 0, 0).toInt() : 0);
        const QStandardItem* stValLine = structureModel->itemOf(objectRef + QStringLiteral(".stVal"));
        const QString stVal = stValLine != nullptr ? valueText(stValLine) : QString();
        // A boolean shows as 0 or 1, a double-point position as its two bits.
        controlDialog->setStatusKind(stVal.startsWith(QLatin1String("0b"))
                                         ? ControlDialog::StatusKind::DoublePoint
                                     : stVal == QLatin1String("0") || stVal == QLatin1String("1")
                                         ? ControlDialog::StatusKind::SinglePoint
                                         : ControlDialog::StatusKind::Unknown);
        QStringList parts = ref.split('.', Qt::KeepEmptyParts);
        parts.last() = "ctlModel";
        const QStandardItem* ctlModelLine = structureModel->itemOf(parts.join('.'));
        const QString ctlModelText = ctlModelLine != nullptr ? valueText(ctlModelLine) : QString();
        controlButton->setEnabled(true);
        static const QStringList kModelNames{"Status only", "Direct with normal security",
                                             "Sbo with normal security", "Direct with enhanced security",
                                             "Sbo with enhanced security"};
        for (int code = 0; code < kModelNames.size(); ++code) {
            if (ctlModelText.contains(kModelNames.at(code))) {
                controlDialog->setCtlModel(code);
                break;
            }
        }
    }
}

void Iec61850View::controlResultArrived(bool success, const QString& text) {
    controlDialog->showResult(success, text);
    // Refusals are on the status bar, which logs them; a negative termination is told there as an
    // operate failure, so its own wording goes to the log as well.
    if (success || text.startsWith(QLatin1String("Command terminated"))) {
        emit logMessage(text);
    }
}

void Iec61850View::controlOperateDone(const QString& controllableDataObjectRef) {
    readyCheck->setChecked(false);
    const QString nodeRef = controllableDataObjectRef.split('.', Qt::KeepEmptyParts).first();
    // Ready stays off until the re-read is in, also while it has not started.
    ++operateRereadsDue;
    QTimer::singleShot(kReadAfterOperateMs, this, [this, nodeRef]() {
        --operateRereadsDue;
        readAllValues(nodeRef);
    });
}

}  // namespace iec61850
