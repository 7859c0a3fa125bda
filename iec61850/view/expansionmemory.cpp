#include "expansionmemory.h"

#include <QStandardItem>
#include <QTreeView>

#include "treemodel.h"

namespace iec61850 {

namespace {

void collectExpanded(const QTreeView* view, const TreeModel* model, QStandardItem* parent,
                     QSet<QString>& refs) {
    for (int row = 0; row < parent->rowCount(); ++row) {
        QStandardItem* line = parent->child(row, 0);
        if (line->hasChildren() && view->isExpanded(line->index())) {
            refs.insert(model->referenceOf(line));
            collectExpanded(view, model, line, refs);
        }
    }
}

}  // namespace

ExpansionMemory::ExpansionMemory(QTreeView* view, TreeModel* model)
    : QObject(view), view(view), model(model) {
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex& parent, int, int) { rowsArrived(parent); });
}

void ExpansionMemory::connecting(const QString& device) {
    if (device == currentDevice) {
        // A tree left empty by a failed attempt keeps what the last browse had open.
        if (model->rowCount() > 0) {
            remembered = expandedReferences();
        }
    } else {
        remembered.clear();
    }
    currentDevice = device;
}

QSet<QString> ExpansionMemory::expandedReferences() const {
    QSet<QString> refs;
    collectExpanded(view, model, model->invisibleRootItem(), refs);
    return refs;
}

void ExpansionMemory::rowsArrived(const QModelIndex& parent) {
    if (!parent.isValid() || remembered.isEmpty() || view->isExpanded(parent)) {
        return;
    }
    if (remembered.contains(model->referenceOf(model->itemFromIndex(parent)))) {
        view->expand(parent);
    }
}

}  // namespace iec61850
