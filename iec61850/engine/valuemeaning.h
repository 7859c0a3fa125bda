#pragma once

#include <QString>

namespace iec61850 {

// What a rendered value means where the standard fixes it: the position of a double-point, the names
// of the bits set in TrgOps, OptFlds, quality and a reason code, the name of a Mod/Beh, Health or
// ctlModel code, an EntryID as hexadecimal alone. Works on the text renderValue gave for `ref`, so the
// view can show it beside the value it already has; empty where nothing more can be said.
QString valueMeaning(const QString& ref, const QString& renderedText);

}  // namespace iec61850
