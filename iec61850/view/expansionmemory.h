#pragma once

#include <QObject>
#include <QSet>
#include <QString>

class QModelIndex;
class QTreeView;

namespace iec61850 {

class TreeModel;

// Keeps the lines a person had expanded across a reconnect to the same device: the expanded references
// are taken before the tree is emptied and each line is expanded again once its first child arrives.
class ExpansionMemory : public QObject {
public:
    ExpansionMemory(QTreeView* view, TreeModel* model);

    // Called before the tree is emptied for a new connection to `device`; another device forgets the
    // lines remembered so far.
    void connecting(const QString& device);

    QSet<QString> expandedReferences() const;

private:
    void rowsArrived(const QModelIndex& parent);

    QTreeView* view;
    TreeModel* model;
    QString currentDevice;
    QSet<QString> remembered;
};

}  // namespace iec61850
