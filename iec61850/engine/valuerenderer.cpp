#include "valuerenderer.h"

#include <QDateTime>
#include <QStringList>

#include <iterator>

namespace iec61850 {

namespace {

struct CodeName {
    qint64 code;
    const char* name;  // UTF-8
};

template <std::size_t N>
QString codeText(const CodeName (&table)[N], qint64 code) {
    for (const CodeName& entry : table) {
        if (entry.code != code) {
            continue;
        }
        if (entry.name[0] == '\0') {
            return QStringLiteral("(%1)").arg(code);
        }
        return QString::fromUtf8(entry.name) + QStringLiteral(" (%1)").arg(code);
    }
    return QString::number(code);
}

const CodeName kBehaviour[] = {{1, "On"}, {2, "Blocked"}, {3, "Test"}, {4, "Test/blocked"}, {5, "Off"}};

const CodeName kHealth[] = {{1, "Ok"}, {2, "Warning"}, {3, "Alarm"}};

const CodeName kCtlModel[] = {{0, "Status only"},
                              {1, "Direct with normal security"},
                              {2, "Sbo with normal security"},
                              {3, "Direct with enhanced security"},
                              {4, "Sbo with enhanced security"}};

const CodeName kDirGeneral[] = {{0, "Unknown"}, {1, "Forward"}, {2, "Backward"}, {3, "Both"}};

const CodeName kDirPhs[] = {{0, "Unknown"}, {1, "Forward"}, {2, "Backward"}};

const CodeName kOrCat[] = {{0, "Not supported"},    {1, "Bay control"},   {2, "Station control"},
                           {3, "Remote control"},   {4, "Automatic bay"}, {5, "Automatic station"},
                           {6, "Automatic remote"}, {7, "Maintenance"},   {8, "Process"}};

const CodeName kAutoRecSt[] = {{1, "Ready"},
                               {2, "In progress"},
                               {3, "Successful"},
                               {4, "Waiting for trip"},
                               {5, "Trip from protection"},
                               {6, "Fault disappeared"},
                               {7, "Wait to complete"},
                               {8, "CB closed"},
                               {9, "Cycle unsuccessful"},
                               {10, "Unsuccessful"},
                               {11, "Aborted"}};

const CodeName kTmSrcTyp[] = {
    {1, "Unknown"}, {2, "SNTP"}, {3, "PTP"}, {4, "IRIG-B"}, {5, "Substation internal"}};

const CodeName kSwTyp[] = {
    {1, "Load Break"}, {2, "Disconnector"}, {3, "Earthing Switch"}, {4, "High Speed Earthing Switch"}};

const CodeName kMultiplier[] = {{-24, "y"},     {-21, "z"}, {-18, "a"}, {-15, "f"}, {-12, "p"}, {-9, "n"},
                                {-6, "\u00b5"}, {-3, "m"},  {-2, "c"},  {-1, "d"},  {0, ""},    {1, "da"},
                                {2, "h"},       {3, "k"},   {6, "M"},   {9, "G"},   {12, "T"},  {15, "P"},
                                {18, "E"},      {21, "Z"},  {24, "Y"}};

const CodeName kSiUnit[] = {
    {1, ""},           {2, "m"},        {3, "kg"},          {4, "s"},          {5, "A"},
    {6, "K"},          {7, "mol"},      {8, "cd"},          {9, "deg"},        {10, "rad"},
    {11, "sr"},        {21, "Gy"},      {22, "Bq"},         {23, "\u00b0C"},   {24, "Sv"},
    {25, "F"},         {26, "C"},       {27, "S"},          {28, "H"},         {29, "V"},
    {30, "ohm"},       {31, "J"},       {32, "N"},          {33, "Hz"},        {34, "lx"},
    {35, "Lm"},        {36, "Wb"},      {37, "T"},          {38, "W"},         {39, "Pa"},
    {41, "m\u00b2"},   {42, "m\u00b3"}, {43, "m/s"},        {44, "m/s\u00b2"}, {45, "m\u00b3/s"},
    {46, "m/m\u00b3"}, {47, "M"},       {48, "kg/m\u00b3"}, {49, "m\u00b2/s"}, {50, "W/m K"},
    {51, "J/K"},       {52, "ppm"},     {53, "1/s"},        {54, "rad/s"},     {55, "W/m\u00b2"},
    {56, "J/m\u00b2"}, {57, "S/m"},     {58, "K/s"},        {59, "Pa/s"},      {60, "J/kg K"},
    {61, "VA"},        {62, "Watts"},   {63, "VAr"},        {64, "phi"},       {65, "cos(phi)"},
    {66, "Vs"},        {67, "V\u00b2"}, {68, "As"},         {69, "A\u00b2"},   {70, "A\u00b2t"},
    {71, "VAh"},       {72, "Wh"},      {73, "VArh"},       {74, "V/Hz"},      {75, "Hz/s"},
    {76, "char"},      {77, "char/s"},  {78, "kgm\u00b2"},  {79, "dB"},        {80, "J/Wh"},
    {81, "W/s"},       {82, "l/s"},     {83, "dBm"},        {84, "h"},         {85, "min"}};

// Integers are shown by the enumeration their attribute carries. The data-object rules compare the
// end of the whole reference, dot included, so PhyHealth.stVal is not taken for Health.stVal.
QString integerText(qint64 code, const QString& ref) {
    const QString last = ref.mid(ref.lastIndexOf(QLatin1Char('.')) + 1);
    if (ref.endsWith(QLatin1String(".Mod.stVal")) || ref.endsWith(QLatin1String(".Beh.stVal"))) {
        return behaviourToString(code);
    }
    if (ref.endsWith(QLatin1String(".Health.stVal"))) {
        return healthToString(code);
    }
    if (last == QLatin1String("SIUnit")) {
        return siUnitToString(code);
    }
    if (last == QLatin1String("multiplier")) {
        return multiplierToString(code);
    }
    if (last == QLatin1String("ctlModel")) {
        return ctlModelToString(code);
    }
    if (last == QLatin1String("dirGeneral")) {
        return dirGeneralToString(code);
    }
    if (last == QLatin1String("orCat")) {
        return orCatToString(code);
    }
    if (last.startsWith(QLatin1String("dirPhs"))) {
        return dirPhsToString(code);
    }
    if (ref.endsWith(QLatin1String(".AutoRecSt.stVal"))) {
        return autoRecStToString(code);
    }
    if (ref.endsWith(QLatin1String(".TmSrcTyp.stVal"))) {
        return tmSrcTypToString(code);
    }
    if (ref.endsWith(QLatin1String(".SwTyp.stVal"))) {
        return swTypToString(code);
    }
    return QString::number(code);
}

// Bits in string order, grouped in fours counted from the last bit.
QString bitStringText(const MmsValue* value) {
    const int size = MmsValue_getBitStringSize(value);
    QString bits = QStringLiteral("0b");
    for (int i = 0; i < size; ++i) {
        if ((size - i) % 4 == 0) {
            bits += QLatin1Char(' ');
        }
        bits += MmsValue_getBitStringBit(value, i) ? QLatin1Char('1') : QLatin1Char('0');
    }
    // Thirteen bits are the quality word of a data attribute.
    if (size == 13) {
        return qualityToString(MmsValue_getBitStringAsInteger(value)) + QStringLiteral("\n(%1)").arg(bits);
    }
    return bits;
}

// The bytes as text (many devices put names or serial numbers there), then eight bytes per hex line.
QString octetStringText(MmsValue* value) {
    const int size = MmsValue_getOctetStringSize(value);
    const uint8_t* buffer = MmsValue_getOctetStringBuffer(value);
    QString text = QString::fromUtf8(reinterpret_cast<const char*>(buffer), buffer ? size : 0);
    text += QStringLiteral("\n0x ");
    for (int i = 0; buffer && i < size; ++i) {
        text += QStringLiteral("%1 ").arg(buffer[i], 2, 16, QLatin1Char('0'));
        if ((i + 1) % 8 == 0 && i + 1 < size) {
            text += QStringLiteral("\n0x ");
        }
    }
    return text;
}

// The names the protocol gives the reasons a single read or write failed.
QString dataAccessErrorText(int code) {
    static const char* const kNames[] = {
        "object-invalidated",        "hardware-fault",      "temporarily-unavailable",
        "object-access-denied",      "object-undefined",    "invalid-address",
        "type-unsupported",          "type-inconsistent",   "object-attribute-inconsistent",
        "object-access-unsupported", "object-non-existent", "object-value-invalid"};
    if (code >= 0 && code < int(std::size(kNames))) {
        return QLatin1String(kNames[code]);
    }
    return QStringLiteral("data-access-error %1").arg(code);
}

QString scalarText(MmsValue* value, const QString& ref);

// One line for a whole array: elements in brackets, structures in braces, multi-line texts such as
// quality words joined with blanks.
QString compactText(MmsValue* value) {
    const MmsType type = MmsValue_getType(value);
    if (type != MMS_ARRAY && type != MMS_STRUCTURE) {
        return scalarText(value, QStringLiteral("NOT_EMIT")).replace(QLatin1Char('\n'), QLatin1Char(' '));
    }
    QStringList parts;
    for (int i = 0;; ++i) {
        MmsValue* element = MmsValue_getElement(value, i);
        if (!element) {
            break;
        }
        parts.append(compactText(element));
    }
    const QString joined = parts.join(QStringLiteral(", "));
    return type == MMS_ARRAY ? QLatin1Char('[') + joined + QLatin1Char(']')
                             : QLatin1Char('{') + joined + QLatin1Char('}');
}

// The text of a value that is neither a structure nor an array; empty for types without a text form.
QString scalarText(MmsValue* value, const QString& ref) {
    switch (MmsValue_getType(value)) {
        case MMS_BOOLEAN:
            return QString::number(MmsValue_getBoolean(value) ? 1 : 0);
        case MMS_BIT_STRING:
            return bitStringText(value);
        case MMS_INTEGER:
            return integerText(MmsValue_toInt64(value), ref);
        case MMS_UNSIGNED:
            return QString::number(MmsValue_toUint32(value));
        case MMS_FLOAT:
            return QString::number(MmsValue_toDouble(value), 'g', 6);
        case MMS_OCTET_STRING:
            return octetStringText(value);
        case MMS_VISIBLE_STRING:
        case MMS_STRING:
            return QString::fromUtf8(MmsValue_toString(value));
        case MMS_BINARY_TIME:
            return QDateTime::fromMSecsSinceEpoch(qint64(MmsValue_getBinaryTimeAsUtcMs(value)), Qt::UTC)
                .toString(QStringLiteral("ddd MMM d hh:mm:ss yyyy"));
        case MMS_UTC_TIME:
            return QDateTime::fromMSecsSinceEpoch(qint64(MmsValue_getUtcTimeInMs(value)), Qt::UTC)
                .toLocalTime()
                .toString(QStringLiteral("ddd MMM d yyyy hh:mm:ss.zzz"));
        case MMS_DATA_ACCESS_ERROR:
            return dataAccessErrorText(MmsValue_getDataAccessError(value));
        case MMS_ARRAY:
            return compactText(value);
        default:
            return QString();
    }
}

void render(MmsValue* value, const QString& ref, bool reportMode, RenderedValue& out) {
    QString text;
    switch (MmsValue_getType(value)) {
        case MMS_STRUCTURE:
            if (reportMode) {
                // Members carry no reference of their own, so no attribute-name rule applies to them.
                for (int i = 0;; ++i) {
                    MmsValue* element = MmsValue_getElement(value, i);
                    if (!element) {
                        break;
                    }
                    render(element, QStringLiteral("NOT_EMIT"), true, out);
                }
            }
            break;
        case MMS_GENERALIZED_TIME:
        case MMS_BCD:
        case MMS_OBJ_ID:
            ++out.unsupported;
            break;
        default:
            text = scalarText(value, ref);
            break;
    }
    if (!text.isEmpty()) {
        out.texts.append(text);
    }
}

}  // namespace

RenderedValue renderValue(MmsValue* value, const QString& ref, bool reportMode) {
    RenderedValue out;
    if (value) {
        render(value, ref, reportMode, out);
    }
    return out;
}

const QMap<int, QString>& qualityNames() {
    static const QMap<int, QString> names = {{4, QStringLiteral("QUALITY_DETAIL_OVERFLOW")},
                                             {8, QStringLiteral("QUALITY_DETAIL_OUT_OF_RANGE")},
                                             {16, QStringLiteral("QUALITY_DETAIL_BAD_REFERENCE")},
                                             {32, QStringLiteral("QUALITY_DETAIL_OSCILLATORY")},
                                             {64, QStringLiteral("QUALITY_DETAIL_FAILURE")},
                                             {128, QStringLiteral("QUALITY_DETAIL_OLD_DATA")},
                                             {256, QStringLiteral("QUALITY_DETAIL_INCONSISTENT")},
                                             {512, QStringLiteral("QUALITY_DETAIL_INACCURATE")},
                                             {1024, QStringLiteral("QUALITY_SOURCE_SUBSTITUTED")},
                                             {2048, QStringLiteral("QUALITY_TEST")},
                                             {4096, QStringLiteral("QUALITY_OPERATOR_BLOCKED")},
                                             {8192, QStringLiteral("QUALITY_DERIVED")}};
    return names;
}

QString qualityToString(quint32 bits) {
    static const char* const kValidity[] = {"QUALITY_VALIDITY_GOOD", "QUALITY_VALIDITY_RESERVED",
                                            "QUALITY_VALIDITY_INVALID", "QUALITY_VALIDITY_QUESTIONABLE"};
    QString text = QLatin1String(kValidity[bits & 3]);
    const QMap<int, QString>& names = qualityNames();
    for (auto it = names.cbegin(); it != names.cend(); ++it) {
        if ((bits & quint32(it.key())) == quint32(it.key())) {
            text += QLatin1Char('\n') + it.value();
        }
    }
    return text;
}

QString behaviourToString(qint64 code) {
    return codeText(kBehaviour, code);
}
QString healthToString(qint64 code) {
    return codeText(kHealth, code);
}
QString siUnitToString(qint64 code) {
    return codeText(kSiUnit, code);
}
QString multiplierToString(qint64 code) {
    return codeText(kMultiplier, code);
}
QString ctlModelToString(qint64 code) {
    return codeText(kCtlModel, code);
}
QString dirGeneralToString(qint64 code) {
    return codeText(kDirGeneral, code);
}
QString orCatToString(qint64 code) {
    return codeText(kOrCat, code);
}
QString dirPhsToString(qint64 code) {
    return codeText(kDirPhs, code);
}
QString autoRecStToString(qint64 code) {
    return codeText(kAutoRecSt, code);
}
QString tmSrcTypToString(qint64 code) {
    return codeText(kTmSrcTyp, code);
}
QString swTypToString(qint64 code) {
    return codeText(kSwTyp, code);
}

}  // namespace iec61850
