#include "iec61850network.h"

#include "valueparser.h"
#include "valuerenderer.h"

#include <algorithm>

namespace iec61850 {

namespace {

// objectValuesRead carries the leaves' types across threads.
const int kIntListType = qRegisterMetaType<QList<int>>("QList<int>");

// "[SP]" or "SP" to the two letters.
QString fcLetters(const QString& fc) {
    QString letters = fc;
    letters.remove(QLatin1Char('[')).remove(QLatin1Char(']'));
    return letters.trimmed();
}

FunctionalConstraint fcOf(const QString& letters) {
    if (letters.size() != 2) {
        return IEC61850_FC_NONE;
    }
    return FunctionalConstraint_fromString(letters.toLatin1().constData());
}

QString failureText(IedClientError error) {
    return QString::fromStdString(valueedit::failureText(error));
}

struct ValueDeleter {
    void operator()(MmsValue* value) const { MmsValue_delete(value); }
};
using ValuePtr = std::unique_ptr<MmsValue, ValueDeleter>;

// A read that failed gives null with the error set, or (devices differ) a data-access error value.
QString readFailure(const MmsValue* value, IedClientError error) {
    if (value == nullptr) {
        return failureText(error != IED_ERROR_OK ? error : IED_ERROR_UNEXPECTED_VALUE_RECEIVED);
    }
    if (MmsValue_getType(value) == MMS_DATA_ACCESS_ERROR) {
        return renderValue(const_cast<MmsValue*>(value), QString(), false).texts.value(0);
    }
    return QString();
}

// The leaves of a value with their names below it, described by `type` where the device gave one.
struct Leaves {
    QStringList names;
    QStringList texts;
    QList<int> types;
    QList<int> sizes;
};

void flatten(MmsValue* value, MmsVariableSpecification* type, const QString& ref, const QString& name,
             Leaves* leaves) {
    const MmsType kind = MmsValue_getType(value);
    if (kind == MMS_STRUCTURE) {
        for (int i = 0;; ++i) {
            MmsValue* element = MmsValue_getElement(value, i);
            if (element == nullptr) {
                break;
            }
            MmsVariableSpecification* child =
                type ? MmsVariableSpecification_getChildSpecificationByIndex(type, i) : nullptr;
            const QString childName =
                child ? QString::fromUtf8(MmsVariableSpecification_getName(child)) : QString::number(i);
            flatten(element, child, ref, name.isEmpty() ? childName : name + QLatin1Char('.') + childName,
                    leaves);
        }
        return;
    }
    const QString leafRef = name.isEmpty() ? ref : ref + QLatin1Char('.') + name;
    leaves->names.append(name);
    leaves->texts.append(renderValue(value, leafRef, false).texts.value(0));
    leaves->types.append(type ? MmsVariableSpecification_getType(type) : kind);
    leaves->sizes.append(type ? MmsVariableSpecification_getSize(type) : 0);
}

// How each writable attribute of a report control block goes into the client's copy.
struct RcbAttribute {
    const char* name;
    uint32_t mask;
    void (*apply)(ClientReportControlBlock, MmsValue*);
};

// Bit strings of the block count their first bit as reserved; the library's flags start at the second.
int flagsOf(MmsValue* value) {
    return static_cast<int>(MmsValue_getBitStringAsInteger(value) >> 1);
}

const RcbAttribute kRcbAttributes[] = {
    {"RptID", RCB_ELEMENT_RPT_ID,
     [](ClientReportControlBlock rcb, MmsValue* v) {
         ClientReportControlBlock_setRptId(rcb, MmsValue_toString(v));
     }},
    {"RptEna", RCB_ELEMENT_RPT_ENA,
     [](ClientReportControlBlock rcb, MmsValue* v) {
         ClientReportControlBlock_setRptEna(rcb, MmsValue_getBoolean(v));
     }},
    {"Resv", RCB_ELEMENT_RESV,
     [](ClientReportControlBlock rcb, MmsValue* v) {
         ClientReportControlBlock_setResv(rcb, MmsValue_getBoolean(v));
     }},
    {"DatSet", RCB_ELEMENT_DATSET,
     [](ClientReportControlBlock rcb, MmsValue* v) {
         ClientReportControlBlock_setDataSetReference(rcb, MmsValue_toString(v));
     }},
    {"OptFlds", RCB_ELEMENT_OPT_FLDS,
     [](ClientReportControlBlock rcb, MmsValue* v) { ClientReportControlBlock_setOptFlds(rcb, flagsOf(v)); }},
    {"BufTm", RCB_ELEMENT_BUF_TM,
     [](ClientReportControlBlock rcb, MmsValue* v) {
         ClientReportControlBlock_setBufTm(rcb, MmsValue_toUint32(v));
     }},
    {"TrgOps", RCB_ELEMENT_TRG_OPS,
     [](ClientReportControlBlock rcb, MmsValue* v) { ClientReportControlBlock_setTrgOps(rcb, flagsOf(v)); }},
    {"IntgPd", RCB_ELEMENT_INTG_PD,
     [](ClientReportControlBlock rcb, MmsValue* v) {
         ClientReportControlBlock_setIntgPd(rcb, MmsValue_toUint32(v));
     }},
    {"GI", RCB_ELEMENT_GI,
     [](ClientReportControlBlock rcb, MmsValue* v) {
         ClientReportControlBlock_setGI(rcb, MmsValue_getBoolean(v));
     }},
    {"PurgeBuf", RCB_ELEMENT_PURGE_BUF,
     [](ClientReportControlBlock rcb, MmsValue* v) {
         ClientReportControlBlock_setPurgeBuf(rcb, MmsValue_getBoolean(v));
     }},
    {"EntryID", RCB_ELEMENT_ENTRY_ID,
     [](ClientReportControlBlock rcb, MmsValue* v) { ClientReportControlBlock_setEntryId(rcb, v); }},
    {"ResvTms", RCB_ELEMENT_RESV_TMS,
     [](ClientReportControlBlock rcb, MmsValue* v) {
         ClientReportControlBlock_setResvTms(rcb, static_cast<int16_t>(MmsValue_toInt64(v)));
     }},
};

const RcbAttribute* rcbAttribute(const QString& name) {
    for (const RcbAttribute& attribute : kRcbAttributes) {
        if (name == QLatin1String(attribute.name)) {
            return &attribute;
        }
    }
    return nullptr;
}

}  // namespace

MmsVariableSpecification* Iec61850Network::typeOf(const QString& ref, FunctionalConstraint fc,
                                                  IedClientError* error) {
    const quint64 association = liveAssociation.load();
    if (association != typeCacheAssociation) {
        typeCache.clear();  // another device, or the same one restarted with another model
        typeCacheAssociation = association;
    }
    const std::string key = std::to_string(static_cast<int>(fc)) + '|' + ref.toStdString();
    const auto cached = typeCache.find(key);
    if (cached != typeCache.end()) {
        *error = IED_ERROR_OK;
        return cached->second.get();
    }
    MmsVariableSpecification* type =
        IedConnection_getVariableSpecification(connection, error, ref.toUtf8().constData(), fc);
    noteActivity();
    noteRequestFailure(*error);
    if (type == nullptr) {
        if (*error == IED_ERROR_OK) {
            *error = IED_ERROR_UNEXPECTED_VALUE_RECEIVED;
        }
        return nullptr;
    }
    return typeCache.emplace(key, SpecPtr(type)).first->second.get();
}

void Iec61850Network::describeValue(const QString& ref_string, const QString& fc_string) {
    const QString letters = fcLetters(fc_string);
    const RequestScope scope(*this);
    if (!scope.allowed()) {
        emit valueDescribed(ref_string, letters, -1, 0, failureText(IED_ERROR_NOT_CONNECTED));
        return;
    }
    IedClientError error = IED_ERROR_OK;
    MmsVariableSpecification* type = typeOf(ref_string, fcOf(letters), &error);
    if (type == nullptr) {
        emit valueDescribed(ref_string, letters, -1, 0, failureText(error));
        return;
    }
    emit valueDescribed(ref_string, letters, MmsVariableSpecification_getType(type),
                        MmsVariableSpecification_getSize(type), QString());
}

QString Iec61850Network::readBack(const QString& ref, const QString& fc) {
    if (!mayRequest()) {
        return QString();
    }
    IedClientError error = IED_ERROR_OK;
    const ValuePtr value(IedConnection_readObject(connection, &error, ref.toUtf8().constData(), fcOf(fc)));
    noteActivity();
    noteRequestFailure(error);
    if (!value || !readFailure(value.get(), error).isEmpty()) {
        return QString();
    }
    const QString text = iec61850::renderValue(value.get(), ref, false).texts.value(0);
    // The trees show an attribute under one constraint; a setting read under SE is not theirs.
    if (refToFc.value(ref) == QLatin1Char('[') + fc + QLatin1Char(']')) {
        emit updateValue(ref, text);
    }
    return text;
}

void Iec61850Network::writeValue(const QString& ref_string, const QString& fc_string,
                                 const QString& value_text) {
    const QString letters = fcLetters(fc_string);
    const auto fail = [&](const QString& cause, const QString& after) {
        emit setStatusBarMessage(QStringLiteral("Write fail: %1: %2").arg(ref_string, cause));
        emit valueWritten(ref_string, letters, cause, after);
    };
    const RequestScope scope(*this);
    if (!scope.allowed()) {
        fail(failureText(IED_ERROR_NOT_CONNECTED), QString());
        return;
    }
    const FunctionalConstraint fc = fcOf(letters);
    if (fc == IEC61850_FC_NONE) {
        fail(QStringLiteral("no functional constraint"), QString());
        return;
    }
    IedClientError error = IED_ERROR_OK;
    MmsVariableSpecification* type = typeOf(ref_string, fc, &error);
    if (type == nullptr) {
        fail(failureText(error), QString());
        return;
    }
    const valueedit::ParsedValue parsed = valueedit::parseValue(value_text.toStdString(), type);
    if (!parsed.value) {
        fail(QString::fromStdString(parsed.error), QString());
        return;
    }
    IedConnection_writeObject(connection, &error, ref_string.toUtf8().constData(), fc, parsed.value.get());
    noteActivity();
    noteRequestFailure(error);
    const QString after = readBack(ref_string, letters);
    if (error != IED_ERROR_OK) {
        fail(failureText(error), after);
        return;
    }
    emit setStatusBarMessage(QStringLiteral("Write ok: %1").arg(ref_string));
    emit valueWritten(ref_string, letters, QString(), after);
}

void Iec61850Network::readObjectValues(const QString& ref_string, const QString& fc_string) {
    const QString letters = fcLetters(fc_string);
    const RequestScope scope(*this);
    if (!scope.allowed()) {
        emit objectValuesRead(ref_string, letters, {}, {}, {}, {}, failureText(IED_ERROR_NOT_CONNECTED));
        return;
    }
    const FunctionalConstraint fc = fcOf(letters);
    IedClientError error = IED_ERROR_OK;
    // The names of a structure's components come with its type; without them the values still show.
    MmsVariableSpecification* type = typeOf(ref_string, fc, &error);
    error = IED_ERROR_OK;
    const ValuePtr value(IedConnection_readObject(connection, &error, ref_string.toUtf8().constData(), fc));
    noteActivity();
    noteRequestFailure(error);
    const QString failure = readFailure(value.get(), error);
    if (!failure.isEmpty()) {
        emit objectValuesRead(ref_string, letters, {}, {}, {}, {}, failure);
        return;
    }
    Leaves leaves;
    flatten(value.get(), type, ref_string, QString(), &leaves);
    const QString treeFc = QLatin1Char('[') + letters + QLatin1Char(']');
    for (int i = 0; i < leaves.names.size(); ++i) {
        const QString& name = leaves.names.at(i);
        const QString leaf = name.isEmpty() ? ref_string : ref_string + QLatin1Char('.') + name;
        if (refToFc.value(leaf) == treeFc) {
            emit updateValue(leaf, leaves.texts.at(i));
        }
    }
    emit objectValuesRead(ref_string, letters, leaves.names, leaves.texts, leaves.types, leaves.sizes,
                          QString());
}

void Iec61850Network::writeReportControlBlock(const QString& rcb_ref, const QString& fc_string,
                                              const QStringList& names, const QStringList& value_texts,
                                              bool single_request) {
    const QString letters = fcLetters(fc_string);
    QStringList errors;
    const auto finish = [&] {
        QStringList failed;
        for (int i = 0; i < names.size(); ++i) {
            if (!errors.value(i).isEmpty()) {
                failed << names.at(i) + QStringLiteral(": ") + errors.at(i);
            }
        }
        emit setStatusBarMessage(
            failed.isEmpty()
                ? QStringLiteral("Write ok: %1").arg(rcb_ref)
                : QStringLiteral("Write fail: %1: %2").arg(rcb_ref, failed.join(QStringLiteral(", "))));
        emit reportControlBlockWritten(rcb_ref, names, errors);
    };
    const auto failAll = [&](const QString& cause) {
        errors.clear();
        for (int i = 0; i < names.size(); ++i) {
            errors << cause;
        }
        finish();
    };
    const RequestScope scope(*this);
    if (!scope.allowed()) {
        failAll(failureText(IED_ERROR_NOT_CONNECTED));
        return;
    }
    if (names.size() != value_texts.size() ||
        (letters != QLatin1String("RP") && letters != QLatin1String("BR"))) {
        failAll(failureText(IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT));
        return;
    }
    IedClientError error = IED_ERROR_OK;
    MmsVariableSpecification* type = typeOf(rcb_ref, fcOf(letters), &error);
    if (type == nullptr) {
        failAll(failureText(error));
        return;
    }
    // The library names the block with its constraint before its own name: LD/LN.RP.name.
    QStringList parts = rcb_ref.split(QLatin1Char('.'));
    const QString blockName = parts.takeLast();
    parts << letters << blockName;
    const QByteArray address = parts.join(QLatin1Char('.')).toUtf8();
    ClientReportControlBlock rcb =
        IedConnection_getRCBValues(connection, &error, address.constData(), nullptr);
    noteActivity();
    noteRequestFailure(error);
    if (rcb == nullptr) {
        failAll(failureText(error != IED_ERROR_OK ? error : IED_ERROR_UNEXPECTED_VALUE_RECEIVED));
        return;
    }
    // Every value is checked against the block's type before anything is sent.
    std::vector<uint32_t> masks;
    std::vector<valueedit::ValuePtr> values;
    for (int i = 0; i < names.size(); ++i) {
        const RcbAttribute* attribute = rcbAttribute(names.at(i));
        MmsVariableSpecification* field = MmsVariableSpecification_getChildSpecificationByName(
            type, names.at(i).toUtf8().constData(), nullptr);
        valueedit::ParsedValue parsed;
        if (attribute == nullptr || field == nullptr) {
            parsed.error = "not a writable attribute of the block";
        } else {
            parsed = valueedit::parseValue(value_texts.at(i).toStdString(), field);
        }
        errors << QString::fromStdString(parsed.error);
        masks.push_back(attribute ? attribute->mask : 0);
        if (parsed.value) {
            attribute->apply(rcb, parsed.value.get());
        }
        values.push_back(std::move(parsed.value));
    }
    const bool allParsed =
        std::all_of(errors.begin(), errors.end(), [](const QString& e) { return e.isEmpty(); });
    // Enabling from here must find its reports handled, as the Enable button does.
    const int enableAt = names.indexOf(QStringLiteral("RptEna"));
    const bool enabling =
        enableAt >= 0 && values[size_t(enableAt)] && MmsValue_getBoolean(values[size_t(enableAt)].get());
    if (allParsed && enabling) {
        watchReports(rcb, QString::fromUtf8(address));
    }
    if (allParsed && single_request) {
        uint32_t mask = 0;
        for (const uint32_t bit : masks) {
            mask |= bit;
        }
        IedConnection_setRCBValues(connection, &error, rcb, mask, true);
        noteActivity();
        noteRequestFailure(error);
        if (error != IED_ERROR_OK) {
            ClientReportControlBlock_destroy(rcb);
            failAll(failureText(error));
            readObjectValues(rcb_ref, letters);
            return;
        }
    } else if (allParsed) {
        for (size_t i = 0; i < masks.size(); ++i) {
            if (!mayRequest()) {
                errors[int(i)] = failureText(IED_ERROR_CONNECTION_LOST);
                continue;
            }
            IedConnection_setRCBValues(connection, &error, rcb, masks[i], false);
            noteActivity();
            noteRequestFailure(error);
            errors[int(i)] = error == IED_ERROR_OK ? QString() : failureText(error);
        }
    } else {
        // Nothing goes out while one value does not fit; the others say so.
        for (QString& e : errors) {
            if (e.isEmpty()) {
                e = QStringLiteral("not sent");
            }
        }
    }
    ClientReportControlBlock_destroy(rcb);
    if (enableAt >= 0 && errors.value(enableAt).isEmpty()) {
        // Blocks switched on here are switched on again after a reconnect, like those of the button.
        const QString reportsRef = QString::fromUtf8(address);
        enabledReports.removeAll(reportsRef);
        if (enabling) {
            enabledReports.append(reportsRef);
        }
    }
    finish();
    if (mayRequest()) {
        readObjectValues(rcb_ref, letters);
    }
}

}  // namespace iec61850
