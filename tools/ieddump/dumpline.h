#pragma once

#include <QString>
#include <QStringList>

namespace ieddump {

// One output line: the fields joined by tabs. Backslashes, tabs and line breaks inside a field are
// written as \\, \t, \n and \r, any other control character as \xHH, so that every engine signal
// stays on exactly one line of plain text and a reader can split at tabs.
QString dumpLine(const QStringList& fields);

}  // namespace ieddump
