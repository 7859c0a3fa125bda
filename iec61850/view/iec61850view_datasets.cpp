// Data sets made and deleted from the structure tree: "New data set..." offers the lines below the
// chosen one as members, "Delete data set" removes the chosen set; the tree follows what the device
// did, so the new set is there to be chosen like any other.
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItem>
#include <QTreeView>

#include "datasetdialog.h"
#include "iec61850network.h"
#include "iec61850view.h"
#include "treemodel.h"
#include "viewdetail.h"

namespace iec61850 {

using namespace viewdetail;

namespace {

void collectMembers(const TreeModel& model, QStandardItem* line, QStringList* members) {
    const QString member = dataSetMemberOf(line->text(), model.referenceOf(line));
    if (!member.isEmpty()) {
        members->append(member);
    }
    if (isDataSetLine(model, line)) {
        return;
    }
    for (int row = 0; row < line->rowCount(); ++row) {
        collectMembers(model, line->child(row, 0), members);
    }
}

// The logical node lines ("LD/LN") of the tree, in tree order.
QStringList logicalNodesOf(const TreeModel& model) {
    QStringList nodes;
    QStandardItem* root = model.invisibleRootItem();
    for (int device = 0; device < root->rowCount(); ++device) {
        QStandardItem* deviceLine = root->child(device, 0);
        for (int node = 0; node < deviceLine->rowCount(); ++node) {
            nodes << model.referenceOf(deviceLine->child(node, 0));
        }
    }
    return nodes;
}

QStandardItem* chosenLine(const TreeModel& model, const QTreeView& view) {
    return model.itemFromIndex(view.currentIndex().siblingAtColumn(0));
}

}  // namespace

void Iec61850View::makeDataSetActions() {
    newDataSetButton = new QPushButton(tr("New data set..."));
    newDataSetButton->setObjectName("newDataSetButton");
    newDataSetButton->setToolTip(tr("Make a data set on the device from attributes below the chosen line"));
    deleteDataSetButton = new QPushButton(tr("Delete data set"));
    deleteDataSetButton->setObjectName("deleteDataSetButton");
    deleteDataSetButton->setToolTip(
        tr("Delete the chosen data set; the device keeps the ones it was configured with"));
    connect(newDataSetButton, &QPushButton::clicked, this, &Iec61850View::newDataSetClicked);
    connect(deleteDataSetButton, &QPushButton::clicked, this, &Iec61850View::deleteDataSetClicked);
    connect(this, &Iec61850View::createDataSet, network, &Iec61850Network::createDataSet);
    connect(this, &Iec61850View::deleteDataSet, network, &Iec61850Network::deleteDataSet);
    connect(network, &Iec61850Network::dataSetCreated, this, &Iec61850View::dataSetCreated);
    connect(network, &Iec61850Network::dataSetDeleted, this, &Iec61850View::dataSetDeleted);
}

void Iec61850View::newDataSetClicked() {
    if (statusEdit->text() != kStateConnected) {
        emit setStatusBarMessage(tr("New data set: connect first"));
        return;
    }
    QStandardItem* line = chosenLine(*structureModel, *structureView);
    QStringList candidates;
    if (line != nullptr) {
        collectMembers(*structureModel, line, &candidates);
    }
    if (candidates.isEmpty()) {
        emit setStatusBarMessage(tr("New data set: choose a line with attributes below it"));
        return;
    }
    QStringList nodes = logicalNodesOf(*structureModel);
    // The node of the chosen line comes first.
    const QString chosenNode = candidates.first().section('.', 0, 0);
    nodes.removeAll(chosenNode);
    nodes.prepend(chosenNode);
    auto* dialog = new DataSetDialog(candidates, nodes, this);
    dialog->setObjectName("dataSetDialog");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this,
            [this, dialog] { emit createDataSet(dialog->dataSetReference(), dialog->chosenMembers()); });
    dialog->open();
}

void Iec61850View::deleteDataSetClicked() {
    QStandardItem* line = chosenLine(*structureModel, *structureView);
    if (statusEdit->text() != kStateConnected || !isDataSetLine(*structureModel, line)) {
        emit setStatusBarMessage(tr("Delete data set: choose a data set line"));
        return;
    }
    emit deleteDataSet(structureModel->referenceOf(line));
}

void Iec61850View::dataSetCreated(const QString& dataSetRef, const QStringList& memberRefs) {
    emit setStatusBarMessage(tr("Data set %1 created").arg(dataSetRef));
    // A set of this connection only belongs to no logical node, so it has no line.
    const int dot = dataSetRef.lastIndexOf('.');
    if (dataSetRef.startsWith('@') || dot < 0 ||
        !structureModel->addChild(dataSetRef.left(dot), ' ' + dataSetRef.mid(dot + 1), dataSetRef)) {
        return;
    }
    for (const QString& member : memberRefs) {
        // Shown as discovery shows members: "[FC] LD/LN.DO.DA" under "set.LD/LN.DO.DA".
        const int bracket = member.lastIndexOf('[');
        const QString plain = member.left(bracket);
        structureModel->addChild(dataSetRef, member.mid(bracket) + ' ' + plain, dataSetRef + '.' + plain);
    }
}

void Iec61850View::dataSetDeleted(const QString& dataSetRef) {
    emit setStatusBarMessage(tr("Data set %1 deleted").arg(dataSetRef));
    if (QStandardItem* line = structureModel->itemOf(dataSetRef)) {
        structureModel->removeItem(line->index());
    }
}

}  // namespace iec61850
