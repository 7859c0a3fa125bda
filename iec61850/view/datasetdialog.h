#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

class QStandardItem;

namespace iec61850 {

class TreeModel;

// The member reference a structure tree line stands for ("LD/LN.DO.DA[FC]"), or empty for a line
// that cannot be one: lines without a constraint (devices, nodes, data objects), data set members and
// the attributes of control blocks.
QString dataSetMemberOf(const QString& lineText, const QString& ref);

// Whether a structure tree line is a data set: its member lines name whole references.
bool isDataSetLine(const TreeModel& model, QStandardItem* line);

// "New data set...": the lines below the chosen one that can be members, to tick, the set's name,
// the logical node that keeps it (or none: only for this connection).
class DataSetDialog : public QDialog {
    Q_OBJECT

public:
    // candidates: member references in tree order; logicalNodes: "LD/LN", the first one chosen.
    DataSetDialog(const QStringList& candidates, const QStringList& logicalNodes, QWidget* parent = nullptr);

    // "LD/LN.name", or "@name" for a set of this connection only; empty while the name is not usable.
    QString dataSetReference() const;
    QStringList chosenMembers() const;

    // A name the devices take: a letter, then letters, digits or '_', 32 at most.
    static bool isUsableName(const QString& name);

private:
    void refreshOk();

    QLineEdit* nameEdit;
    QComboBox* nodeCombo;
    QCheckBox* temporaryCheck;
    QListWidget* memberList;
    QPushButton* okButton;
};

}  // namespace iec61850
