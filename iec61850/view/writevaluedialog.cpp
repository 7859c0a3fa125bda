#include "writevaluedialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogparts.h"
#include "valueeditor.h"
#include "writeconfirmation.h"

namespace iec61850 {

WriteValueDialog::WriteValueDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("writeValueDialog"));
    setWindowTitle(tr("Write value"));
    referenceLabel = new QLabel;
    referenceLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    oldValueLabel = new QLabel;
    noteLabel = dialogparts::namedLabel("writeNote", true);
    editorSlot = new QVBoxLayout;

    auto* buttons = new QDialogButtonBox;
    writeButton = buttons->addButton(tr("Write"), QDialogButtonBox::AcceptRole);
    writeButton->setObjectName(QStringLiteral("writeButton"));
    buttons->addButton(QDialogButtonBox::Cancel);
    connect(writeButton, &QPushButton::clicked, this, &WriteValueDialog::writeClicked);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(tr("Reference:"), referenceLabel);
    form->addRow(tr("Current value:"), oldValueLabel);
    form->addRow(tr("New value:"), editorSlot);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(noteLabel);
    layout->addWidget(buttons);
}

void WriteValueDialog::ask(const QString& reference, const QString& constraint, const QString& shownValue) {
    ref = reference;
    fc = constraint;
    oldValue = shownValue;
    referenceLabel->setText(QStringLiteral("%1 [%2]").arg(ref, fc));
    oldValueLabel->setText(shownValue);
    delete valueEditor;
    valueEditor = nullptr;
    writeButton->setEnabled(false);
    noteLabel->setText(tr("Asking the device for the type..."));
    show();
    raise();
    emit describeValue(ref, fc);
}

void WriteValueDialog::valueDescribed(const QString& reference, const QString& constraint, int mmsType,
                                      int size, const QString& error) {
    if (reference != ref || constraint != fc || valueEditor != nullptr) {
        return;  // an answer for an attribute asked before
    }
    if (!error.isEmpty()) {
        noteLabel->setText(tr("The device gave no type: %1").arg(error));
        return;
    }
    valueEditor = ValueEditor::create(ref, mmsType, size, oldValue, this);
    if (valueEditor == nullptr) {
        noteLabel->setText(tr("Values of this type cannot be edited here."));
        return;
    }
    valueEditor->setObjectName(QStringLiteral("valueEditor"));
    editorSlot->addWidget(valueEditor);
    noteLabel->clear();
    writeButton->setEnabled(true);
}

void WriteValueDialog::writeClicked() {
    if (valueEditor == nullptr) {
        return;
    }
    const QString problem = valueEditor->problem();
    if (!problem.isEmpty()) {
        noteLabel->setText(tr("Not a value for this attribute: %1").arg(problem));
        return;
    }
    const QString newValue = valueEditor->valueText();
    if (!confirmWrites(this, {{ref, fc, oldValue, newValue}})) {
        return;
    }
    emit writeValue(ref, fc, newValue);
    accept();
}

}  // namespace iec61850
