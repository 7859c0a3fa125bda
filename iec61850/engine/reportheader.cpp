#include "reportheader.h"

#include <QStringList>

namespace iec61850 {

QString reasonNames(int reasonBits) {
    static const char* const kNames[] = {"data-change", "quality-change",        "data-update",
                                         "integrity",   "general-interrogation", "application-trigger"};
    QStringList names;
    for (int bit = 0; bit < 6; ++bit) {
        if ((reasonBits & (1 << bit)) != 0) {
            names << QString::fromLatin1(kNames[bit]);
        }
    }
    return names.join(QStringLiteral(", "));
}

}  // namespace iec61850
