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

// The bits of a rendered bit string in string order (bit 0 first), or an empty vector when the text
// is not one. A quality word carries its bit text in parentheses on its last line.
QVector<bool> bitsOf(const QString& text) {
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
    const QStringList flags{QString(),     QString(), "overflow",        "out of range", "bad reference",
                            "oscillatory", "failure", "old data",        "inconsistent", "inaccurate",
                            "substituted", "test",    "operator blocked"};
    QStringList set;
    for (int i = 2; i < bits.size(); ++i) {
        if (bits.at(i)) {
            set << flags.value(i);
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
    QString number = text.trimmed();
    const int open = number.lastIndexOf(QLatin1Char('('));
    if (open >= 0 && number.endsWith(QLatin1Char(')'))) {
        number = number.mid(open + 1, number.size() - open - 2);
    }
    bool ok = false;
    const qint64 code = number.toLongLong(&ok);
    if (!ok) {
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
    if (ref.endsWith(QLatin1String(".Mod.stVal")) || ref.endsWith(QLatin1String(".Beh.stVal"))) {
        return enumName(renderedText, behaviourToString);
    }
    if (ref.endsWith(QLatin1String(".Health.stVal"))) {
        return enumName(renderedText, healthToString);
    }
    if (last == QLatin1String("ctlModel")) {
        return enumName(renderedText, ctlModelToString);
    }
    const QVector<bool> bits = bitsOf(renderedText);
    if (bits.isEmpty()) {
        return QString();
    }
    if (last == QLatin1String("TrgOps")) {
        return setBitNames(bits, {QString(), "data change", "quality change", "data update", "integrity",
                                  "general interrogation"});
    }
    if (last == QLatin1String("OptFlds")) {
        return setBitNames(bits, {QString(), "sequence number", "report time stamp", "reason for inclusion",
                                  "data set name", "data reference", "buffer overflow", "entry ID",
                                  "configuration revision", "segmentation"});
    }
    if (last.startsWith(QLatin1String("ReasonCode")) || last == QLatin1String("ReasonForIncl")) {
        return setBitNames(bits, {QString(), "data change", "quality change", "data update", "integrity",
                                  "general interrogation", "application trigger"});
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

}  // namespace iec61850
