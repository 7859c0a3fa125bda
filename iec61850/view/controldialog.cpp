#include "controldialog.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace {

// An integer status controllable output takes a number instead of open/close.
const QString kIntegerControlTag = QStringLiteral("ISCSO");

}  // namespace

ControlDialog::ControlDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Control"));

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(&selectButton);
    buttonRow->addWidget(&operateButton);
    buttonRow->addWidget(&cancelButton);
    selectButton.setText(tr("Select"));
    operateButton.setText(tr("Operate"));
    cancelButton.setText(tr("Cancel"));
    connect(&selectButton, &QPushButton::clicked, this, &ControlDialog::selectClicked);
    connect(&operateButton, &QPushButton::clicked, this, &ControlDialog::operateClicked);
    connect(&cancelButton, &QPushButton::clicked, this, &ControlDialog::cancelClicked);

    auto* valueRow = new QHBoxLayout;
    valueRow->addWidget(&valueLabel);
    valueRow->addWidget(&valueSpin);
    valueLabel.setText(tr("Value:"));
    valueLabel.setSizePolicy(QSizePolicy());
    valueSpin.setRange(0, 3);
    valueSpin.setValue(0);

    auto* radioRow = new QHBoxLayout;
    radioRow->addWidget(&openRadio);
    radioRow->addWidget(&closeRadio);
    openRadio.setText(tr("Open"));
    closeRadio.setText(tr("Close"));
    stateGroup.addButton(&openRadio);
    stateGroup.addButton(&closeRadio);
    openRadio.setChecked(true);

    // The item index is the origin category code.
    originCombo.addItems({"Not supported", "Bay control", "Station control", "Remote control",
                          "Automatic bay", "Automatic station", "Automatic remote", "Maintenance",
                          "Process"});
    originCombo.setCurrentText("Station control");

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(&referenceLabel);
    layout->addWidget(&originCombo);
    layout->addLayout(radioRow);
    layout->addLayout(valueRow);
    layout->addLayout(buttonRow);
}

ControlDialog::~ControlDialog() = default;

void ControlDialog::setObjectReference(const QString& ref) {
    objectReference = ref;
    referenceLabel.setText(ref);
    const bool integer = isIntegerControl();
    valueLabel.setVisible(integer);
    valueSpin.setVisible(integer);
    openRadio.setVisible(!integer);
    closeRadio.setVisible(!integer);
}

void ControlDialog::setCtlModel(const int& model) {
    objectCtlModel = model;
    if (model < 0 || model > 4) {
        return;
    }
    const bool selectBeforeOperate = model == 2 || model == 4;
    selectButton.setEnabled(selectBeforeOperate);
    operateButton.setEnabled(model != 0);
    cancelButton.setEnabled(selectBeforeOperate);
    // A disabled button says why; the others keep no stale reason from an earlier object.
    const QString statusOnly = model == 0 ? tr("The object is status-only (ctlModel 0): it accepts no commands.")
                                          : QString();
    const QString noSelection =
        tr("The object is operated directly (ctlModel %1): it has no selection.").arg(model);
    selectButton.setToolTip(model == 0 ? statusOnly : (selectBeforeOperate ? QString() : noSelection));
    operateButton.setToolTip(statusOnly);
    cancelButton.setToolTip(model == 0 ? statusOnly : (selectBeforeOperate ? QString() : noSelection));
}

bool ControlDialog::isIntegerControl() const {
    return objectReference.contains(kIntegerControlTag);
}

void ControlDialog::selectClicked() {
    if (objectCtlModel == 2) {
        emit controlSelect(objectReference, originCombo.currentIndex());
    } else if (objectCtlModel == 4 && isIntegerControl()) {
        // The Open/Close buttons are hidden for such objects; the value is the one the user sees.
        emit controlSelectWithValueInt(objectReference, valueSpin.value(), originCombo.currentIndex());
    } else if (objectCtlModel == 4) {
        emit controlSelectWithValue(objectReference, closeRadio.isChecked(), originCombo.currentIndex());
    }
}

void ControlDialog::operateClicked() {
    if (objectCtlModel == 0) {
        return;
    }
    if (isIntegerControl()) {
        emit controlOperateInt(objectReference, valueSpin.value(), originCombo.currentIndex());
    } else {
        emit controlOperateBool(objectReference, closeRadio.isChecked(), originCombo.currentIndex());
    }
}

void ControlDialog::cancelClicked() {
    if (objectCtlModel == 2 || objectCtlModel == 4) {
        emit controlCancel(objectReference);
    }
}
