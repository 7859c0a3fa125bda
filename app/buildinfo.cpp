#include "buildinfo.h"

#include "buildversion.h"

QString buildVersion() {
    return QStringLiteral(KORVAN_BUILD_VERSION);
}

QString buildDate() {
    return QStringLiteral(__DATE__);
}

QString buildTime() {
    return QStringLiteral(__TIME__);
}
