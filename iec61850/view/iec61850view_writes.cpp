#include "iec61850view.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QShortcut>
#include <QStandardItem>
#include <QTreeView>

#include "iec61850network.h"
#include "objectreference.h"
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

}  // namespace

void Iec61850View::makeWriteActions() {
    writeDialog = new WriteValueDialog(this);
    connect(writeDialog, &WriteValueDialog::describeValue, network, &Iec61850Network::describeValue);
    connect(writeDialog, &WriteValueDialog::writeValue, network, &Iec61850Network::writeValue);
    connect(network, &Iec61850Network::valueDescribed, writeDialog, &WriteValueDialog::valueDescribed);

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
    if (!isWritableLine(line) || statusEdit->text() != kStateConnected) {
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
    menu.exec(tree->viewport()->mapToGlobal(pos));
}

}  // namespace iec61850
