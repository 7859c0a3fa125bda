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

    // What the dialog has always asked for: both checks, no test.
    interlockCheck.setText(tr("Interlock check"));
    interlockCheck.setChecked(true);
    synchroCheck.setText(tr("Synchrocheck"));
    synchroCheck.setChecked(true);
    testCheck.setText(tr("Test"));
    testCheck.setToolTip(tr("The device checks the command but does not act on the process."));
    auto* checkRow = new QHBoxLayout;
    checkRow->addWidget(&interlockCheck);
    checkRow->addWidget(&synchroCheck);
    checkRow->addWidget(&testCheck);
    classLabel.setObjectName("classLabel");
    resultLabel.setObjectName("resultLabel");
    selectionLabel.setObjectName("selectionLabel");
    selectionTick.setInterval(1000);
    connect(&selectionTick, &QTimer::timeout, this, &ControlDialog::showSelection);

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(&referenceLabel);
    layout->addWidget(&originCombo);
    layout->addLayout(radioRow);
    layout->addLayout(valueRow);
    layout->addWidget(&classLabel);
    layout->addLayout(checkRow);
    layout->addLayout(buttonRow);
    layout->addWidget(&resultLabel);
    layout->addWidget(&selectionLabel);
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
    // Another object: what was said about the last one no longer applies.
    resultLabel.clear();
    selectedFor.invalidate();
    showSelection();
    showClassWording();
}

void ControlDialog::setSelectionTimeout(int ms) {
    selectionTimeoutMs = ms;
}

void ControlDialog::setStatusKind(StatusKind kind) {
    statusKind = kind;
    showClassWording();
}

void ControlDialog::showClassWording() {
    if (isIntegerControl()) {
        classLabel.setText(tr("range %1 to %2").arg(valueSpin.minimum()).arg(valueSpin.maximum()));
    } else if (statusKind == StatusKind::SinglePoint) {
        classLabel.setText(tr("Open = off, Close = on"));
    } else if (statusKind == StatusKind::DoublePoint) {
        classLabel.setText(tr("Open = open, Close = closed"));
    } else {
        classLabel.clear();
    }
}

void ControlDialog::showResult(bool success, const QString& text) {
    resultLabel.setText(text);
    resultLabel.setStyleSheet(success ? QStringLiteral("color: darkgreen;") : QStringLiteral("color: red;"));
    if (success && text.startsWith(QLatin1String("Select"))) {
        selectedFor.start();
    } else if (text.startsWith(QLatin1String("Operate")) || text.startsWith(QLatin1String("Cancel")) ||
               text.startsWith(QLatin1String("Select"))) {
        // An operate or cancel ends the selection whatever its outcome; a refused select leaves none.
        selectedFor.invalidate();
    }
    showSelection();
}

void ControlDialog::showSelection() {
    if (!selectedFor.isValid()) {
        selectionTick.stop();
        selectionLabel.clear();
        return;
    }
    if (selectionTimeoutMs <= 0) {
        selectionLabel.setText(tr("Selected"));
        return;
    }
    const qint64 leftMs = selectionTimeoutMs - selectedFor.elapsed();
    if (leftMs <= 0) {
        selectedFor.invalidate();
        selectionTick.stop();
        selectionLabel.setText(tr("Selection lapsed"));
        return;
    }
    selectionLabel.setText(tr("Selected, %1 s left").arg((leftMs + 999) / 1000));
    if (!selectionTick.isActive()) {
        selectionTick.start();
    }
}

void ControlDialog::sendChecks() {
    emit controlChecks(interlockCheck.isChecked(), synchroCheck.isChecked(), testCheck.isChecked());
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
    sendChecks();
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
    sendChecks();
    if (isIntegerControl()) {
        emit controlOperateInt(objectReference, valueSpin.value(), originCombo.currentIndex());
    } else {
        emit controlOperateBool(objectReference, closeRadio.isChecked(), originCombo.currentIndex());
    }
}

void ControlDialog::cancelClicked() {
    if (objectCtlModel == 2 || objectCtlModel == 4) {
        sendChecks();
        emit controlCancel(objectReference);
    }
}
