#include "iec61850view.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QShortcut>
#include <QStandardItem>
#include <QTreeView>

#include "iec61850network.h"
#include "objectreference.h"
#include "reportcontrolblockdialog.h"
#include "settinggroupdialog.h"
#include "substitutiondialog.h"
#include "treemodel.h"
#include "writevaluedialog.h"

#include "viewdetail.h"

namespace iec61850 {

using namespace viewdetail;

namespace {

// The two letters of a line's constraint, "" for a line without one.
QString fcOfLine(const QStandardItem* line) {
    return extractFc(line->text()).mid(1, 2);
}

// A value the user may change: a leaf attribute of the model (not a data set's member, whose line names
// the attribute elsewhere) under a constraint the device lets a client write. ST, MX and SG are the
// device's own, CO goes through the control services.
bool isWritableLine(const QStandardItem* line) {
    if (line == nullptr || line->rowCount() > 0) {
        return false;
    }
    const QString fc = fcOfLine(line);
    static const QStringList kReadOnly{"ST", "MX", "SG", "CO"};
    if (fc.isEmpty() || kReadOnly.contains(fc)) {
        return false;
    }
    return !line->text().contains(QLatin1Char('/'));
}

TreeModel* treeOf(QTreeView* view) {
    return static_cast<TreeModel*>(view->model());
}

// The constraint of a report control block's line (RP or BR), "" for any other line.
QString reportBlockFc(const QStandardItem* line) {
    for (int row = 0; line != nullptr && row < line->rowCount(); ++row) {
        const QStandardItem* child = line->child(row, 0);
        if (child->rowCount() == 0 && child->text().endsWith(QLatin1String("] ") + kReportEnableTag)) {
            const QString fc = fcOfLine(child);
            if (fc == QLatin1String("RP") || fc == QLatin1String("BR")) {
                return fc;
            }
        }
    }
    return QString();
}

// The setting group control block a line stands for: the block's own line, or the logical node that
// holds it; null for any other line.
QStandardItem* settingGroupBlock(QStandardItem* line) {
    const auto isBlock = [](const QStandardItem* item) {
        for (int row = 0; item != nullptr && row < item->rowCount(); ++row) {
            if (item->child(row, 0)->text() == QLatin1String("[SP] ActSG")) {
                return true;
            }
        }
        return false;
    };
    if (isBlock(line)) {
        return line;
    }
    for (int row = 0; line != nullptr && row < line->rowCount(); ++row) {
        if (isBlock(line->child(row, 0))) {
            return line->child(row, 0);
        }
    }
    return nullptr;
}

// The settings of a logical device: the leaf lines it shows under SG.
void collectSettings(const TreeModel* model, QStandardItem* parent, QStringList* refs, QStringList* values) {
    for (int row = 0; row < parent->rowCount(); ++row) {
        QStandardItem* child = parent->child(row, 0);
        if (child->rowCount() == 0 && fcOfLine(child) == QLatin1String("SG") &&
            !child->text().contains(QLatin1Char('/'))) {
            refs->append(model->referenceOf(child));
            values->append(valueText(child));
        }
        collectSettings(model, child, refs, values);
    }
}

// A data object that can be substituted: it has subEna among its attributes.
bool isSubstitutable(const QStandardItem* line) {
    for (int row = 0; line != nullptr && row < line->rowCount(); ++row) {
        if (line->child(row, 0)->text() == QLatin1String("[SV] subEna")) {
            return true;
        }
    }
    return false;
}

// The data sets the walk found, as a control block names them (LD/LN$DS): lines whose members name
// attributes elsewhere in the model.
void collectDataSets(const TreeModel* model, const QStandardItem* parent, QStringList* dataSets) {
    for (int row = 0; row < parent->rowCount(); ++row) {
        const QStandardItem* child = parent->child(row, 0);
        if (child->rowCount() > 0 && child->child(0, 0)->text().contains(QLatin1Char('/'))) {
            QString ref = model->referenceOf(const_cast<QStandardItem*>(child));
            const int dot = ref.lastIndexOf(QLatin1Char('.'));
            if (dot > 0) {
                ref[dot] = QLatin1Char('$');
            }
            dataSets->append(ref);
            continue;
        }
        collectDataSets(model, child, dataSets);
    }
}

// The dialog's reads go to the engine, and every answer comes back to it; with `writes`, its value
// writes and their answers too.
void connectObjectValues(Iec61850Network* network, ObjectValuesDialog* dialog, bool writes) {
    QObject::connect(dialog, &ObjectValuesDialog::readObjectValues, network,
                     &Iec61850Network::readObjectValues);
    QObject::connect(network, &Iec61850Network::objectValuesRead, dialog,
                     &ObjectValuesDialog::objectValuesRead);
    if (writes) {
        QObject::connect(dialog, &ObjectValuesDialog::writeValue, network, &Iec61850Network::writeValue);
        QObject::connect(network, &Iec61850Network::valueWritten, dialog, &ObjectValuesDialog::valueWritten);
    }
}

}  // namespace

void Iec61850View::makeWriteActions() {
    writeDialog = new WriteValueDialog(this);
    connect(writeDialog, &WriteValueDialog::describeValue, network, &Iec61850Network::describeValue);
    connect(writeDialog, &WriteValueDialog::writeValue, network, &Iec61850Network::writeValue);
    connect(network, &Iec61850Network::valueDescribed, writeDialog, &WriteValueDialog::valueDescribed);

    rcbDialog = new ReportControlBlockDialog(this);
    connectObjectValues(network, rcbDialog, false);
    connect(rcbDialog, &ReportControlBlockDialog::writeReportControlBlock, network,
            &Iec61850Network::writeReportControlBlock);
    connect(network, &Iec61850Network::reportControlBlockWritten, rcbDialog,
            &ReportControlBlockDialog::reportControlBlockWritten);

    settingGroupDialog = new SettingGroupDialog(this);
    connectObjectValues(network, settingGroupDialog, true);

    substitutionDialog = new SubstitutionDialog(this);
    connectObjectValues(network, substitutionDialog, true);

    // Like the control dialog, these act on one association and go with it.
    connect(network, &Iec61850Network::connectionStateChanged, this, [this](bool connected) {
        if (!connected) {
            writeDialog->hide();
            rcbDialog->hide();
            settingGroupDialog->hide();
            substitutionDialog->hide();
        }
    });

    for (QTreeView* tree : {structureView, controlView}) {
        tree->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(tree, &QTreeView::customContextMenuRequested, this,
                [this, tree](const QPoint& pos) { showLineMenu(tree, pos); });
        connect(tree, &QTreeView::doubleClicked, this,
                [this, tree](const QModelIndex& index) { startWrite(tree, index); });
        auto* edit = new QShortcut(QKeySequence(Qt::Key_F2), tree, nullptr, nullptr, Qt::WidgetShortcut);
        connect(edit, &QShortcut::activated, this, [this, tree] { startWrite(tree, tree->currentIndex()); });
    }
}

void Iec61850View::startWrite(QTreeView* tree, const QModelIndex& index) {
    TreeModel* model = treeOf(tree);
    QStandardItem* line = model->itemFromIndex(index.siblingAtColumn(0));
    if (statusEdit->text() != kStateConnected) {
        return;
    }
    if (!reportBlockFc(line).isEmpty()) {
        openReportBlock(model, line);
        return;
    }
    if (!isWritableLine(line)) {
        return;
    }
    writeDialog->ask(model->referenceOf(line), fcOfLine(line), valueText(line));
}

void Iec61850View::showLineMenu(QTreeView* tree, const QPoint& pos) {
    const QModelIndex index = tree->indexAt(pos);
    QStandardItem* line = treeOf(tree)->itemFromIndex(index.siblingAtColumn(0));
    if (line == nullptr) {
        return;
    }
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("lineMenu"));
    QAction* write = menu.addAction(tr("Write value..."));
    write->setEnabled(isWritableLine(line) && statusEdit->text() == kStateConnected);
    connect(write, &QAction::triggered, this, [this, tree, index] { startWrite(tree, index); });
    const bool connected = statusEdit->text() == kStateConnected;
    if (!reportBlockFc(line).isEmpty()) {
        QAction* block = menu.addAction(tr("Report control block..."));
        block->setEnabled(connected);
        connect(block, &QAction::triggered, this,
                [this, tree, line] { openReportBlock(treeOf(tree), line); });
    }
    if (QStandardItem* sgcb = settingGroupBlock(line)) {
        QAction* groups = menu.addAction(tr("Setting groups..."));
        groups->setEnabled(connected);
        const QString sgcbRef = treeOf(tree)->referenceOf(sgcb);
        connect(groups, &QAction::triggered, this, [this, sgcbRef] { openSettingGroups(sgcbRef); });
    }
    if (isSubstitutable(line)) {
        QAction* substitute = menu.addAction(tr("Substitute..."));
        substitute->setEnabled(connected);
        const QString objectRef = treeOf(tree)->referenceOf(line);
        connect(substitute, &QAction::triggered, this,
                [this, objectRef] { substitutionDialog->showObject(objectRef); });
    }
    menu.exec(tree->viewport()->mapToGlobal(pos));
}

void Iec61850View::openReportBlock(TreeModel* model, QStandardItem* line) {
    QStringList dataSets;
    collectDataSets(structureModel, structureModel->invisibleRootItem(), &dataSets);
    rcbDialog->showBlock(model->referenceOf(line), reportBlockFc(line), dataSets);
}

void Iec61850View::openSettingGroups(const QString& sgcbRef) {
    QStandardItem* device = structureModel->itemOf(sgcbRef);
    while (device != nullptr && device->parent() != nullptr) {
        device = device->parent();
    }
    QStringList refs;
    QStringList values;
    if (device != nullptr) {
        collectSettings(structureModel, device, &refs, &values);
    }
    settingGroupDialog->showBlock(sgcbRef, refs, values);
}

}  // namespace iec61850
