#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <initializer_list>

namespace ieddump {

// One output line: the fields joined by tabs. Backslashes, tabs and line breaks inside a field are
// written as \\, \t, \n and \r, any other control character as \xHH, so that every engine signal
// stays on exactly one line of plain text and a reader can split at tabs.
QString dumpLine(const QStringList& fields);
// The same line in UTF-8 with its line break, appended to `out`.
void appendDumpLine(QByteArray& out, std::initializer_list<QString> fields);

}  // namespace ieddump
