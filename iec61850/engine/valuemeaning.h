#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

namespace iec61850 {

// What a rendered value means where the standard fixes it: the position of a double-point, the names
// of the bits set in TrgOps, OptFlds, quality and a reason code, the name of a Mod/Beh, Health or
// ctlModel code, an EntryID as hexadecimal alone. Works on the text renderValue gave for `ref`, so the
// view can show it beside the value it already has; empty where nothing more can be said.
QString valueMeaning(const QString& ref, const QString& renderedText);

// The bits of a rendered bit string (a quality word too) in string order, bit 0 first; empty when the
// text is not one.
QVector<bool> renderedBits(const QString& renderedText);
// The names of the bits of a bit string the standard defines, for the attribute `ref` names (TrgOps,
// OptFlds, a reason code, a quality of 13 bits), index by bit; empty for any other bit string. The
// first two entries of a quality are its validity bits.
QStringList bitNames(const QString& ref, int size);
// The codes of an enumeration the standard fixes (ctlModel, Mod/Beh, Health) with their names,
// "Name (code)" in ascending order; empty for an attribute without such a table.
QList<QPair<qint64, QString>> enumerationChoices(const QString& ref);
// The number in a rendered integer ("Sbo with normal security (2)" or "2").
bool renderedInteger(const QString& renderedText, qint64* code);

}  // namespace iec61850
