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

}  // namespace iec61850
