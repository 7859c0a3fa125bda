// The report functions of iec61850_client.h: control block copies, their reading and writing, report
// handlers and the accessors of a received report.

#include <new>

#include "client_reports.h"
#include "iec61850_client.h"
#include "ied_connection.h"
#include "report_control_block.h"

using iecstack::client::RcbAttribute;

namespace {

const MmsValue* attribute(ClientReportControlBlock self, RcbAttribute which) {
    return self != nullptr ? self->get(which) : nullptr;
}

const char* textOf(ClientReportControlBlock self, RcbAttribute which) {
    const MmsValue* value = attribute(self, which);
    return value != nullptr && value->type() == MMS_VISIBLE_STRING ? value->text().c_str() : nullptr;
}

bool boolOf(ClientReportControlBlock self, RcbAttribute which) {
    const MmsValue* value = attribute(self, which);
    return value != nullptr && value->boolValue();
}

uint64_t numberOf(ClientReportControlBlock self, RcbAttribute which) {
    const MmsValue* value = attribute(self, which);
    return value != nullptr ? value->toUint64() : 0;
}

void setValue(ClientReportControlBlock self, RcbAttribute which, MmsValue value) {
    if (self != nullptr) {
        self->set(which, std::move(value));
    }
}

// OptFlds and TrgOps as integers: bit n of the integer is bit n+1 of the string (bit 0 is reserved).
int flagsOf(ClientReportControlBlock self, RcbAttribute which) {
    const MmsValue* value = attribute(self, which);
    if (value == nullptr || value->type() != MMS_BIT_STRING) {
        return 0;
    }
    int flags = 0;
    for (size_t bit = 1; bit < value->bitCount() && bit < 31; ++bit) {
        if (value->bit(bit)) {
            flags |= 1 << (bit - 1);
        }
    }
    return flags;
}

void setFlags(ClientReportControlBlock self, RcbAttribute which, int flags, size_t defaultBits) {
    if (self == nullptr) {
        return;
    }
    const MmsValue* current = self->get(which);
    const size_t bits = current != nullptr && current->bitCount() > 1 ? current->bitCount() : defaultBits;
    iecstack::mms::BitString string(bits);
    for (size_t bit = 1; bit < bits && bit < 31; ++bit) {
        string.setBit(bit, (flags & (1 << (bit - 1))) != 0);
    }
    self->set(which, MmsValue::bitString(string));
}

MmsValue* octetsOf(ClientReportControlBlock self, RcbAttribute which) {
    const MmsValue* value = attribute(self, which);
    return value != nullptr && value->type() == MMS_OCTET_STRING ? const_cast<MmsValue*>(value) : nullptr;
}

}  // namespace

extern "C" {

ClientReportControlBlock ClientReportControlBlock_create(const char* rcbReference) {
    return sClientReportControlBlock::create(rcbReference);
}

void ClientReportControlBlock_destroy(ClientReportControlBlock self) {
    delete self;
}

ClientReportControlBlock IedConnection_getRCBValues(IedConnection self, IedClientError* error,
                                                    const char* rcbReference,
                                                    ClientReportControlBlock updateRcb) {
    iecstack::client::ErrorSink sink(error);
    if (self == nullptr) {
        sink.reported = iecstack::client::ClientError::InvalidArgument;
        return nullptr;
    }
    return self->connection.readReportControlBlock(&sink.reported, rcbReference, updateRcb);
}

void IedConnection_setRCBValues(IedConnection self, IedClientError* error, ClientReportControlBlock rcb,
                                uint32_t parametersMask, bool singleRequest) {
    iecstack::client::ErrorSink sink(error);
    if (self == nullptr) {
        sink.reported = iecstack::client::ClientError::InvalidArgument;
        return;
    }
    self->connection.writeReportControlBlock(&sink.reported, rcb, parametersMask, singleRequest);
}

const char* ClientReportControlBlock_getObjectReference(ClientReportControlBlock self) {
    return self != nullptr ? self->reference.c_str() : nullptr;
}

bool ClientReportControlBlock_isBuffered(ClientReportControlBlock self) {
    return self != nullptr && self->buffered;
}

const char* ClientReportControlBlock_getRptId(ClientReportControlBlock self) {
    return textOf(self, RcbAttribute::RptId);
}

void ClientReportControlBlock_setRptId(ClientReportControlBlock self, const char* rptId) {
    setValue(self, RcbAttribute::RptId, MmsValue::visibleString(rptId != nullptr ? rptId : ""));
}

bool ClientReportControlBlock_getRptEna(ClientReportControlBlock self) {
    return boolOf(self, RcbAttribute::RptEna);
}

void ClientReportControlBlock_setRptEna(ClientReportControlBlock self, bool rptEna) {
    setValue(self, RcbAttribute::RptEna, MmsValue::boolean(rptEna));
}

bool ClientReportControlBlock_getResv(ClientReportControlBlock self) {
    return boolOf(self, RcbAttribute::Resv);
}

void ClientReportControlBlock_setResv(ClientReportControlBlock self, bool resv) {
    setValue(self, RcbAttribute::Resv, MmsValue::boolean(resv));
}

const char* ClientReportControlBlock_getDataSetReference(ClientReportControlBlock self) {
    return textOf(self, RcbAttribute::DatSet);
}

void ClientReportControlBlock_setDataSetReference(ClientReportControlBlock self,
                                                  const char* dataSetReference) {
    setValue(self, RcbAttribute::DatSet,
             MmsValue::visibleString(dataSetReference != nullptr ? dataSetReference : ""));
}

uint32_t ClientReportControlBlock_getConfRev(ClientReportControlBlock self) {
    return static_cast<uint32_t>(numberOf(self, RcbAttribute::ConfRev));
}

int ClientReportControlBlock_getOptFlds(ClientReportControlBlock self) {
    return flagsOf(self, RcbAttribute::OptFlds);
}

void ClientReportControlBlock_setOptFlds(ClientReportControlBlock self, int optFlds) {
    setFlags(self, RcbAttribute::OptFlds, optFlds, 10);
}

uint32_t ClientReportControlBlock_getBufTm(ClientReportControlBlock self) {
    return static_cast<uint32_t>(numberOf(self, RcbAttribute::BufTm));
}

void ClientReportControlBlock_setBufTm(ClientReportControlBlock self, uint32_t bufTm) {
    setValue(self, RcbAttribute::BufTm, MmsValue::unsignedInteger(bufTm));
}

uint16_t ClientReportControlBlock_getSqNum(ClientReportControlBlock self) {
    return static_cast<uint16_t>(numberOf(self, RcbAttribute::SqNum));
}

int ClientReportControlBlock_getTrgOps(ClientReportControlBlock self) {
    return flagsOf(self, RcbAttribute::TrgOps);
}

void ClientReportControlBlock_setTrgOps(ClientReportControlBlock self, int trgOps) {
    setFlags(self, RcbAttribute::TrgOps, trgOps, 6);
}

uint32_t ClientReportControlBlock_getIntgPd(ClientReportControlBlock self) {
    return static_cast<uint32_t>(numberOf(self, RcbAttribute::IntgPd));
}

void ClientReportControlBlock_setIntgPd(ClientReportControlBlock self, uint32_t intgPd) {
    setValue(self, RcbAttribute::IntgPd, MmsValue::unsignedInteger(intgPd));
}

bool ClientReportControlBlock_getGI(ClientReportControlBlock self) {
    return boolOf(self, RcbAttribute::GI);
}

void ClientReportControlBlock_setGI(ClientReportControlBlock self, bool gi) {
    setValue(self, RcbAttribute::GI, MmsValue::boolean(gi));
}

bool ClientReportControlBlock_getPurgeBuf(ClientReportControlBlock self) {
    return boolOf(self, RcbAttribute::PurgeBuf);
}

void ClientReportControlBlock_setPurgeBuf(ClientReportControlBlock self, bool purgeBuf) {
    setValue(self, RcbAttribute::PurgeBuf, MmsValue::boolean(purgeBuf));
}

bool ClientReportControlBlock_hasResvTms(ClientReportControlBlock self) {
    return attribute(self, RcbAttribute::ResvTms) != nullptr;
}

int16_t ClientReportControlBlock_getResvTms(ClientReportControlBlock self) {
    const MmsValue* value = attribute(self, RcbAttribute::ResvTms);
    return value != nullptr ? static_cast<int16_t>(value->toInt64()) : 0;
}

void ClientReportControlBlock_setResvTms(ClientReportControlBlock self, int16_t resvTms) {
    setValue(self, RcbAttribute::ResvTms, MmsValue::integer(resvTms));
}

MmsValue* ClientReportControlBlock_getEntryId(ClientReportControlBlock self) {
    return octetsOf(self, RcbAttribute::EntryId);
}

void ClientReportControlBlock_setEntryId(ClientReportControlBlock self, MmsValue* entryId) {
    if (entryId != nullptr && entryId->type() == MMS_OCTET_STRING) {
        setValue(self, RcbAttribute::EntryId, *entryId);
    }
}

uint64_t ClientReportControlBlock_getEntryTime(ClientReportControlBlock self) {
    const MmsValue* value = attribute(self, RcbAttribute::TimeOfEntry);
    return value != nullptr && value->type() == MMS_BINARY_TIME ? value->binaryTimeMs() : 0;
}

MmsValue* ClientReportControlBlock_getOwner(ClientReportControlBlock self) {
    return octetsOf(self, RcbAttribute::Owner);
}

void IedConnection_installReportHandler(IedConnection self, const char* rcbReference, const char* rptId,
                                        ReportCallbackFunction handler, void* handlerParameter) {
    if (self != nullptr && rcbReference != nullptr && handler != nullptr) {
        self->connection.reportHandlers().install(rcbReference, rptId, handler, handlerParameter);
    }
}

void IedConnection_uninstallReportHandler(IedConnection self, const char* rcbReference) {
    if (self != nullptr && rcbReference != nullptr) {
        self->connection.reportHandlers().uninstall(rcbReference);
    }
}

const char* ClientReport_getRcbReference(ClientReport self) {
    return self != nullptr ? self->rcbReference.c_str() : nullptr;
}

const char* ClientReport_getRptId(ClientReport self) {
    return self != nullptr ? self->rptId.c_str() : nullptr;
}

const char* ClientReport_getDataSetName(ClientReport self) {
    return self != nullptr && self->dataSetName ? self->dataSetName->c_str() : nullptr;
}

bool ClientReport_hasDataSetName(ClientReport self) {
    return self != nullptr && self->dataSetName.has_value();
}

MmsValue* ClientReport_getDataSetValues(ClientReport self) {
    return self != nullptr ? &self->values : nullptr;
}

bool ClientReport_hasDataReference(ClientReport self) {
    return self != nullptr && self->hasDataReferences;
}

const char* ClientReport_getDataReference(ClientReport self, int elementIndex) {
    if (self == nullptr || elementIndex < 0 ||
        static_cast<size_t>(elementIndex) >= self->dataReferences.size()) {
        return nullptr;
    }
    const auto& reference = self->dataReferences[static_cast<size_t>(elementIndex)];
    return reference ? reference->c_str() : nullptr;
}

bool ClientReport_hasReasonForInclusion(ClientReport self) {
    return self != nullptr && self->hasReasons;
}

ReasonForInclusion ClientReport_getReasonForInclusion(ClientReport self, int elementIndex) {
    if (self == nullptr || elementIndex < 0 || static_cast<size_t>(elementIndex) >= self->reasons.size()) {
        return IEC61850_REASON_NOT_INCLUDED;
    }
    return static_cast<ReasonForInclusion>(self->reasons[static_cast<size_t>(elementIndex)]);
}

bool ClientReport_hasSeqNum(ClientReport self) {
    return self != nullptr && self->seqNum.has_value();
}

uint16_t ClientReport_getSeqNum(ClientReport self) {
    return self != nullptr && self->seqNum ? static_cast<uint16_t>(*self->seqNum) : 0;
}

bool ClientReport_hasTimestamp(ClientReport self) {
    return self != nullptr && self->timeOfEntryMs.has_value();
}

uint64_t ClientReport_getTimestamp(ClientReport self) {
    return self != nullptr && self->timeOfEntryMs ? *self->timeOfEntryMs : 0;
}

bool ClientReport_hasConfRev(ClientReport self) {
    return self != nullptr && self->confRev.has_value();
}

uint32_t ClientReport_getConfRev(ClientReport self) {
    return self != nullptr && self->confRev ? *self->confRev : 0;
}

bool ClientReport_hasBufOvfl(ClientReport self) {
    return self != nullptr && self->bufOvfl.has_value();
}

bool ClientReport_getBufOvfl(ClientReport self) {
    return self != nullptr && self->bufOvfl.value_or(false);
}

MmsValue* ClientReport_getEntryId(ClientReport self) {
    return self != nullptr && self->entryId ? &*self->entryId : nullptr;
}

bool ClientReport_hasSubSeqNum(ClientReport self) {
    return self != nullptr && self->subSeqNum.has_value();
}

uint16_t ClientReport_getSubSeqNum(ClientReport self) {
    return self != nullptr && self->subSeqNum ? static_cast<uint16_t>(*self->subSeqNum) : 0;
}

bool ClientReport_getMoreSeqmentsFollow(ClientReport self) {
    return self != nullptr && self->moreSegmentsFollow;
}

}  // extern "C"
