#pragma once

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QString>
#include <QTimer>

// Non-modal dialog that sends select, operate and cancel for one controllable data object. Its signals
// go straight to the engine; the buttons follow the object's control model.
class ControlDialog : public QDialog {
    Q_OBJECT

public:
    explicit ControlDialog(QWidget* parent = nullptr);
    ~ControlDialog() override;

    void setObjectReference(const QString& ref);
    void setCtlModel(const int& model);
    // How long a selection lasts (the object's sboTimeout); 0 when unknown.
    void setSelectionTimeout(int ms);
    // What the object's status is, for the wording beside Open and Close.
    enum class StatusKind { Unknown, SinglePoint, DoublePoint };
    void setStatusKind(StatusKind kind);
    // How the last command ended; a success replaces an earlier refusal.
    void showResult(bool success, const QString& text);

signals:
    void controlSelect(const QString& data_object_ref, int origin_category);
    void controlSelectWithValue(const QString& data_object_ref, bool state, int origin_category);
    void controlCancel(const QString& data_object_ref);
    void controlOperateBool(const QString& data_object_ref, bool state, int origin_category);
    void controlOperateInt(const QString& data_object_ref, int value, int origin_category);
    // Select with value of an integer-controlled object: the chosen integer, which the operate repeats.
    void controlSelectWithValueInt(const QString& data_object_ref, int value, int origin_category);
    // Right before each command: what it asks the device to check, and whether it is a test.
    void controlChecks(bool interlock_check, bool synchro_check, bool test);

private:
    void selectClicked();
    void operateClicked();
    void cancelClicked();
    bool isIntegerControl() const;
    void sendChecks();
    void showClassWording();
    void showSelection();

    QPushButton selectButton;
    QPushButton operateButton;
    QPushButton cancelButton;
    QButtonGroup stateGroup;
    QRadioButton openRadio;
    QRadioButton closeRadio;
    QLabel valueLabel;
    QSpinBox valueSpin;
    QLabel referenceLabel;
    QComboBox originCombo;
    // Outside 0..4 until an Oper line with a known control model was clicked: select and cancel then
    // send nothing.
    int objectCtlModel = -1;
    QString objectReference;
    QLabel classLabel;
    QCheckBox interlockCheck;
    QCheckBox synchroCheck;
    QCheckBox testCheck;
    QLabel resultLabel;
    QLabel selectionLabel;
    StatusKind statusKind = StatusKind::Unknown;
    int selectionTimeoutMs = 0;
    QElapsedTimer selectedFor;  // valid while the object is selected
    QTimer selectionTick;
};
