#pragma once

/* C client API of the Korvan protocol stack: one association with an IEC 61850 server (an MMS
 * server on ISO-on-TCP), its directory services and reads.
 *
 * The names, types and constant values follow the widely used libiec61850 client API so that the
 * same engine code also builds against that library (CMake option KORVAN_USE_LIBIEC61850). */

#if defined(KORVAN_USE_LIBIEC61850)
#include_next <iec61850_client.h>
#else

#include <stdbool.h>
#include <stdint.h>

#include "linked_list.h"
#include "mms_type_spec.h"
#include "mms_value.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Handles and helpers -------------------------------------------------------------------- */

typedef struct sIedConnection* IedConnection;
typedef struct sClientReportControlBlock* ClientReportControlBlock;
typedef struct sClientReport* ClientReport;
typedef struct sControlObjectClient* ControlObjectClient;
typedef struct sClientDataSet* ClientDataSet;

/* ---- Enumerations and constants --------------------------------------------------------------- */

typedef enum {
    IED_ERROR_OK = 0,
    IED_ERROR_NOT_CONNECTED = 1,
    IED_ERROR_ALREADY_CONNECTED = 2,
    IED_ERROR_CONNECTION_LOST = 3,
    IED_ERROR_SERVICE_NOT_SUPPORTED = 4,
    IED_ERROR_CONNECTION_REJECTED = 5,
    IED_ERROR_OUTSTANDING_CALL_LIMIT_REACHED = 6,
    IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT = 10,
    IED_ERROR_ENABLE_REPORT_FAILED_DATASET_MISMATCH = 11,
    IED_ERROR_OBJECT_REFERENCE_INVALID = 12,
    IED_ERROR_UNEXPECTED_VALUE_RECEIVED = 13,
    IED_ERROR_TIMEOUT = 20,
    IED_ERROR_ACCESS_DENIED = 21,
    IED_ERROR_OBJECT_DOES_NOT_EXIST = 22,
    IED_ERROR_OBJECT_EXISTS = 23,
    IED_ERROR_OBJECT_ACCESS_UNSUPPORTED = 24,
    IED_ERROR_TYPE_INCONSISTENT = 25,
    IED_ERROR_TEMPORARILY_UNAVAILABLE = 26,
    IED_ERROR_OBJECT_UNDEFINED = 27,
    IED_ERROR_INVALID_ADDRESS = 28,
    IED_ERROR_HARDWARE_FAULT = 29,
    IED_ERROR_TYPE_UNSUPPORTED = 30,
    IED_ERROR_OBJECT_ATTRIBUTE_INCONSISTENT = 31,
    IED_ERROR_OBJECT_VALUE_INVALID = 32,
    IED_ERROR_OBJECT_INVALIDATED = 33,
    IED_ERROR_MALFORMED_MESSAGE = 34,
    IED_ERROR_SERVICE_NOT_IMPLEMENTED = 98,
    IED_ERROR_UNKNOWN = 99
} IedClientError;

typedef enum {
    IEC61850_FC_ST = 0,
    IEC61850_FC_MX = 1,
    IEC61850_FC_SP = 2,
    IEC61850_FC_SV = 3,
    IEC61850_FC_CF = 4,
    IEC61850_FC_DC = 5,
    IEC61850_FC_SG = 6,
    IEC61850_FC_SE = 7,
    IEC61850_FC_SR = 8,
    IEC61850_FC_OR = 9,
    IEC61850_FC_BL = 10,
    IEC61850_FC_EX = 11,
    IEC61850_FC_CO = 12,
    IEC61850_FC_US = 13,
    IEC61850_FC_MS = 14,
    IEC61850_FC_RP = 15,
    IEC61850_FC_BR = 16,
    IEC61850_FC_LG = 17,
    IEC61850_FC_GO = 18,
    IEC61850_FC_ALL = 99,
    IEC61850_FC_NONE = -1
} FunctionalConstraint;

/* Looks at the first two characters only, so "ST" and "ST$Mod" both give IEC61850_FC_ST; anything
 * unknown (also null) gives IEC61850_FC_NONE. */
FunctionalConstraint FunctionalConstraint_fromString(const char* fcString);

typedef enum {
    ACSI_CLASS_DATA_OBJECT,
    ACSI_CLASS_DATA_SET,
    ACSI_CLASS_BRCB,
    ACSI_CLASS_URCB,
    ACSI_CLASS_LCB,
    ACSI_CLASS_LOG,
    ACSI_CLASS_SGCB,
    ACSI_CLASS_GoCB,
    ACSI_CLASS_GsCB,
    ACSI_CLASS_MSVCB,
    ACSI_CLASS_USVCB
} ACSIClass;

/* Report control block attributes, as bits of the parameter mask of a write-back. */
#define RCB_ELEMENT_RPT_ID 1
#define RCB_ELEMENT_RPT_ENA 2
#define RCB_ELEMENT_RESV 4
#define RCB_ELEMENT_DATSET 8
#define RCB_ELEMENT_CONF_REV 16
#define RCB_ELEMENT_OPT_FLDS 32
#define RCB_ELEMENT_BUF_TM 64
#define RCB_ELEMENT_SQ_NUM 128
#define RCB_ELEMENT_TRG_OPS 256
#define RCB_ELEMENT_INTG_PD 512
#define RCB_ELEMENT_GI 1024
#define RCB_ELEMENT_PURGE_BUF 2048
#define RCB_ELEMENT_ENTRY_ID 4096
#define RCB_ELEMENT_TIME_OF_ENTRY 8192
#define RCB_ELEMENT_RESV_TMS 16384
#define RCB_ELEMENT_OWNER 32768

/* In C++ the type has a fixed base, so that a cause outside the list keeps its number. */
#ifdef __cplusplus
typedef enum : int {
#else
typedef enum {
#endif
    ADD_CAUSE_UNKNOWN = 0,
    ADD_CAUSE_NOT_SUPPORTED = 1,
    ADD_CAUSE_BLOCKED_BY_SWITCHING_HIERARCHY = 2,
    ADD_CAUSE_SELECT_FAILED = 3,
    ADD_CAUSE_INVALID_POSITION = 4,
    ADD_CAUSE_POSITION_REACHED = 5,
    ADD_CAUSE_PARAMETER_CHANGE_IN_EXECUTION = 6,
    ADD_CAUSE_STEP_LIMIT = 7,
    ADD_CAUSE_BLOCKED_BY_MODE = 8,
    ADD_CAUSE_BLOCKED_BY_PROCESS = 9,
    ADD_CAUSE_BLOCKED_BY_INTERLOCKING = 10,
    ADD_CAUSE_BLOCKED_BY_SYNCHROCHECK = 11,
    ADD_CAUSE_COMMAND_ALREADY_IN_EXECUTION = 12,
    ADD_CAUSE_BLOCKED_BY_HEALTH = 13,
    ADD_CAUSE_1_OF_N_CONTROL = 14,
    ADD_CAUSE_ABORTION_BY_CANCEL = 15,
    ADD_CAUSE_TIME_LIMIT_OVER = 16,
    ADD_CAUSE_ABORTION_BY_TRIP = 17,
    ADD_CAUSE_OBJECT_NOT_SELECTED = 18,
    ADD_CAUSE_OBJECT_ALREADY_SELECTED = 19,
    ADD_CAUSE_NO_ACCESS_AUTHORITY = 20,
    ADD_CAUSE_ENDED_WITH_OVERSHOOT = 21,
    ADD_CAUSE_ABORTION_DUE_TO_DEVIATION = 22,
    ADD_CAUSE_ABORTION_BY_COMMUNICATION_LOSS = 23,
    ADD_CAUSE_ABORTION_BY_COMMAND = 24,
    ADD_CAUSE_NONE = 25,
    ADD_CAUSE_INCONSISTENT_PARAMETERS = 26,
    ADD_CAUSE_LOCKED_BY_OTHER_CLIENT = 27
} ControlAddCause;

typedef enum {
    CONTROL_ERROR_NO_ERROR = 0,
    CONTROL_ERROR_UNKNOWN = 1,
    CONTROL_ERROR_TIMEOUT_TEST = 2,
    CONTROL_ERROR_OPERATOR_TEST = 3
} ControlLastApplError;

typedef struct {
    int ctlNum;
    ControlLastApplError error;
    ControlAddCause addCause;
} LastApplError;

typedef void (*IedConnectionClosedHandler)(void* parameter, IedConnection connection);
typedef void (*ReportCallbackFunction)(void* parameter, ClientReport report);

/* ---- Connection -------------------------------------------------------------------------------- */

/* A new handle without an association. */
IedConnection IedConnection_create(void);

/* Blocks until the TCP connection, the association and the MMS initiate are done, the connect
 * time-out has passed or the server refused. */
void IedConnection_connect(IedConnection self, IedClientError* error, const char* hostname, int tcpPort);

/* Defaults: 10000 ms for connecting, 5000 ms for every confirmed request. A request that times out
 * while nothing at all came from the server meanwhile ends the association as lost: the closed
 * handler has run when the request returns IED_ERROR_TIMEOUT, and later requests fail at once. */
void IedConnection_setConnectTimeout(IedConnection self, uint32_t timeoutInMs);
void IedConnection_setRequestTimeout(IedConnection self, uint32_t timeoutInMs);

/* Runs once, on the receive thread, when an established association ends for any other reason than
 * IedConnection_close, IedConnection_abort or IedConnection_destroy by the owner. The handler may call any
 * function of this API on the handle, IedConnection_destroy included (the handle must not be used after
 * that). */
void IedConnection_installConnectionClosedHandler(IedConnection self, IedConnectionClosedHandler handler,
                                                  void* parameter);

/* Concludes and releases the association; the handle can connect again. A server that does not
 * answer within half a second (or the request time-out, if shorter) gets an abort instead. */
void IedConnection_close(IedConnection self);

/* Aborts the association at once, without waiting for the server; safe from any thread while other
 * threads wait in requests on the handle, which then fail. The closed handler does not run for it;
 * the handle can connect again. */
void IedConnection_abort(IedConnection self, IedClientError* error);

/* Closes if needed and frees the handle; no callback runs once it has returned. */
void IedConnection_destroy(IedConnection self);

/* ---- Directory services ---------------------------------------------------------------------- */

/* All lists below are LinkedLists of malloc'ed char* owned by the caller (LinkedList_destroy), or
 * null with *error set. The domain list and each domain's variable names are fetched once per
 * association; data sets are asked for on every call. */

LinkedList IedConnection_getLogicalDeviceList(IedConnection self, IedClientError* error);

/* The logical nodes of a logical device, in server order. */
LinkedList IedConnection_getLogicalDeviceDirectory(IedConnection self, IedClientError* error,
                                                   const char* logicalDeviceName);

/* For "LD/LN": data objects, data sets, URCBs or BRCBs of that logical node by name. */
LinkedList IedConnection_getLogicalNodeDirectory(IedConnection self, IedClientError* error,
                                                 const char* logicalNodeReference, ACSIClass acsiClass);

/* For "LD/LN.DO[.DA...]" or "LD/LN.RCB": the direct children as "name[FC]", one per distinct
 * name and FC, in server order. A leaf gives an empty list. */
LinkedList IedConnection_getDataDirectoryFC(IedConnection self, IedClientError* error,
                                            const char* dataReference);

/* For "LD/LN.DS": the members as "LD/LN.DO.DA[FC]". isDeletable may be null. */
LinkedList IedConnection_getDataSetDirectory(IedConnection self, IedClientError* error,
                                             const char* dataSetReference, bool* isDeletable);

/* ---- Reading ---------------------------------------------------------------------------------- */

/* Reads "LD/LN.DO.DA" under fc. The caller owns the value (MmsValue_delete). When the device refuses
 * the attribute, *error is IED_ERROR_OK and the value is of type MMS_DATA_ACCESS_ERROR
 * (MmsValue_getDataAccessError says why); null with *error set when there is no answer to give. */
MmsValue* IedConnection_readObject(IedConnection self, IedClientError* error,
                                   const char* dataAttributeReference, FunctionalConstraint fc);

/* ---- Data sets -------------------------------------------------------------------------------- *
 * A data set reference is "LD/LN.name" (or "LD/LN$name") for a set in a logical node, which every
 * client sees until it is deleted, or "@name" for a temporary set of this association alone, which
 * goes with the association. Members are "LD/LN.DO.DA[FC]", as IedConnection_getDataSetDirectory
 * gives them. */

/* dataSetElements: a LinkedList of char* member references, still the caller's. The device refuses a
 * name it already has (IED_ERROR_OBJECT_EXISTS) and members it does not have
 * (IED_ERROR_OBJECT_DOES_NOT_EXIST). */
void IedConnection_createDataSet(IedConnection self, IedClientError* error, const char* dataSetReference,
                                 LinkedList dataSetElements);
/* True when the set is gone. A set the device configured itself, or one a control block names as its
 * DatSet, is kept (IED_ERROR_ACCESS_DENIED). */
bool IedConnection_deleteDataSet(IedConnection self, IedClientError* error, const char* dataSetReference);
/* Reads every member in one request. With dataSet null a new ClientDataSet is returned (the caller
 * destroys it); otherwise dataSet is refreshed and returned. Null with *error set on failure. */
ClientDataSet IedConnection_readDataSetValues(IedConnection self, IedClientError* error,
                                              const char* dataSetReference, ClientDataSet dataSet);
/* values: a LinkedList of MmsValue*, one per member in member order, still the caller's. The device
 * writes member by member; with accessResults not null, *accessResults becomes a list (the caller's,
 * LinkedList_destroyDeep with MmsValue_delete) of one MMS_DATA_ACCESS_ERROR value per member, whose
 * MmsValue_getDataAccessError is -1 (DATA_ACCESS_ERROR_SUCCESS) for a member that was written. */
void IedConnection_writeDataSetValues(IedConnection self, IedClientError* error, const char* dataSetReference,
                                      LinkedList values, LinkedList* accessResults);

void ClientDataSet_destroy(ClientDataSet self);
/* An MMS_ARRAY with one element per member (a value or an MMS_DATA_ACCESS_ERROR), owned by the set. */
MmsValue* ClientDataSet_getValues(ClientDataSet self);
char* ClientDataSet_getReference(ClientDataSet self);
int ClientDataSet_getDataSetSize(ClientDataSet self);

/* ---- Writing ---------------------------------------------------------------------------------- */

/* Writes value (still the caller's) to "LD/LN.DO.DA" under fc and blocks until the device answered.
 * A refusal sets the data-access error the device gave (IED_ERROR_ACCESS_DENIED,
 * IED_ERROR_TYPE_INCONSISTENT, IED_ERROR_OBJECT_VALUE_INVALID, IED_ERROR_TEMPORARILY_UNAVAILABLE, ...);
 * an answer that does not say whether the value was written gives IED_ERROR_UNEXPECTED_VALUE_RECEIVED. */
void IedConnection_writeObject(IedConnection self, IedClientError* error, const char* dataAttributeReference,
                               FunctionalConstraint fc, MmsValue* value);
/* The same with a value of the named type: a boolean, a 32-bit integer or unsigned, a single-precision
 * float, a visible string or an octet string. */
void IedConnection_writeBooleanValue(IedConnection self, IedClientError* error, const char* objectReference,
                                     FunctionalConstraint fc, bool value);
void IedConnection_writeInt32Value(IedConnection self, IedClientError* error, const char* objectReference,
                                   FunctionalConstraint fc, int32_t value);
void IedConnection_writeUnsigned32Value(IedConnection self, IedClientError* error,
                                        const char* objectReference, FunctionalConstraint fc, uint32_t value);
void IedConnection_writeFloatValue(IedConnection self, IedClientError* error, const char* objectReference,
                                   FunctionalConstraint fc, float value);
void IedConnection_writeVisibleStringValue(IedConnection self, IedClientError* error,
                                           const char* objectReference, FunctionalConstraint fc, char* value);
void IedConnection_writeOctetString(IedConnection self, IedClientError* error, const char* objectReference,
                                    FunctionalConstraint fc, const uint8_t* value, int valueLength);

/* The type description of "LD/LN.DO[.DA]" under fc, owned by the caller (MmsVariableSpecification_destroy);
 * null with *error set on failure. */
MmsVariableSpecification* IedConnection_getVariableSpecification(IedConnection self, IedClientError* error,
                                                                 const char* dataAttributeReference,
                                                                 FunctionalConstraint fc);

/* ---- Report control blocks -------------------------------------------------------------------- */

/* Bits of the OptFlds integer of a control block copy (bit n stands for bit n+1 on the wire). */
#define RPT_OPT_SEQ_NUM 1
#define RPT_OPT_TIME_STAMP 2
#define RPT_OPT_REASON_FOR_INCLUSION 4
#define RPT_OPT_DATA_SET 8
#define RPT_OPT_DATA_REFERENCE 16
#define RPT_OPT_BUFFER_OVERFLOW 32
#define RPT_OPT_ENTRY_ID 64
#define RPT_OPT_CONF_REV 128

/* Bits of the TrgOps integer (bit n stands for bit n+1 on the wire). */
#define TRG_OPT_DATA_CHANGED 1
#define TRG_OPT_QUALITY_CHANGED 2
#define TRG_OPT_DATA_UPDATE 4
#define TRG_OPT_INTEGRITY 8
#define TRG_OPT_GI 16

/* Why a data set member is in a report; members the report left out give IEC61850_REASON_NOT_INCLUDED. */
typedef enum {
    IEC61850_REASON_NOT_INCLUDED = 0,
    IEC61850_REASON_DATA_CHANGE = 1,
    IEC61850_REASON_QUALITY_CHANGE = 2,
    IEC61850_REASON_DATA_UPDATE = 4,
    IEC61850_REASON_INTEGRITY = 8,
    IEC61850_REASON_GI = 16,
    IEC61850_REASON_UNKNOWN = 32
} ReasonForInclusion;

/* An empty copy of the block "LD/LN.RP.name" or "LD/LN.BR.name"; null for any other form. */
ClientReportControlBlock ClientReportControlBlock_create(const char* rcbReference);
void ClientReportControlBlock_destroy(ClientReportControlBlock self);

/* Reads the whole block. With updateRcb null a new copy is returned (the caller destroys it);
 * otherwise updateRcb is refreshed and returned. Null with *error set on failure. */
ClientReportControlBlock IedConnection_getRCBValues(IedConnection self, IedClientError* error,
                                                    const char* rcbReference,
                                                    ClientReportControlBlock updateRcb);
/* Writes the attributes of the copy named by parametersMask (RCB_ELEMENT_*) that the copy holds. With
 * singleRequest one Write carries them all, otherwise one Write per attribute, stopping at the first
 * refusal. The order is: reservation, configuration, RptEna, GI. */
void IedConnection_setRCBValues(IedConnection self, IedClientError* error, ClientReportControlBlock rcb,
                                uint32_t parametersMask, bool singleRequest);

const char* ClientReportControlBlock_getObjectReference(ClientReportControlBlock self);
bool ClientReportControlBlock_isBuffered(ClientReportControlBlock self);
const char* ClientReportControlBlock_getRptId(ClientReportControlBlock self);
void ClientReportControlBlock_setRptId(ClientReportControlBlock self, const char* rptId);
bool ClientReportControlBlock_getRptEna(ClientReportControlBlock self);
void ClientReportControlBlock_setRptEna(ClientReportControlBlock self, bool rptEna);
bool ClientReportControlBlock_getResv(ClientReportControlBlock self);
void ClientReportControlBlock_setResv(ClientReportControlBlock self, bool resv);
const char* ClientReportControlBlock_getDataSetReference(ClientReportControlBlock self);
void ClientReportControlBlock_setDataSetReference(ClientReportControlBlock self,
                                                  const char* dataSetReference);
uint32_t ClientReportControlBlock_getConfRev(ClientReportControlBlock self);
int ClientReportControlBlock_getOptFlds(ClientReportControlBlock self);
void ClientReportControlBlock_setOptFlds(ClientReportControlBlock self, int optFlds);
uint32_t ClientReportControlBlock_getBufTm(ClientReportControlBlock self);
void ClientReportControlBlock_setBufTm(ClientReportControlBlock self, uint32_t bufTm);
uint16_t ClientReportControlBlock_getSqNum(ClientReportControlBlock self);
int ClientReportControlBlock_getTrgOps(ClientReportControlBlock self);
void ClientReportControlBlock_setTrgOps(ClientReportControlBlock self, int trgOps);
uint32_t ClientReportControlBlock_getIntgPd(ClientReportControlBlock self);
void ClientReportControlBlock_setIntgPd(ClientReportControlBlock self, uint32_t intgPd);
bool ClientReportControlBlock_getGI(ClientReportControlBlock self);
void ClientReportControlBlock_setGI(ClientReportControlBlock self, bool gi);
bool ClientReportControlBlock_getPurgeBuf(ClientReportControlBlock self);
void ClientReportControlBlock_setPurgeBuf(ClientReportControlBlock self, bool purgeBuf);
bool ClientReportControlBlock_hasResvTms(ClientReportControlBlock self);
int16_t ClientReportControlBlock_getResvTms(ClientReportControlBlock self);
void ClientReportControlBlock_setResvTms(ClientReportControlBlock self, int16_t resvTms);
/* The EntryID octet string of the copy (owned by it), null when the block has none. */
MmsValue* ClientReportControlBlock_getEntryId(ClientReportControlBlock self);
/* Copies entryId into the copy. */
void ClientReportControlBlock_setEntryId(ClientReportControlBlock self, MmsValue* entryId);
/* TimeofEntry in ms since 1970, 0 when the block has none. */
uint64_t ClientReportControlBlock_getEntryTime(ClientReportControlBlock self);
/* The Owner octet string (owned by the copy), null when the block has none. */
MmsValue* ClientReportControlBlock_getOwner(ClientReportControlBlock self);

/* ---- Reports ---------------------------------------------------------------------------------- */

/* From now on, reports whose RptID equals rptId (or, rptId null, that name the block rcbReference as
 * their RptID) call handler on the receive thread. Installing again for the same block replaces the
 * earlier handler. The report is valid only during the call. */
void IedConnection_installReportHandler(IedConnection self, const char* rcbReference, const char* rptId,
                                        ReportCallbackFunction handler, void* handlerParameter);
void IedConnection_uninstallReportHandler(IedConnection self, const char* rcbReference);

const char* ClientReport_getRcbReference(ClientReport self);
const char* ClientReport_getRptId(ClientReport self);
/* DatSet as sent ("LD/LN$DS"), null when the report does not carry it. */
const char* ClientReport_getDataSetName(ClientReport self);
bool ClientReport_hasDataSetName(ClientReport self);
/* One element per data set member; MmsValue_getElement gives null for members the report left out. */
MmsValue* ClientReport_getDataSetValues(ClientReport self);
bool ClientReport_hasDataReference(ClientReport self);
/* As sent ("LD/LN$FC$DO$DA"); null for a member the report left out or when it carries no references. */
const char* ClientReport_getDataReference(ClientReport self, int elementIndex);
bool ClientReport_hasReasonForInclusion(ClientReport self);
ReasonForInclusion ClientReport_getReasonForInclusion(ClientReport self, int elementIndex);
bool ClientReport_hasSeqNum(ClientReport self);
uint16_t ClientReport_getSeqNum(ClientReport self);
bool ClientReport_hasTimestamp(ClientReport self);
/* TimeOfEntry in ms since 1970. */
uint64_t ClientReport_getTimestamp(ClientReport self);
bool ClientReport_hasConfRev(ClientReport self);
uint32_t ClientReport_getConfRev(ClientReport self);
bool ClientReport_hasBufOvfl(ClientReport self);
bool ClientReport_getBufOvfl(ClientReport self);
/* The EntryID octet string (owned by the report), null when it does not carry one. */
MmsValue* ClientReport_getEntryId(ClientReport self);
bool ClientReport_hasSubSeqNum(ClientReport self);
uint16_t ClientReport_getSubSeqNum(ClientReport self);
bool ClientReport_getMoreSeqmentsFollow(ClientReport self);
/* ---- Control ---------------------------------------------------------------------------------- */

/* Runs on the receive thread when the server ends an operate of enhanced security: check
 * ControlObjectClient_getLastApplError(controlClient).error; CONTROL_ERROR_NO_ERROR means the command
 * was carried out. */
typedef void (*CommandTerminationHandler)(void* parameter, ControlObjectClient controlClient);

/* For "LD/LN.DO": reads its control model and the types of its commands. Null when the object does not
 * exist, has no Oper or the connection is gone; a status-only object with Oper is created (its model is
 * CONTROL_MODEL_STATUS_ONLY) and the device refuses its commands. Destroy every control object of a connection
 * before the connection. */
ControlObjectClient ControlObjectClient_create(const char* objectReference, IedConnection connection);
void ControlObjectClient_destroy(ControlObjectClient self);

void ControlObjectClient_setInterlockCheck(ControlObjectClient self, bool value);
void ControlObjectClient_setSynchroCheck(ControlObjectClient self, bool value);
/* Commands sent from now on carry Test: the device checks them but does not act on the process. */
void ControlObjectClient_setTestMode(ControlObjectClient self, bool value);
void ControlObjectClient_setOrigin(ControlObjectClient self, const char* orIdent, int orCat);
typedef enum {
    CONTROL_MODEL_STATUS_ONLY = 0,
    CONTROL_MODEL_DIRECT_NORMAL = 1,
    CONTROL_MODEL_SBO_NORMAL = 2,
    CONTROL_MODEL_DIRECT_ENHANCED = 3,
    CONTROL_MODEL_SBO_ENHANCED = 4
} ControlModel;

/* The control model as read by ControlObjectClient_create. */
ControlModel ControlObjectClient_getControlModel(ControlObjectClient self);

/* Each blocks until the server answered, the request timed out or the association was lost; false
 * unless the server accepted. ctlVal stays the caller's. */
bool ControlObjectClient_select(ControlObjectClient self);
bool ControlObjectClient_selectWithValue(ControlObjectClient self, MmsValue* ctlVal);
bool ControlObjectClient_operate(ControlObjectClient self, MmsValue* ctlVal, uint64_t operTime);
bool ControlObjectClient_cancel(ControlObjectClient self);

typedef enum {
    CONTROL_ACTION_TYPE_SELECT = 0,
    CONTROL_ACTION_TYPE_OPERATE = 1,
    CONTROL_ACTION_TYPE_CANCEL = 2
} ControlActionType;

/* How an asynchronous command ended: success when the server accepted it; err says why not
 * (IED_ERROR_TIMEOUT when it did not answer in time). Runs on the receive or timer thread, possibly
 * before the call returns; never after ControlObjectClient_destroy of its object has returned, so a
 * handler must not destroy control objects. */
typedef void (*ControlObjectClient_ControlActionHandler)(uint32_t invokeId, void* parameter,
                                                         IedClientError err, ControlActionType type,
                                                         bool success);

/* The same commands without waiting: the invoke ID, or 0 with err set when nothing was sent (the
 * handler then never runs). ctlVal stays the caller's. */
uint32_t ControlObjectClient_operateAsync(ControlObjectClient self, IedClientError* err, MmsValue* ctlVal,
                                          uint64_t operTime, ControlObjectClient_ControlActionHandler handler,
                                          void* parameter);
uint32_t ControlObjectClient_selectAsync(ControlObjectClient self, IedClientError* err,
                                         ControlObjectClient_ControlActionHandler handler, void* parameter);
uint32_t ControlObjectClient_selectWithValueAsync(ControlObjectClient self, IedClientError* err,
                                                  MmsValue* ctlVal,
                                                  ControlObjectClient_ControlActionHandler handler,
                                                  void* parameter);
uint32_t ControlObjectClient_cancelAsync(ControlObjectClient self, IedClientError* err,
                                         ControlObjectClient_ControlActionHandler handler, void* parameter);

/* The LastApplError the server sent for the last command of this object; error CONTROL_ERROR_NO_ERROR
 * and ADD_CAUSE_UNKNOWN when it sent none. */
LastApplError ControlObjectClient_getLastApplError(ControlObjectClient self);
/* How the last command's request ended (IED_ERROR_OK when the server answered it). */
IedClientError ControlObjectClient_getLastError(ControlObjectClient self);
void ControlObjectClient_setCommandTerminationHandler(ControlObjectClient self,
                                                      CommandTerminationHandler handler,
                                                      void* handlerParameter);

/* ---- MMS level: several variables per request, requests without waiting ---------------------- *
 * What libiec61850 offers beneath the IEC 61850 calls, for clients that need fewer round trips.
 * Asynchronous calls return at once; their handler runs exactly once, on the client's receive or
 * timer thread (possibly before the call returns), and never after IedConnection_destroy has
 * returned. A call that fails (error set) sends nothing and never runs its handler; with every
 * agreed outstanding call in use it fails with MMS_ERROR_OUTSTANDING_CALL_LIMIT or
 * IED_ERROR_OUTSTANDING_CALL_LIMIT_REACHED instead of waiting. */

typedef struct sMmsConnection* MmsConnection;

typedef enum {
    MMS_ERROR_NONE = 0,
    MMS_ERROR_CONNECTION_REJECTED = 1,
    MMS_ERROR_CONNECTION_LOST = 2,
    MMS_ERROR_SERVICE_TIMEOUT = 3,
    MMS_ERROR_PARSING_RESPONSE = 4,
    MMS_ERROR_HARDWARE_FAULT = 5,
    MMS_ERROR_CONCLUDE_REJECTED = 6,
    MMS_ERROR_INVALID_ARGUMENTS = 7,
    MMS_ERROR_OUTSTANDING_CALL_LIMIT = 8,
    MMS_ERROR_OTHER = 9,
    MMS_ERROR_VMDSTATE_OTHER = 10,
    MMS_ERROR_APPLICATION_REFERENCE_OTHER = 20,
    MMS_ERROR_DEFINITION_OTHER = 30,
    MMS_ERROR_DEFINITION_INVALID_ADDRESS = 31,
    MMS_ERROR_DEFINITION_TYPE_UNSUPPORTED = 32,
    MMS_ERROR_DEFINITION_TYPE_INCONSISTENT = 33,
    MMS_ERROR_DEFINITION_OBJECT_UNDEFINED = 34,
    MMS_ERROR_DEFINITION_OBJECT_EXISTS = 35,
    MMS_ERROR_DEFINITION_OBJECT_ATTRIBUTE_INCONSISTENT = 36,
    MMS_ERROR_RESOURCE_OTHER = 40,
    MMS_ERROR_RESOURCE_CAPABILITY_UNAVAILABLE = 41,
    MMS_ERROR_SERVICE_OTHER = 50,
    MMS_ERROR_SERVICE_OBJECT_CONSTRAINT_CONFLICT = 55,
    MMS_ERROR_SERVICE_PREEMPT_OTHER = 60,
    MMS_ERROR_TIME_RESOLUTION_OTHER = 70,
    MMS_ERROR_ACCESS_OTHER = 80,
    MMS_ERROR_ACCESS_OBJECT_NON_EXISTENT = 81,
    MMS_ERROR_ACCESS_OBJECT_ACCESS_UNSUPPORTED = 82,
    MMS_ERROR_ACCESS_OBJECT_ACCESS_DENIED = 83,
    MMS_ERROR_ACCESS_OBJECT_INVALIDATED = 84,
    MMS_ERROR_ACCESS_OBJECT_VALUE_INVALID = 85,
    MMS_ERROR_ACCESS_TEMPORARILY_UNAVAILABLE = 86,
    MMS_ERROR_FILE_OTHER = 90,
    MMS_ERROR_FILE_FILENAME_AMBIGUOUS = 91,
    MMS_ERROR_FILE_FILE_BUSY = 92,
    MMS_ERROR_FILE_FILENAME_SYNTAX_ERROR = 93,
    MMS_ERROR_FILE_CONTENT_TYPE_INVALID = 94,
    MMS_ERROR_FILE_POSITION_INVALID = 95,
    MMS_ERROR_FILE_FILE_ACCESS_DENIED = 96,
    MMS_ERROR_FILE_FILE_NON_EXISTENT = 97,
    MMS_ERROR_FILE_DUPLICATE_FILENAME = 98,
    MMS_ERROR_FILE_INSUFFICIENT_SPACE_IN_FILESTORE = 99,
    MMS_ERROR_REJECT_OTHER = 100,
    MMS_ERROR_REJECT_UNKNOWN_PDU_TYPE = 101,
    MMS_ERROR_REJECT_INVALID_PDU = 102,
    MMS_ERROR_REJECT_UNRECOGNIZED_SERVICE = 103,
    MMS_ERROR_REJECT_UNRECOGNIZED_MODIFIER = 104,
    MMS_ERROR_REJECT_REQUEST_INVALID_ARGUMENT = 105
} MmsError;

/* What the initiate exchange agreed; all zero while not connected. */
typedef struct sMmsConnectionParameters {
    int maxServOutstandingCalling;
    int maxServOutstandingCalled;
    int dataStructureNestingLevel;
    int maxPduSize;
    uint8_t servicesSupported[11];
} MmsConnectionParameters;

/* The MMS side of the handle; valid as long as the IedConnection. */
MmsConnection IedConnection_getMmsConnection(IedConnection self);

MmsConnectionParameters MmsConnection_getMmsConnectionParameters(MmsConnection self);

/* The named variable lists (data sets) of a domain, as "LN$name", following continuation. */
LinkedList MmsConnection_getDomainVariableListNames(MmsConnection self, MmsError* mmsError, const char* domainId);

/* value: owned by the handler (MmsValue_delete); null when mmsError is not MMS_ERROR_NONE. */
typedef void (*MmsConnection_ReadVariableHandler)(uint32_t invokeId, void* parameter, MmsError mmsError,
                                                  MmsValue* value);

/* One Read of the items (char* MMS names such as "LLN0$ST$Mod$stVal") of one domain: an MMS_ARRAY with
 * one element per item in item order, each a value or an MMS_DATA_ACCESS_ERROR. Owned by the caller. */
MmsValue* MmsConnection_readMultipleVariables(MmsConnection self, MmsError* mmsError, const char* domainId,
                                              LinkedList items);

void MmsConnection_readMultipleVariablesAsync(MmsConnection self, uint32_t* usedInvokeId, MmsError* mmsError,
                                              const char* domainId, LinkedList items,
                                              MmsConnection_ReadVariableHandler handler, void* parameter);

/* The texts are valid during the call only. */
typedef void (*MmsConnection_IdentifyHandler)(uint32_t invokeId, void* parameter, MmsError mmsError,
                                              char* vendorName, char* modelName, char* revision);

/* Identify: the lightest request every server answers. */
void MmsConnection_identifyAsync(MmsConnection self, uint32_t* usedInvokeId, MmsError* mmsError,
                                 MmsConnection_IdentifyHandler handler, void* parameter);

/* dataSetDirectory: as IedConnection_getDataSetDirectory gives it, owned by the handler; null on error. */
typedef void (*IedConnection_GetDataSetDirectoryHandler)(uint32_t invokeId, void* parameter, IedClientError err,
                                                         LinkedList dataSetDirectory, bool isDeletable);

/* Returns the invoke ID of the request (0 when *error is set). */
uint32_t IedConnection_getDataSetDirectoryAsync(IedConnection self, IedClientError* error,
                                                const char* dataSetReference,
                                                IedConnection_GetDataSetDirectoryHandler handler, void* parameter);

/* One answer of a name list: the names are appended to `result` (a new list when null) and the handler
 * owns that list and destroys it; on error it gets `result` back as given (null when none was given).
 * moreFollows: ask again with the last name as continueAfter for the rest. */
typedef void (*IedConnection_GetNameListHandler)(uint32_t invokeId, void* parameter, IedClientError err,
                                                 LinkedList nameList, bool moreFollows);

/* The logical devices, one answer at a time (continueAfter null for the first). */
uint32_t IedConnection_getServerDirectoryAsync(IedConnection self, IedClientError* error,
                                               const char* continueAfter, LinkedList result,
                                               IedConnection_GetNameListHandler handler, void* parameter);
/* The MMS variable names of a logical device ("LLN0$ST$Mod$stVal"), one answer at a time. */
uint32_t IedConnection_getLogicalDeviceVariablesAsync(IedConnection self, IedClientError* error,
                                                      const char* ldName, const char* continueAfter,
                                                      LinkedList result,
                                                      IedConnection_GetNameListHandler handler,
                                                      void* parameter);
/* The data set names of a logical device ("LLN0$Events"), one answer at a time. */
uint32_t IedConnection_getLogicalDeviceDataSetsAsync(IedConnection self, IedClientError* error,
                                                     const char* ldName, const char* continueAfter,
                                                     LinkedList result,
                                                     IedConnection_GetNameListHandler handler,
                                                     void* parameter);

/* ---- Files ------------------------------------------------------------------------------------ */

typedef struct sFileDirectoryEntry* FileDirectoryEntry;

FileDirectoryEntry FileDirectoryEntry_create(const char* fileName, uint32_t fileSize, uint64_t lastModified);
void FileDirectoryEntry_destroy(FileDirectoryEntry self);
/* As the device names it; directories usually end with "/". */
const char* FileDirectoryEntry_getFileName(FileDirectoryEntry self);
uint32_t FileDirectoryEntry_getFileSize(FileDirectoryEntry self);
/* Ms since 1970, 0 when the device gave no time. */
uint64_t FileDirectoryEntry_getLastModified(FileDirectoryEntry self);

/* Every entry of a directory (null or "" for the device's root), following the device's continuation.
 * Free with LinkedList_destroyDeep(list, (LinkedListValueDeleteFunction) FileDirectoryEntry_destroy). */
LinkedList IedConnection_getFileDirectory(IedConnection self, IedClientError* error,
                                          const char* directoryName);
/* One answer's worth of entries after continueAfter (null: from the start); *moreFollows says
 * whether to ask again with the last name. */
LinkedList IedConnection_getFileDirectoryEx(IedConnection self, IedClientError* error,
                                            const char* directoryName, const char* continueAfter,
                                            bool* moreFollows);

/* Gets each chunk as it arrives, on the calling thread; returning false stops the transfer. */
typedef bool (*IedClientGetFileHandler)(void* parameter, uint8_t* buffer, uint32_t bytesRead);

/* Opens, reads and closes a file; returns the bytes handed to the handler. *error is IED_ERROR_OK only
 * when the whole file arrived: a transfer cut short (refusal, lost association, the handler said stop)
 * leaves an error, so the caller knows its copy is incomplete. */
uint32_t IedConnection_getFile(IedConnection self, IedClientError* error, const char* fileName,
                               IedClientGetFileHandler handler, void* handlerParameter);
void IedConnection_deleteFile(IedConnection self, IedClientError* error, const char* fileName);

/* ---- Logs ------------------------------------------------------------------------------------- */

typedef struct sMmsJournalEntry* MmsJournalEntry;
typedef struct sMmsJournalVariable* MmsJournalVariable;

void MmsJournalEntry_destroy(MmsJournalEntry self);
/* Octet string (8 octets from IEC 61850 devices), owned by the entry. */
MmsValue* MmsJournalEntry_getEntryID(MmsJournalEntry self);
/* Binary time with date, owned by the entry. */
MmsValue* MmsJournalEntry_getOccurenceTime(MmsJournalEntry self);
/* The entry's variables (MmsJournalVariable), owned by the entry: per logged value its reference with
 * the value, then "ReasonCode" with the reason bits. */
LinkedList MmsJournalEntry_getJournalVariables(MmsJournalEntry self);
const char* MmsJournalVariable_getTag(MmsJournalVariable self);
MmsValue* MmsJournalVariable_getValue(MmsJournalVariable self);

/* logReference: "LD/LN$LogName" (or "LD/LN.LogName"); times in ms since 1970. One answer of the
 * device; with *moreFollows set, ask again with queryLogAfter from the last entry. Free with
 * LinkedList_destroyDeep(list, (LinkedListValueDeleteFunction) MmsJournalEntry_destroy). */
LinkedList IedConnection_queryLogByTime(IedConnection self, IedClientError* error, const char* logReference,
                                        uint64_t startTime, uint64_t endTime, bool* moreFollows);
/* The entries after entryID (an octet string), which was logged at timeStamp. */
LinkedList IedConnection_queryLogAfter(IedConnection self, IedClientError* error, const char* logReference,
                                       MmsValue* entryID, uint64_t timeStamp, bool* moreFollows);

/* ---- Association parameters: ACSE authentication ---------------------------------------------- *
 * A device that asks for a password refuses associations without it (IedConnection_connect gives
 * IED_ERROR_CONNECTION_REJECTED). The parameter is read by every later IedConnection_connect, so it
 * stays the caller's and must outlive the connection's use of it; set null to connect without. */

typedef struct sIsoConnectionParameters* IsoConnectionParameters;
typedef struct sAcseAuthenticationParameter* AcseAuthenticationParameter;

/* Only ACSE_AUTH_PASSWORD is sent; the other mechanisms connect without authentication. */
typedef enum {
    ACSE_AUTH_NONE = 0,
    ACSE_AUTH_PASSWORD = 1,
    ACSE_AUTH_CERTIFICATE = 2,
    ACSE_AUTH_TLS = 3
} AcseAuthenticationMechanism;

/* The connection's own parameters; valid as long as the IedConnection. */
IsoConnectionParameters MmsConnection_getIsoConnectionParameters(MmsConnection self);
void IsoConnectionParameters_setAcseAuthenticationParameter(IsoConnectionParameters self,
                                                            AcseAuthenticationParameter acseAuthParameter);

AcseAuthenticationParameter AcseAuthenticationParameter_create(void);
void AcseAuthenticationParameter_destroy(AcseAuthenticationParameter self);
void AcseAuthenticationParameter_setAuthMechanism(AcseAuthenticationParameter self,
                                                  AcseAuthenticationMechanism mechanism);
/* The text is copied. */
void AcseAuthenticationParameter_setPassword(AcseAuthenticationParameter self, char* password);

#ifdef __cplusplus
}
#endif

#endif /* KORVAN_USE_LIBIEC61850 */
