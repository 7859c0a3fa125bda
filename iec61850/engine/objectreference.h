#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <string>
#include <string_view>

namespace iec61850 {

// The functional-constraint suffix the client library appends to element names ("stVal[ST]" gives
// "[ST]"), brackets included; "" when the name carries none.
QString extractFc(const QString& name);

// `name` without its functional-constraint suffix.
QString withoutFc(const QString& name);

// extractFc and withoutFc for a name in ASCII as the client library lists it, without a copy of
// either part. For other names they may differ from the QString forms (which count characters, not
// octets): use those.
QString listedFc(std::string_view name);
std::string_view listedWithoutFc(std::string_view name);
bool isAscii(std::string_view text);

// Keeps the discovery path and gives the object reference of the element `shown` at depth `layer`.
// `path` holds "rootLayer" followed by the names of the most recent element of every depth above;
// it is cut back to `layer` elements and `shown` appended. The reference is the logical-device
// name, "/", then the deeper names joined with "." ("LD0/LLN0.Mod.stVal"); a logical device gets its
// bare name. A layer deeper than the path allows gives "totalLayers < layer" and leaves `path` alone.
QString buildReference(QStringList& path, const QString& shown, int layer);

// Domain and MMS item of an attribute reference under its constraint ("LD/LN.DO.DA", "[ST]" gives
// "LD" and "LN$ST$DO$DA"); false when the reference cannot name a variable.
bool mmsNameOf(const QString& ref, const QString& fc, QByteArray* domain, QByteArray* item);
// The same into strings the caller keeps, so that a walk's reads need no temporaries.
bool mmsNameOf(const QString& ref, const QString& fc, std::string* domain, std::string* item);

}  // namespace iec61850
