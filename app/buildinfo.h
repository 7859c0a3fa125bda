#pragma once

#include <QString>

// Facts fixed when the program is built, shown in the About box.

// "v<major>.<minor>.<patch>-<commits since>-g<abbreviated commit>"; v0.0.0 when no version is tagged.
QString buildVersion();
// As the compiler's __DATE__ and __TIME__ give them ("Dec  7 2026", "08:15:02").
QString buildDate();
QString buildTime();
