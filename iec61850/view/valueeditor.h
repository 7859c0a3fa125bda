#pragma once

#include <QString>
#include <QWidget>

namespace iec61850 {

// The editor of one attribute's value, chosen by the attribute's type as the device describes it (an
// MmsType and its size) and by its place in the model (TrgOps, quality, ctlModel, ...). It starts at
// the value the tree shows and gives the new value as text in the form the engine's writes take.
class ValueEditor : public QWidget {
    Q_OBJECT

public:
    // Null for a type that has no editor (structures, arrays, object identifiers).
    static ValueEditor* create(const QString& ref, int mmsType, int size, const QString& shownValue,
                               QWidget* parent = nullptr);

    // The value as the engine's writes take it: true/false, a number, the text, 0b bits, hexadecimal
    // octets, ISO time in UTC.
    virtual QString valueText() const = 0;
    // Empty when the value can be written; otherwise why not, in a few words.
    virtual QString problem() const { return QString(); }

signals:
    void edited();

protected:
    using QWidget::QWidget;
};

}  // namespace iec61850
