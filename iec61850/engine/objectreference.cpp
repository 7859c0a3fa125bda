#include "objectreference.h"

#include <QRegularExpression>

namespace iec61850 {

QString extractFc(const QString& name) {
    static const QRegularExpression suffix(QStringLiteral("\\[[A-Z]{2}\\]"));
    return suffix.match(name).captured(0);
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
    QString reference = path.at(1);
    for (int k = 2; k < path.size(); ++k) {
        reference += (k == 2 ? QLatin1Char('/') : QLatin1Char('.')) + path.at(k);
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
