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

bool isUpperAscii(char c) {
    return c >= 'A' && c <= 'Z';
}

// fcAt for octets: the same position for names in ASCII.
size_t fcAt(std::string_view name) {
    for (size_t i = 0; i + 3 < name.size(); ++i) {
        if (name[i] == '[' && isUpperAscii(name[i + 1]) && isUpperAscii(name[i + 2]) && name[i + 3] == ']') {
            return i;
        }
    }
    return std::string_view::npos;
}

// A walk keeps the constraint of every line: the usual ones share one copy each.
const QStringList& knownConstraints() {
    static const QStringList kKnown{"[ST]", "[MX]", "[CO]", "[CF]", "[DC]", "[SP]", "[SG]",
                                    "[SE]", "[SV]", "[SR]", "[BL]", "[EX]", "[RP]", "[BR]",
                                    "[LG]", "[GO]", "[GS]", "[MS]", "[US]", "[OR]"};
    return kKnown;
}

}  // namespace

QString extractFc(const QString& name) {
    const int at = fcAt(name);
    if (at < 0) {
        return QString();
    }
    const QStringRef fc = name.midRef(at, 4);
    for (const QString& known : knownConstraints()) {
        if (fc == known) {
            return known;
        }
    }
    return fc.toString();
}

QString listedFc(std::string_view name) {
    const size_t at = fcAt(name);
    if (at == std::string_view::npos) {
        return QString();
    }
    const std::string_view fc = name.substr(at, 4);
    for (const QString& known : knownConstraints()) {
        if (known.at(1) == QLatin1Char(fc[1]) && known.at(2) == QLatin1Char(fc[2])) {
            return known;
        }
    }
    return QString::fromLatin1(fc.data(), 4);
}

std::string_view listedWithoutFc(std::string_view name) {
    return fcAt(name) == std::string_view::npos ? name : name.substr(0, name.size() - 4);
}

bool isAscii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
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

bool mmsNameOf(const QString& ref, const QString& fc, std::string* domain, std::string* item) {
    const int slash = ref.indexOf(QLatin1Char('/'));
    if (slash <= 0 || fc.size() != 4) {
        return false;
    }
    const int dot = ref.indexOf(QLatin1Char('.'), slash + 1);
    if (dot <= slash + 1) {
        return false;
    }
    bool ascii = fc.at(1).unicode() < 0x80 && fc.at(2).unicode() < 0x80;
    for (int i = 0; ascii && i < ref.size(); ++i) {
        ascii = ref.at(i).unicode() < 0x80;
    }
    if (!ascii) {
        QByteArray domainBytes;
        QByteArray itemBytes;
        mmsNameOf(ref, fc, &domainBytes, &itemBytes);
        domain->assign(domainBytes.constData(), size_t(domainBytes.size()));
        item->assign(itemBytes.constData(), size_t(itemBytes.size()));
        return true;
    }
    // Plain ASCII, as references are: octet by octet into the buffers.
    domain->clear();
    for (int i = 0; i < slash; ++i) {
        domain->push_back(char(ref.at(i).unicode()));
    }
    item->clear();
    for (int i = slash + 1; i < dot; ++i) {
        item->push_back(char(ref.at(i).unicode()));
    }
    item->push_back('$');
    item->push_back(char(fc.at(1).unicode()));
    item->push_back(char(fc.at(2).unicode()));
    for (int i = dot; i < ref.size(); ++i) {
        const char c = char(ref.at(i).unicode());
        item->push_back(c == '.' ? '$' : c);
    }
    return true;
}

}  // namespace iec61850
