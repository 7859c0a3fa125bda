#include "valueeditor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDoubleValidator>
#include <QGridLayout>
#include <QLineEdit>
#include <QLocale>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QVBoxLayout>

#include <limits>

#include "iec61850_client.h"
#include "valuemeaning.h"

namespace iec61850 {

namespace {

QString lastElement(const QString& ref) {
    return ref.section(QLatin1Char('.'), -1);
}

// Puts one input widget into the editor and reports its changes.
template <typename Input, typename Signal>
Input* hold(ValueEditor* editor, Input* input, Signal changed) {
    auto* layout = new QVBoxLayout(editor);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(input);
    QObject::connect(input, changed, editor, &ValueEditor::edited);
    return input;
}

class BooleanEditor : public ValueEditor {
public:
    BooleanEditor(const QString& shown, QWidget* parent) : ValueEditor(parent) {
        box = hold(this, new QCheckBox(tr("true")), &QCheckBox::toggled);
        box->setChecked(shown.trimmed() == QLatin1String("1"));
    }
    QString valueText() const override { return box->isChecked() ? "true" : "false"; }

private:
    QCheckBox* box;
};

// Integers whose whole range a spin box holds.
class SpinEditor : public ValueEditor {
public:
    SpinEditor(int minimum, int maximum, const QString& shown, QWidget* parent) : ValueEditor(parent) {
        spin = hold(this, new QSpinBox, QOverload<int>::of(&QSpinBox::valueChanged));
        spin->setRange(minimum, maximum);
        qint64 code = 0;
        if (renderedInteger(shown, &code)) {
            spin->setValue(static_cast<int>(qBound<qint64>(minimum, code, maximum)));
        }
    }
    QString valueText() const override { return QString::number(spin->value()); }

private:
    QSpinBox* spin;
};

// Integers wider than a spin box: digits, checked against the width.
class WideIntegerEditor : public ValueEditor {
public:
    WideIntegerEditor(bool isSigned, int width, const QString& shown, QWidget* parent) : ValueEditor(parent) {
        edit = hold(this, new QLineEdit, &QLineEdit::textEdited);
        edit->setValidator(new QRegularExpressionValidator(
            QRegularExpression(isSigned ? QStringLiteral("-?[0-9]{0,20}") : QStringLiteral("[0-9]{0,20}")),
            edit));
        if (isSigned) {
            minimum = width >= 64 ? std::numeric_limits<qint64>::min() : -(qint64(1) << (width - 1));
            maximum = width >= 64 ? std::numeric_limits<qint64>::max() : (qint64(1) << (width - 1)) - 1;
        } else {
            minimum = 0;
            maximum = width >= 63 ? std::numeric_limits<qint64>::max() : (qint64(1) << width) - 1;
        }
        qint64 code = 0;
        if (renderedInteger(shown, &code)) {
            edit->setText(QString::number(code));
        }
    }
    QString valueText() const override { return edit->text(); }
    QString problem() const override {
        bool ok = false;
        const qint64 number = edit->text().toLongLong(&ok);
        if (!ok || number < minimum || number > maximum) {
            return tr("a whole number from %1 to %2").arg(minimum).arg(maximum);
        }
        return QString();
    }

private:
    QLineEdit* edit;
    qint64 minimum = 0;
    qint64 maximum = 0;
};

// Enumerations the standard fixes: their names beside their numbers.
class EnumerationEditor : public ValueEditor {
public:
    EnumerationEditor(const QList<QPair<qint64, QString>>& choices, const QString& shown, QWidget* parent)
        : ValueEditor(parent) {
        combo = hold(this, new QComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged));
        qint64 current = 0;
        const bool known = renderedInteger(shown, &current);
        for (const auto& choice : choices) {
            combo->addItem(choice.second, choice.first);
            if (known && choice.first == current) {
                combo->setCurrentIndex(combo->count() - 1);
            }
        }
    }
    QString valueText() const override { return QString::number(combo->currentData().toLongLong()); }

private:
    QComboBox* combo;
};

class FloatEditor : public ValueEditor {
public:
    FloatEditor(const QString& shown, QWidget* parent) : ValueEditor(parent) {
        edit = hold(this, new QLineEdit, &QLineEdit::textEdited);
        auto* validator = new QDoubleValidator(edit);
        validator->setLocale(QLocale::c());
        validator->setNotation(QDoubleValidator::ScientificNotation);
        edit->setValidator(validator);
        edit->setText(shown.trimmed());
    }
    QString valueText() const override { return edit->text().trimmed(); }
    QString problem() const override {
        bool ok = false;
        const double number = QLocale::c().toDouble(edit->text().trimmed(), &ok);
        return ok && qIsFinite(number) ? QString() : tr("a number such as 12.5 or 1e-3");
    }

private:
    QLineEdit* edit;
};

class TextEditor : public ValueEditor {
public:
    TextEditor(int size, const QString& shown, QWidget* parent) : ValueEditor(parent) {
        edit = hold(this, new QLineEdit, &QLineEdit::textEdited);
        if (size != 0) {
            edit->setMaxLength(qAbs(size));
        }
        edit->setText(shown);
    }
    QString valueText() const override { return edit->text(); }

private:
    QLineEdit* edit;
};

// Bit strings: one named check box per bit; a quality's validity as its four states.
class BitsEditor : public ValueEditor {
public:
    BitsEditor(const QString& ref, int size, const QString& shown, QWidget* parent) : ValueEditor(parent) {
        const int count = qAbs(size);
        QVector<bool> bits = renderedBits(shown);
        bits.resize(count);
        const QStringList names = bitNames(ref, count);
        auto* layout = new QGridLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        int first = 0;
        if (count == 13 && names.size() == 13) {
            validity = new QComboBox;
            validity->addItems({tr("good"), tr("invalid"), tr("reserved"), tr("questionable")});
            validity->setCurrentIndex((bits.at(0) ? 2 : 0) + (bits.at(1) ? 1 : 0));
            connect(validity, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                    &ValueEditor::edited);
            layout->addWidget(validity, 0, 0, 1, 2);
            first = 2;
        }
        for (int i = 0; i < count; ++i) {
            if (i < first) {
                boxes.append(nullptr);
                continue;
            }
            const QString name = names.value(i);
            auto* box = new QCheckBox(name.isEmpty() ? tr("bit %1").arg(i) : name);
            box->setChecked(bits.at(i));
            connect(box, &QCheckBox::toggled, this, &ValueEditor::edited);
            const int slot = i - first;
            layout->addWidget(box, 1 + slot / 2, slot % 2);
            boxes.append(box);
        }
    }
    QString valueText() const override {
        QString text = QStringLiteral("0b");
        for (int i = 0; i < boxes.size(); ++i) {
            bool set = false;
            if (boxes.at(i) != nullptr) {
                set = boxes.at(i)->isChecked();
            } else if (validity != nullptr) {
                set = (validity->currentIndex() & (i == 0 ? 2 : 1)) != 0;
            }
            text += set ? QLatin1Char('1') : QLatin1Char('0');
        }
        return text;
    }

private:
    QList<QCheckBox*> boxes;
    QComboBox* validity = nullptr;
};

// A two-bit position (Dbpos) by its names.
class PositionEditor : public ValueEditor {
public:
    PositionEditor(const QString& shown, QWidget* parent) : ValueEditor(parent) {
        combo = hold(this, new QComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged));
        combo->addItems({tr("intermediate (00)"), tr("off (01)"), tr("on (10)"), tr("bad (11)")});
        const QVector<bool> bits = renderedBits(shown);
        if (bits.size() == 2) {
            combo->setCurrentIndex((bits.at(0) ? 2 : 0) + (bits.at(1) ? 1 : 0));
        }
    }
    QString valueText() const override {
        const int position = combo->currentIndex();
        return QStringLiteral("0b%1%2").arg((position >> 1) & 1).arg(position & 1);
    }

private:
    QComboBox* combo;
};

class OctetsEditor : public ValueEditor {
public:
    OctetsEditor(int size, const QString& shown, QWidget* parent) : ValueEditor(parent) {
        edit = hold(this, new QLineEdit, &QLineEdit::textEdited);
        edit->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Fa-f ]*")), edit));
        if (size != 0) {
            edit->setMaxLength(qAbs(size) * 3);
        }
        // The tree shows the octets as text first, then as hexadecimal lines.
        QStringList hex;
        for (const QString& line : shown.split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("0x "))) {
                hex << line.mid(3).trimmed();
            }
        }
        hex.removeAll(QString());
        edit->setText(hex.join(QLatin1Char(' ')));
        edit->setPlaceholderText(tr("hexadecimal octets, such as 01 a2 ff"));
    }
    QString valueText() const override { return QStringLiteral("0x") + edit->text(); }
    QString problem() const override {
        QString digits = edit->text();
        digits.remove(QLatin1Char(' '));
        return digits.size() % 2 == 0 ? QString() : tr("two hexadecimal digits per octet");
    }

private:
    QLineEdit* edit;
};

class TimeEditor : public ValueEditor {
public:
    TimeEditor(int mmsType, const QString& shown, QWidget* parent) : ValueEditor(parent) {
        edit = hold(this, new QDateTimeEdit, &QDateTimeEdit::dateTimeChanged);
        edit->setTimeSpec(Qt::UTC);
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz 'UTC'"));
        // The tree shows a UTC time in local time with milliseconds, a binary time in UTC without.
        const QLocale c = QLocale::c();
        QDateTime when = mmsType == MMS_UTC_TIME
                             ? c.toDateTime(shown, QStringLiteral("ddd MMM d yyyy hh:mm:ss.zzz")).toUTC()
                             : c.toDateTime(shown, QStringLiteral("ddd MMM d hh:mm:ss yyyy"));
        if (mmsType != MMS_UTC_TIME) {
            when.setTimeSpec(Qt::UTC);
        }
        edit->setDateTime(when.isValid() ? when : QDateTime::currentDateTimeUtc());
    }
    QString valueText() const override {
        return edit->dateTime().toUTC().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss.zzzZ"));
    }

private:
    QDateTimeEdit* edit;
};

}  // namespace

ValueEditor* ValueEditor::create(const QString& ref, int mmsType, int size, const QString& shownValue,
                                 QWidget* parent) {
    switch (mmsType) {
        case MMS_BOOLEAN:
            return new BooleanEditor(shownValue, parent);
        case MMS_INTEGER:
        case MMS_UNSIGNED: {
            const QList<QPair<qint64, QString>> choices = enumerationChoices(ref);
            if (mmsType == MMS_INTEGER && !choices.isEmpty()) {
                return new EnumerationEditor(choices, shownValue, parent);
            }
            const int width = size <= 0 || size > 64 ? 64 : size;
            if (mmsType == MMS_INTEGER && width <= 32) {
                const qint64 half = qint64(1) << (width - 1);
                return new SpinEditor(int(-half), int(half - 1), shownValue, parent);
            }
            if (mmsType == MMS_UNSIGNED && width <= 31) {
                return new SpinEditor(0, int((qint64(1) << width) - 1), shownValue, parent);
            }
            return new WideIntegerEditor(mmsType == MMS_INTEGER, width, shownValue, parent);
        }
        case MMS_FLOAT:
            return new FloatEditor(shownValue, parent);
        case MMS_VISIBLE_STRING:
        case MMS_STRING:
            return new TextEditor(size, shownValue, parent);
        case MMS_BIT_STRING: {
            const QString last = lastElement(ref);
            if (qAbs(size) == 2 && (last == QLatin1String("stVal") || last == QLatin1String("subVal"))) {
                return new PositionEditor(shownValue, parent);
            }
            return new BitsEditor(ref, size, shownValue, parent);
        }
        case MMS_OCTET_STRING:
            return new OctetsEditor(size, shownValue, parent);
        case MMS_UTC_TIME:
        case MMS_BINARY_TIME:
            return new TimeEditor(mmsType, shownValue, parent);
        default:
            return nullptr;
    }
}

}  // namespace iec61850
