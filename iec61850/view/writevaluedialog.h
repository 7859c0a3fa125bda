#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace iec61850 {

class ValueEditor;

// "Write value...": one attribute with its reference, constraint and the value the tree shows; the
// editor follows the attribute's type once the device has described it, and the write goes out only
// after the user confirmed it.
class WriteValueDialog : public QDialog {
    Q_OBJECT

public:
    explicit WriteValueDialog(QWidget* parent = nullptr);

    // Shows the dialog for one attribute and asks for its type.
    void ask(const QString& ref, const QString& fc, const QString& shownValue);
    ValueEditor* editor() const { return valueEditor; }

signals:
    void describeValue(const QString& ref, const QString& fc);
    void writeValue(const QString& ref, const QString& fc, const QString& valueText);

public slots:
    void valueDescribed(const QString& ref, const QString& fc, int mmsType, int size, const QString& error);

private:
    void writeClicked();

    QString ref;
    QString fc;
    QString oldValue;
    QLabel* referenceLabel;
    QLabel* oldValueLabel;
    QLabel* noteLabel;
    QVBoxLayout* editorSlot;
    ValueEditor* valueEditor = nullptr;
    QPushButton* writeButton;
};

}  // namespace iec61850
