#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "iec61850_client.h"

namespace iec61850 {

// Display texts of one value as the trees, the report box and the control box show them.
struct RenderedValue {
    // One text for a plain value; the leaves of a structure, depth first, in report mode.
    QStringList texts;
    // Values met (the value itself or, in report mode, structure members) whose type has no text
    // form; the engine still announces an empty update for each, so the view sees the read happen.
    int unsupported = 0;
};

// `ref` is the object reference without functional constraint; the name of its last element picks
// the enumeration an integer is shown as. In report mode a structure is flattened into its leaves,
// otherwise it yields no text. An array is one text on one line, its elements in brackets; a failed
// access shows its reason ("object-non-existent"). Reads nothing but its arguments, so any thread may call
// it.
RenderedValue renderValue(MmsValue* value, const QString& ref, bool reportMode);

// Validity name, then one line per flag that is set, in ascending bit order.
QString qualityToString(quint32 bits);
// Quality flag bit value -> flag name; the two validity bits are not in it.
const QMap<int, QString>& qualityNames();

// Name of a listed code with the code in parentheses ("On (1)"), "(code)" where the name is empty,
// the bare number for any code outside the table.
QString behaviourToString(qint64 code);
QString healthToString(qint64 code);
QString siUnitToString(qint64 code);
QString multiplierToString(qint64 code);
QString ctlModelToString(qint64 code);
QString dirGeneralToString(qint64 code);
QString orCatToString(qint64 code);
QString dirPhsToString(qint64 code);
QString autoRecStToString(qint64 code);
QString tmSrcTypToString(qint64 code);
QString swTypToString(qint64 code);

}  // namespace iec61850
