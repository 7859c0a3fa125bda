#include "dumpline.h"

namespace ieddump {

namespace {

QString escaped(const QString& field) {
    QString out;
    out.reserve(field.size());
    for (const QChar c : field) {
        switch (c.unicode()) {
            case '\\':
                out += QLatin1String("\\\\");
                break;
            case '\t':
                out += QLatin1String("\\t");
                break;
            case '\n':
                out += QLatin1String("\\n");
                break;
            case '\r':
                out += QLatin1String("\\r");
                break;
            default:
                // Octet strings are shown with their raw bytes, NUL included; keep the output plain text.
                if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
                    out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
                } else {
                    out += c;
                }
        }
    }
    return out;
}

bool isPlain(const QString& field) {
    for (const QChar c : field) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QLatin1Char('\\')) {
            return false;
        }
    }
    return true;
}

void appendField(QByteArray& out, const QString& field) {
    // Printable ASCII, as nearly every field is, goes straight into the line.
    const int start = out.size();
    out.resize(start + field.size());
    char* to = out.data() + start;
    const QChar* from = field.constData();
    for (int i = 0; i < field.size(); ++i) {
        const ushort c = from[i].unicode();
        if (c < 0x20 || c >= 0x7f || c == '\\') {
            out.resize(start);
            out += isPlain(field) ? field.toUtf8() : escaped(field).toUtf8();
            return;
        }
        to[i] = char(c);
    }
}

}  // namespace

QString dumpLine(const QStringList& fields) {
    QStringList escapedFields;
    escapedFields.reserve(fields.size());
    for (const QString& field : fields) {
        escapedFields.append(escaped(field));
    }
    return escapedFields.join(QLatin1Char('\t'));
}

void appendDumpLine(QByteArray& out, std::initializer_list<QString> fields) {
    bool first = true;
    for (const QString& field : fields) {
        if (!first) {
            out += '\t';
        }
        first = false;
        appendField(out, field);
    }
    out += '\n';
}

}  // namespace ieddump
