#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include "objectvaluesdialog.h"

class QGridLayout;
class QLabel;
class QPushButton;

namespace iec61850 {

class ValueEditor;

// Substitution of one data object: the value and quality it should show instead of the process's
// (its SV attributes), switched on and off with subEna. The process value and quality are shown
// beside, read again after every change.
class SubstitutionDialog : public ObjectValuesDialog {
    Q_OBJECT

public:
    explicit SubstitutionDialog(QWidget* parent = nullptr);

    void showObject(const QString& dataObjectRef);
    QString objectReference() const { return dataObject; }

    void objectValuesRead(const QString& ref, const QString& fc, const QStringList& names,
                          const QStringList& values, const QList<int>& mmsTypes, const QList<int>& sizes,
                          const QString& error) override;
    void valueWritten(const QString& ref, const QString& fc, const QString& error,
                      const QString& value) override;

private:
    struct Field {
        ValueEditor* editor = nullptr;
        QString shown;
        QString initial;
    };
    void substitute(bool on);
    void readAll();

    QString dataObject;
    QMap<QString, Field> fields;  // the SV attributes besides subEna
    QString enabled;              // subEna as last read
    QLabel* processLabel;
    QLabel* stateLabel;
    QLabel* noteLabel;
    QGridLayout* grid;
    QPushButton* onButton;
    QPushButton* offButton;
};

}  // namespace iec61850
