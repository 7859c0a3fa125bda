#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QPersistentModelIndex>
#include <QStandardItemModel>
#include <QString>
#include <QStringList>

class QStandardItem;
class QTimer;

namespace iec61850 {

class LineDisposal;

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
    // A line added after the walk, as the last child of the line of parentRef; false when that line
    // is not there.
    bool addChild(const QString& parentRef, const QString& name, const QString& ref);
    void forgetItem(QStandardItem* item);
    void resetTree();

    QString referenceOf(QStandardItem* item) const;
    QStandardItem* itemOf(const QString& ref) const;

    static constexpr int kHighlightMs = 3000;
    // How often coloured lines whose time is up are reverted.
    static constexpr int kHighlightRevertTickMs = 100;

private:
    struct Highlight {
        QPersistentModelIndex index;  // turns invalid when the line goes
        qint64 untilMs = 0;
    };
    void highlightPath(QStandardItem* item);
    void revertHighlights();

    QStandardItem* rootSentinel;
    QList<QStandardItem*> itemStack;
    QStringList nameStack;
    QHash<QString, QStandardItem*> itemByRef;
    QHash<QStandardItem*, QString> refByItem;
    QHash<QString, QString> lastValueByRef;
    // Lines coloured by a recent value. A line flashed again only has its time extended, so a storm of
    // reports costs neither a timer nor a repaint per value. Keyed by the item, which is never
    // dereferenced: only the index says whether the line is still there.
    QHash<const QStandardItem*, Highlight> highlights;
    QElapsedTimer highlightClock;
    QTimer* highlightTimer;
    LineDisposal* disposal;  // lines and indexes of trees emptied, still being freed
};

}  // namespace iec61850
