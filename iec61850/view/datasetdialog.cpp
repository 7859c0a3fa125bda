#include "datasetdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardItem>
#include <QVBoxLayout>

#include "treemodel.h"

namespace iec61850 {

namespace {

// Constraints of control blocks: their attributes configure the block and are no data to collect.
const QStringList kBlockConstraints{"RP", "BR", "LG", "GO", "GS", "MS", "US"};

}  // namespace

QString dataSetMemberOf(const QString& lineText, const QString& ref) {
    static const QRegularExpression bracket(QStringLiteral("^\\[([A-Z]{2})\\] "));
    const QRegularExpressionMatch match = bracket.match(lineText);
    // A member line of a data set carries the member's whole reference after the set's own.
    if (!match.hasMatch() || kBlockConstraints.contains(match.captured(1)) || ref.count('/') != 1) {
        return QString();
    }
    return ref + '[' + match.captured(1) + ']';
}

bool isDataSetLine(const TreeModel& model, QStandardItem* line) {
    if (line == nullptr || line->rowCount() == 0 || !line->text().startsWith(' ')) {
        return false;
    }
    const QString member = model.referenceOf(line->child(0, 0));
    return member.count('/') == 2 && member.startsWith(model.referenceOf(line) + '.');
}

bool DataSetDialog::isUsableName(const QString& name) {
    static const QRegularExpression usable(QStringLiteral("^[A-Za-z][A-Za-z0-9_]{0,31}$"));
    return usable.match(name).hasMatch();
}

DataSetDialog::DataSetDialog(const QStringList& candidates, const QStringList& logicalNodes, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(tr("New data set"));
    nameEdit = new QLineEdit;
    nameEdit->setObjectName("dataSetNameEdit");
    nodeCombo = new QComboBox;
    nodeCombo->setObjectName("dataSetNodeCombo");
    nodeCombo->addItems(logicalNodes);
    temporaryCheck = new QCheckBox(tr("Only for this connection"));
    temporaryCheck->setObjectName("dataSetTemporaryCheck");
    temporaryCheck->setToolTip(tr("The device forgets the data set when the connection ends"));
    memberList = new QListWidget;
    memberList->setObjectName("dataSetMemberList");
    for (const QString& candidate : candidates) {
        auto* item = new QListWidgetItem(candidate, memberList);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    okButton = buttons->button(QDialogButtonBox::Ok);
    okButton->setText(tr("Create"));

    auto* form = new QFormLayout;
    form->addRow(tr("Name:"), nameEdit);
    form->addRow(tr("Logical node:"), nodeCombo);
    form->addRow(QString(), temporaryCheck);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(new QLabel(tr("Members (in this order):")));
    layout->addWidget(memberList);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(nameEdit, &QLineEdit::textChanged, this, &DataSetDialog::refreshOk);
    connect(memberList, &QListWidget::itemChanged, this, &DataSetDialog::refreshOk);
    connect(temporaryCheck, &QCheckBox::toggled, this, [this](bool temporary) {
        nodeCombo->setDisabled(temporary);
        refreshOk();
    });
    refreshOk();
}

QString DataSetDialog::dataSetReference() const {
    const QString name = nameEdit->text();
    if (!isUsableName(name)) {
        return QString();
    }
    if (temporaryCheck->isChecked()) {
        return '@' + name;
    }
    return nodeCombo->currentText().isEmpty() ? QString() : nodeCombo->currentText() + '.' + name;
}

QStringList DataSetDialog::chosenMembers() const {
    QStringList members;
    for (int row = 0; row < memberList->count(); ++row) {
        if (memberList->item(row)->checkState() == Qt::Checked) {
            members << memberList->item(row)->text();
        }
    }
    return members;
}

void DataSetDialog::refreshOk() {
    okButton->setEnabled(!dataSetReference().isEmpty() && !chosenMembers().isEmpty());
}

}  // namespace iec61850
