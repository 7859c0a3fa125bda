#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include "objectvaluesdialog.h"

class QGridLayout;
class QLabel;
class QPushButton;
class QSpinBox;

namespace iec61850 {

class ValueEditor;

// The setting groups of a logical device through its setting group control block: how many there
// are, which is active, activating another, and editing one: the edited group's values (SE) are read,
// shown beside the active ones (SG) and changed here, then confirmed into the group or discarded.
class SettingGroupDialog : public ObjectValuesDialog {
    Q_OBJECT

public:
    explicit SettingGroupDialog(QWidget* parent = nullptr);

    // sgcbRef as the tree names the block (LD/LLN0.SGCB); settings are the references of the
    // device's settings (their SG lines) with the values the tree shows.
    void showBlock(const QString& sgcbRef, const QStringList& settings, const QStringList& activeValues);
    QString blockReference() const { return sgcb; }

    void objectValuesRead(const QString& ref, const QString& fc, const QStringList& names,
                          const QStringList& values, const QList<int>& mmsTypes, const QList<int>& sizes,
                          const QString& error) override;
    void valueWritten(const QString& ref, const QString& fc, const QString& error,
                      const QString& value) override;

private:
    struct Setting {
        QLabel* active = nullptr;
        QLabel* edited = nullptr;  // the SE value as read
        ValueEditor* editor = nullptr;
        QString initial;
    };
    void writeBlock(const QString& attribute, const QString& text, const QString& oldValue);
    void readEditedValues();
    void confirmClicked();
    void clearEdits();

    QString sgcb;
    QStringList settingRefs;
    QMap<QString, Setting> settings;
    QMap<QString, QString> block;  // NumOfSG, ActSG, EditSG, ... as last read
    QLabel* stateLabel;
    QLabel* noteLabel;
    QSpinBox* groupSpin;
    QPushButton* activateButton;
    QPushButton* editButton;
    QPushButton* confirmButton;
    QPushButton* discardButton;
    QGridLayout* grid;
};

}  // namespace iec61850
