#pragma once

#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QString>

// Non-modal dialog that sends select, operate and cancel for one controllable data object. Its signals
// go straight to the engine; the buttons follow the object's control model.
class ControlDialog : public QDialog {
    Q_OBJECT

public:
    explicit ControlDialog(QWidget* parent = nullptr);
    ~ControlDialog() override;

    void setObjectReference(const QString& ref);
    void setCtlModel(const int& model);

signals:
    void controlSelect(const QString& data_object_ref, int origin_category);
    void controlSelectWithValue(const QString& data_object_ref, bool state, int origin_category);
    void controlCancel(const QString& data_object_ref);
    void controlOperateBool(const QString& data_object_ref, bool state, int origin_category);
    void controlOperateInt(const QString& data_object_ref, int value, int origin_category);
    // Select with value of an integer-controlled object: the chosen integer, which the operate repeats.
    void controlSelectWithValueInt(const QString& data_object_ref, int value, int origin_category);

private:
    void selectClicked();
    void operateClicked();
    void cancelClicked();
    bool isIntegerControl() const;

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
};
