#include "valuemeaning.h"

#include <QRegularExpression>
#include <QStringList>
#include <QVector>

#include "valuerenderer.h"

namespace iec61850 {

namespace {

QString lastElement(const QString& ref) {
    return ref.mid(ref.lastIndexOf(QLatin1Char('.')) + 1);
}

const QStringList& trgOpsNames() {
    static const QStringList kNames{QString(),   "data change", "quality change", "data update", "integrity",
                                    "general interrogation"};
    return kNames;
}

const QStringList& optFldsNames() {
    static const QStringList kNames{QString(),         "sequence number", "report time stamp",
                                    "reason for inclusion", "data set name", "data reference",
                                    "buffer overflow",  "entry ID",        "configuration revision",
                                    "segmentation"};
    return kNames;
}

const QStringList& reasonNames() {
    static const QStringList kNames{QString(),   "data change",           "quality change",
                                    "data update", "integrity",           "general interrogation",
                                    "application trigger"};
    return kNames;
}

const QStringList& qualityFlagNames() {
    static const QStringList kNames{QString(),     QString(), "overflow",        "out of range", "bad reference",
                                    "oscillatory", "failure", "old data",        "inconsistent", "inaccurate",
                                    "substituted", "test",    "operator blocked"};
    return kNames;
}

using CodeNamer = QString (*)(qint64);

// The enumeration the standard fixes for an attribute, by its place in the model.
CodeNamer enumerationOf(const QString& ref) {
    if (ref.endsWith(QLatin1String(".Mod.stVal")) || ref.endsWith(QLatin1String(".Beh.stVal"))) {
        return behaviourToString;
    }
    if (ref.endsWith(QLatin1String(".Health.stVal"))) {
        return healthToString;
    }
    if (lastElement(ref) == QLatin1String("ctlModel")) {
        return ctlModelToString;
    }
    return nullptr;
}

QString setBitNames(const QVector<bool>& bits, const QStringList& names) {
    QStringList set;
    for (int i = 0; i < bits.size(); ++i) {
        if (!bits.at(i)) {
            continue;
        }
        set << (i < names.size() && !names.at(i).isEmpty() ? names.at(i) : QStringLiteral("bit %1").arg(i));
    }
    return set.isEmpty() ? QStringLiteral("none") : set.join(QStringLiteral(", "));
}

QString doublePoint(const QVector<bool>& bits) {
    static const char* const kPositions[] = {"intermediate", "off", "on", "bad"};
    return QString::fromLatin1(kPositions[(bits.at(0) ? 2 : 0) + (bits.at(1) ? 1 : 0)]);
}

QString quality(const QVector<bool>& bits) {
    static const char* const kValidity[] = {"good", "invalid", "reserved", "questionable"};
    // Validity is coded with its first bit as the high one, as every bit string on the wire.
    QString text = QString::fromLatin1(kValidity[(bits.at(0) ? 2 : 0) + (bits.at(1) ? 1 : 0)]);
    QStringList set;
    for (int i = 2; i < bits.size(); ++i) {
        if (bits.at(i)) {
            set << qualityFlagNames().value(i);
        }
    }
    if (!set.isEmpty()) {
        text += QStringLiteral(": ") + set.join(QStringLiteral(", "));
    }
    return text;
}

// The hexadecimal lines an octet string's text ends with, joined to one line.
QString hexOnly(const QString& text) {
    const QStringList lines = text.split(QLatin1Char('\n'));
    QStringList hex;
    for (int i = lines.size() - 1; i >= 0 && lines.at(i).startsWith(QLatin1String("0x ")); --i) {
        hex.prepend(lines.at(i).mid(3).trimmed());
    }
    hex.removeAll(QString());
    return hex.isEmpty() ? QString() : QStringLiteral("0x ") + hex.join(QLatin1Char(' '));
}

// The name an enumeration renderer gives a code, without the code; empty for a code off its table.
QString enumName(const QString& text, QString (*toString)(qint64)) {
    qint64 code = 0;
    if (!renderedInteger(text, &code)) {
        return QString();
    }
    const QString named = toString(code);
    const int cut = named.lastIndexOf(QStringLiteral(" ("));
    return cut > 0 ? named.left(cut) : QStringLiteral("code %1 is not defined").arg(code);
}

}  // namespace

QString valueMeaning(const QString& ref, const QString& renderedText) {
    if (renderedText.isEmpty()) {
        return QString();
    }
    const QString last = lastElement(ref);
    if (last == QLatin1String("EntryID")) {
        return hexOnly(renderedText);
    }
    if (const CodeNamer namer = enumerationOf(ref)) {
        return enumName(renderedText, namer);
    }
    const QVector<bool> bits = renderedBits(renderedText);
    if (bits.isEmpty()) {
        return QString();
    }
    if (last == QLatin1String("TrgOps")) {
        return setBitNames(bits, trgOpsNames());
    }
    if (last == QLatin1String("OptFlds")) {
        return setBitNames(bits, optFldsNames());
    }
    if (last.startsWith(QLatin1String("ReasonCode")) || last == QLatin1String("ReasonForIncl")) {
        return setBitNames(bits, reasonNames());
    }
    if (bits.size() == 13) {
        return quality(bits);
    }
    // A two-bit status value is a double-point position.
    if (bits.size() == 2 && last == QLatin1String("stVal")) {
        return doublePoint(bits);
    }
    return QString();
}

QVector<bool> renderedBits(const QString& text) {
    QVector<bool> bits;
    if (!text.startsWith(QLatin1String("0b")) && !text.startsWith(QLatin1String("QUALITY_"))) {
        return bits;
    }
    static const QRegularExpression kPlain(QStringLiteral("^0b([01 ]+)$"));
    static const QRegularExpression kQuality(
        QStringLiteral("^QUALITY_VALIDITY_[^\\n]*(\\n.*)*\\n\\(0b([01 ]+)\\)$"));
    QString digits;
    QRegularExpressionMatch match = kPlain.match(text);
    if (match.hasMatch()) {
        digits = match.captured(1);
    } else if ((match = kQuality.match(text)).hasMatch()) {
        digits = match.captured(2);
    }
    for (const QChar c : digits) {
        if (c != QLatin1Char(' ')) {
            bits.append(c == QLatin1Char('1'));
        }
    }
    return bits;
}

QStringList bitNames(const QString& ref, int size) {
    const QString last = lastElement(ref);
    if (last == QLatin1String("TrgOps")) {
        return trgOpsNames();
    }
    if (last == QLatin1String("OptFlds")) {
        return optFldsNames();
    }
    if (last.startsWith(QLatin1String("ReasonCode")) || last == QLatin1String("ReasonForIncl")) {
        return reasonNames();
    }
    if (size == 13) {
        QStringList names = qualityFlagNames();
        names[0] = QStringLiteral("validity (first bit)");
        names[1] = QStringLiteral("validity (second bit)");
        return names;
    }
    return {};
}

QList<QPair<qint64, QString>> enumerationChoices(const QString& ref) {
    QList<QPair<qint64, QString>> choices;
    const CodeNamer namer = enumerationOf(ref);
    if (namer == nullptr) {
        return choices;
    }
    // The tables are small and start near 0; a code off the table comes back as its bare number.
    for (qint64 code = 0; code < 64; ++code) {
        const QString named = namer(code);
        if (named != QString::number(code) && !named.startsWith(QLatin1Char('('))) {
            choices.append({code, named});
        }
    }
    return choices;
}

bool renderedInteger(const QString& text, qint64* code) {
    QString number = text.trimmed();
    const int open = number.lastIndexOf(QLatin1Char('('));
    if (open >= 0 && number.endsWith(QLatin1Char(')'))) {
        number = number.mid(open + 1, number.size() - open - 2);
    }
    bool ok = false;
    *code = number.toLongLong(&ok);
    return ok;
}

}  // namespace iec61850
