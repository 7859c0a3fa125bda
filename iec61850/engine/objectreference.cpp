#include "objectreference.h"

#include <QStringRef>

namespace iec61850 {

namespace {

bool isUpperAscii(QChar c) {
    return c >= QLatin1Char('A') && c <= QLatin1Char('Z');
}

// Where the first "[XY]" of `name` starts; -1 when there is none.
int fcAt(const QString& name) {
    for (int i = 0; i + 3 < name.size(); ++i) {
        if (name.at(i) == QLatin1Char('[') && isUpperAscii(name.at(i + 1)) && isUpperAscii(name.at(i + 2)) &&
            name.at(i + 3) == QLatin1Char(']')) {
            return i;
        }
    }
    return -1;
}

}  // namespace

QString extractFc(const QString& name) {
    const int at = fcAt(name);
    if (at < 0) {
        return QString();
    }
    // A walk keeps the constraint of every line: the usual ones share one copy each.
    static const QStringList kKnown{"[ST]", "[MX]", "[CO]", "[CF]", "[DC]", "[SP]", "[SG]",
                                    "[SE]", "[SV]", "[SR]", "[BL]", "[EX]", "[RP]", "[BR]",
                                    "[LG]", "[GO]", "[GS]", "[MS]", "[US]", "[OR]"};
    const QStringRef fc = name.midRef(at, 4);
    for (const QString& known : kKnown) {
        if (fc == known) {
            return known;
        }
    }
    return fc.toString();
}

QString withoutFc(const QString& name) {
    // The library appends the suffix, so it is always the last four characters.
    return extractFc(name).isEmpty() ? name : name.left(name.size() - 4);
}

QString buildReference(QStringList& path, const QString& shown, int layer) {
    if (layer < 1 || path.size() < layer) {
        return QStringLiteral("totalLayers < layer");
    }
    while (path.size() > layer) {
        path.removeLast();
    }
    path.append(shown);

    // Joined piece by piece rather than rewritten by pattern afterwards: a later name that happens to
    // contain the device name (LN "CTRLGGIO1" in LD "CTRL") must come through untouched.
    int size = path.at(1).size();
    for (int k = 2; k < path.size(); ++k) {
        size += 1 + path.at(k).size();
    }
    // Sized once: a walk keeps the reference of every line.
    QString reference;
    reference.reserve(size);
    reference += path.at(1);
    for (int k = 2; k < path.size(); ++k) {
        reference += k == 2 ? QLatin1Char('/') : QLatin1Char('.');
        reference += path.at(k);
    }
    return reference;
}

bool mmsNameOf(const QString& ref, const QString& fc, QByteArray* domain, QByteArray* item) {
    const int slash = ref.indexOf(QLatin1Char('/'));
    if (slash <= 0 || fc.size() != 4) {
        return false;
    }
    const QString path = ref.mid(slash + 1);
    const int dot = path.indexOf(QLatin1Char('.'));
    if (dot <= 0) {
        return false;
    }
    *domain = ref.left(slash).toUtf8();
    *item = (path.left(dot) + QLatin1Char('$') + fc.mid(1, 2) +
             path.mid(dot).replace(QLatin1Char('.'), QLatin1Char('$')))
                .toUtf8();
    return true;
}

}  // namespace iec61850
