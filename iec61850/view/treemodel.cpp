#include "treemodel.h"

#include <QBrush>
#include <QColor>
#include <QPersistentModelIndex>
#include <QStandardItem>
#include <QTimer>

#include <utility>

#include "linedisposal.h"
#include "naturalorder.h"
#include "valuemeaning.h"

namespace iec61850 {

namespace {

const QString kRootName = QStringLiteral("rootItem");
const QColor kHighlightColour(Qt::darkCyan);
const QColor kPlainColour(QStringLiteral("#2d2d2d"));

}  // namespace

TreeModel::TreeModel(QObject* parent)
    : QStandardItemModel(parent),
      rootSentinel(new QStandardItem("Root")),
      highlightTimer(new QTimer(this)),
      disposal(new LineDisposal(this)) {
    itemStack.append(rootSentinel);
    nameStack.append(kRootName);
    highlightClock.start();
    highlightTimer->setInterval(kHighlightRevertTickMs);
    connect(highlightTimer, &QTimer::timeout, this, &TreeModel::revertHighlights);
}

TreeModel::~TreeModel() {
    delete rootSentinel;
}

void TreeModel::addItem(const QString& name, const QString& ref, int layer) {
    if (layer < 1 || itemStack.size() < layer) {
        return;
    }
    while (itemStack.size() > layer) {
        itemStack.removeLast();
        nameStack.removeLast();
    }

    // The stack may still name an item whose row was removed meanwhile, so it is only ever compared
    // with the sentinel; the parent itself is found through the index.
    QStandardItem* parent = nullptr;
    if (itemStack.last() != rootSentinel) {
        parent = itemByRef.value(nameStack.last());
        if (parent == nullptr) {
            // The parent's reference was forgotten: its row is gone or leaving, so its children have
            // nowhere to go. Not pushing the line also drops its own descendants.
            return;
        }
    }

    auto* nameItem = new QStandardItem(name);
    // Lines only ever join at the end, so the count so far is the line's place in the device's order.
    nameItem->setData(parent == nullptr ? rowCount() : parent->rowCount(), NaturalOrder::kDeviceOrderRole);
    QList<QStandardItem*> row{nameItem, new QStandardItem()};
    if (parent == nullptr) {
        appendRow(row);
    } else {
        parent->insertRow(parent->rowCount(), row);
    }

    itemByRef.insert(ref, nameItem);
    refByItem.insert(nameItem, ref);
    itemStack.append(nameItem);
    nameStack.append(ref);

    if (parent != nullptr) {
        setValue(ref, QString(), false);
    }
}

bool TreeModel::addChild(const QString& parentRef, const QString& name, const QString& ref) {
    QStandardItem* parent = itemByRef.value(parentRef);
    if (parent == nullptr) {
        return false;
    }
    auto* nameItem = new QStandardItem(name);
    nameItem->setData(parent->rowCount(), NaturalOrder::kDeviceOrderRole);
    parent->appendRow({nameItem, new QStandardItem()});
    itemByRef.insert(ref, nameItem);
    refByItem.insert(nameItem, ref);
    setValue(ref, QString(), false);
    return true;
}

void TreeModel::setValue(const QString& ref, const QString& value, bool highlight) {
    QString text = value;
    if (text.isEmpty()) {
        text = lastValueByRef.value(ref);
        if (text.isEmpty()) {
            return;
        }
    }
    lastValueByRef.insert(ref, text);

    QStandardItem* nameItem = itemByRef.value(ref);
    if (nameItem == nullptr) {
        return;
    }
    QStandardItem* parent = nameItem->parent();
    QStandardItem* valueItem =
        parent != nullptr ? parent->child(nameItem->row(), 1) : item(nameItem->row(), 1);
    if (valueItem == nullptr) {
        return;
    }
    // A poll mostly brings values that have not changed; their tooltip has not either.
    if (!highlight && valueItem->data(Qt::DisplayRole).toString() == text) {
        return;
    }
    valueItem->setData(text, Qt::EditRole);
    const QString meaning = valueMeaning(ref, text);
    valueItem->setData(meaning.isEmpty() ? QVariant() : QVariant(meaning), Qt::ToolTipRole);
    if (highlight) {
        highlightPath(nameItem);
    }
}

void TreeModel::highlightPath(QStandardItem* item) {
    const qint64 until = highlightClock.elapsed() + kHighlightMs;
    for (QStandardItem* it = item; it != nullptr && it->parent() != nullptr; it = it->parent()) {
        const auto found = highlights.find(it);
        if (found != highlights.end() && found->index.isValid()) {
            found->untilMs = until;
            continue;
        }
        // Also when an item of a removed line left its address to this one: that entry is stale.
        it->setData(QBrush(kHighlightColour), Qt::BackgroundRole);
        highlights.insert(it, Highlight{QPersistentModelIndex(it->index()), until});
    }
    if (!highlights.isEmpty() && !highlightTimer->isActive()) {
        highlightTimer->start();
    }
}

void TreeModel::revertHighlights() {
    const qint64 now = highlightClock.elapsed();
    for (auto it = highlights.begin(); it != highlights.end();) {
        if (!it->index.isValid()) {
            it = highlights.erase(it);
        } else if (it->untilMs <= now) {
            setData(it->index, QBrush(kPlainColour), Qt::BackgroundRole);
            it = highlights.erase(it);
        } else {
            ++it;
        }
    }
    if (highlights.isEmpty()) {
        highlightTimer->stop();
    }
}

void TreeModel::forgetItem(QStandardItem* item) {
    if (item == nullptr) {
        return;
    }
    const auto found = refByItem.find(item);
    if (found != refByItem.end()) {
        // Only unindex the reference if it still points here: a later line with the same reference
        // stays reachable.
        const auto byRef = itemByRef.find(found.value());
        if (byRef != itemByRef.end() && byRef.value() == item) {
            itemByRef.erase(byRef);
        }
        refByItem.erase(found);
    }
    for (int row = 0; row < item->rowCount(); ++row) {
        forgetItem(item->child(row, 0));
    }
}

void TreeModel::removeItem(const QModelIndex& index) {
    QStandardItem* item = itemFromIndex(index);
    if (item == nullptr) {
        return;
    }
    forgetItem(item);
    removeRow(index.row(), index.parent());
}

void TreeModel::resetTree() {
    itemStack.clear();
    nameStack.clear();
    // A device's tree has thousands of lines: they leave the model at once and are freed a slice at a
    // time on later turns of the event loop, so that emptying the tree never holds up the window.
    disposal->takeContainer(std::exchange(itemByRef, {}));
    disposal->takeContainer(std::exchange(refByItem, {}));
    disposal->takeContainer(std::exchange(lastValueByRef, {}));
    for (int row = rowCount() - 1; row >= 0; --row) {
        disposal->takeRow(takeRow(row));
    }
    // The sentinel is never inserted into the model and never gains children, so it can be reused.
    itemStack.append(rootSentinel);
    nameStack.append(kRootName);
}

QString TreeModel::referenceOf(QStandardItem* item) const {
    return refByItem.value(item);
}

QStandardItem* TreeModel::itemOf(const QString& ref) const {
    return itemByRef.value(ref);
}

}  // namespace iec61850
