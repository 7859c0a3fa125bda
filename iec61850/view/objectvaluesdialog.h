#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

namespace iec61850 {

// A dialog that shows the values of one object of the device and changes them: it asks the engine
// for reads and writes, and the engine's answers come to every such dialog, each taking those about
// its own object. The view connects them all in the same way.
class ObjectValuesDialog : public QDialog {
    Q_OBJECT

public:
    explicit ObjectValuesDialog(QWidget* parent = nullptr) : QDialog(parent) {}

signals:
    void readObjectValues(const QString& ref, const QString& fc);
    void writeValue(const QString& ref, const QString& fc, const QString& valueText);

public slots:
    virtual void objectValuesRead(const QString& ref, const QString& fc, const QStringList& names,
                                  const QStringList& values, const QList<int>& mmsTypes,
                                  const QList<int>& sizes, const QString& error) = 0;
    // A dialog that writes through a request of its own (a whole control block) needs no answer here.
    virtual void valueWritten(const QString& ref, const QString& fc, const QString& error,
                              const QString& value) {
        Q_UNUSED(ref)
        Q_UNUSED(fc)
        Q_UNUSED(error)
        Q_UNUSED(value)
    }
};

}  // namespace iec61850
