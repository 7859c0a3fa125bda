#pragma once

#include <QHash>
#include <QList>
#include <QStandardItemModel>
#include <QString>
#include <QStringList>

class QStandardItem;

namespace iec61850 {

// Two-column tree (name, value) built from layered lines: a line of layer k becomes the last child of
// the most recent line of layer k - 1. Lines and values are tied together by their reference text, so a
// value may arrive before or after the line it belongs to.
class TreeModel : public QStandardItemModel {
public:
    explicit TreeModel(QObject* parent = nullptr);
    ~TreeModel() override;

    void addItem(const QString& name, const QString& ref, int layer);
    // An empty value re-shows the last value known for ref. With highlight, the path from the line up
    // to (not including) its top-level ancestor is coloured for a few seconds.
    void setValue(const QString& ref, const QString& value, bool highlight);
    void removeItem(const QModelIndex& index);
    void forgetItem(QStandardItem* item);
    void resetTree();

    QString referenceOf(QStandardItem* item) const;
    QStandardItem* itemOf(const QString& ref) const;

    static constexpr int kHighlightMs = 3000;

private:
    void highlightPath(QStandardItem* item);

    QStandardItem* rootSentinel;
    QList<QStandardItem*> itemStack;
    QStringList nameStack;
    QHash<QString, QStandardItem*> itemByRef;
    QHash<QStandardItem*, QString> refByItem;
    QHash<QString, QString> lastValueByRef;
};

}  // namespace iec61850
