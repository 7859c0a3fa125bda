#pragma once
/* The client API subset the engine, the view, the tools and their tests may use: exactly the names and
 * signatures an installed libiec61850 offers for them, and nothing of our stack beyond. The build
 * compiles those users against this header alone (target client_api_subset_check), so that a call
 * outside the subset fails there, not first in a build with KORVAN_USE_LIBIEC61850. To use a further
 * function, add it here and to the subset's documentation only when libiec61850 has it with exactly
 * this name and signature. */

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Handles and helpers ---- */

typedef struct sIedConnection* IedConnection;
typedef struct sMmsValue MmsValue;
typedef struct sLinkedList* LinkedList;
typedef struct sClientReportControlBlock* ClientReportControlBlock;
typedef struct sClientReport* ClientReport;
typedef struct sControlObjectClient* ControlObjectClient;

LinkedList LinkedList_getNext(LinkedList list);
void* LinkedList_getData(LinkedList listElement);
int LinkedList_size(LinkedList list);
void LinkedList_destroy(LinkedList list);
LinkedList LinkedList_create(void);
void LinkedList_add(LinkedList self, void* data);
typedef void (*LinkedListValueDeleteFunction)(void*);
void LinkedList_destroyDeep(LinkedList list, LinkedListValueDeleteFunction valueDeleteFunction);
MmsValue* MmsValue_clone(const MmsValue* self);

/* ---- Enumerations and constants ---- */

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
    MMS_ARRAY = 0,
    MMS_STRUCTURE = 1,
    MMS_BOOLEAN = 2,
    MMS_BIT_STRING = 3,
    MMS_INTEGER = 4,
    MMS_UNSIGNED = 5,
    MMS_FLOAT = 6,
    MMS_OCTET_STRING = 7,
    MMS_VISIBLE_STRING = 8,
    MMS_GENERALIZED_TIME = 9,
    MMS_BINARY_TIME = 10,
    MMS_BCD = 11,
    MMS_OBJ_ID = 12,
    MMS_STRING = 13,
    MMS_UTC_TIME = 14,
    MMS_DATA_ACCESS_ERROR = 15
} MmsType;

typedef enum {
    DATA_ACCESS_ERROR_SUCCESS_NO_UPDATE = -3,
    DATA_ACCESS_ERROR_NO_RESPONSE = -2,
    DATA_ACCESS_ERROR_SUCCESS = -1,
    DATA_ACCESS_ERROR_OBJECT_INVALIDATED = 0,
    DATA_ACCESS_ERROR_HARDWARE_FAULT = 1,
    DATA_ACCESS_ERROR_TEMPORARILY_UNAVAILABLE = 2,
    DATA_ACCESS_ERROR_OBJECT_ACCESS_DENIED = 3,
    DATA_ACCESS_ERROR_OBJECT_UNDEFINED = 4,
    DATA_ACCESS_ERROR_INVALID_ADDRESS = 5,
    DATA_ACCESS_ERROR_TYPE_UNSUPPORTED = 6,
    DATA_ACCESS_ERROR_TYPE_INCONSISTENT = 7,
    DATA_ACCESS_ERROR_OBJECT_ATTRIBUTE_INCONSISTENT = 8,
    DATA_ACCESS_ERROR_OBJECT_ACCESS_UNSUPPORTED = 9,
    DATA_ACCESS_ERROR_OBJECT_NONE_EXISTENT = 10,
    DATA_ACCESS_ERROR_OBJECT_VALUE_INVALID = 11,
    DATA_ACCESS_ERROR_UNKNOWN = 12
} MmsDataAccessError;

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

typedef enum {
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

/* ---- Connection ---- */

IedConnection IedConnection_create(void);
void IedConnection_connect(IedConnection self, IedClientError* error, const char* hostname, int tcpPort);
void IedConnection_setConnectTimeout(IedConnection self, uint32_t timeoutInMs);
void IedConnection_setRequestTimeout(IedConnection self, uint32_t timeoutInMs);
void IedConnection_installConnectionClosedHandler(IedConnection self, IedConnectionClosedHandler handler,
                                                  void* parameter);
void IedConnection_close(IedConnection self);
void IedConnection_abort(IedConnection self, IedClientError* error);
void IedConnection_destroy(IedConnection self);

/* ---- Directory services ---- */

LinkedList IedConnection_getLogicalDeviceList(IedConnection self, IedClientError* error);
LinkedList IedConnection_getLogicalDeviceDirectory(IedConnection self, IedClientError* error,
                                                   const char* logicalDeviceName);
LinkedList IedConnection_getLogicalNodeDirectory(IedConnection self, IedClientError* error,
                                                 const char* logicalNodeReference, ACSIClass acsiClass);
LinkedList IedConnection_getDataDirectoryFC(IedConnection self, IedClientError* error,
                                            const char* dataReference);
LinkedList IedConnection_getDataSetDirectory(IedConnection self, IedClientError* error,
                                             const char* dataSetReference, bool* isDeletable);
void IedConnection_createDataSet(IedConnection self, IedClientError* error, const char* dataSetReference,
                                 LinkedList dataSetElements);
bool IedConnection_deleteDataSet(IedConnection self, IedClientError* error, const char* dataSetReference);

/* ---- Reading and values ---- */

MmsValue* IedConnection_readObject(IedConnection self, IedClientError* error,
                                   const char* dataAttributeReference, FunctionalConstraint fc);

MmsType MmsValue_getType(const MmsValue* self);
MmsDataAccessError MmsValue_getDataAccessError(const MmsValue* self);
bool MmsValue_getBoolean(const MmsValue* value);
int MmsValue_getBitStringSize(const MmsValue* self);
uint32_t MmsValue_getBitStringAsInteger(const MmsValue* self);
bool MmsValue_getBitStringBit(const MmsValue* self, int bitPos);
int64_t MmsValue_toInt64(const MmsValue* self);
uint32_t MmsValue_toUint32(const MmsValue* value);
double MmsValue_toDouble(const MmsValue* self);
uint16_t MmsValue_getOctetStringSize(const MmsValue* self);
uint8_t* MmsValue_getOctetStringBuffer(MmsValue* self);
const char* MmsValue_toString(MmsValue* self);
uint64_t MmsValue_getUtcTimeInMs(const MmsValue* value);
uint64_t MmsValue_getBinaryTimeAsUtcMs(const MmsValue* self);
MmsValue* MmsValue_getElement(const MmsValue* array, int index);
uint32_t MmsValue_getArraySize(const MmsValue* self);
MmsValue* MmsValue_newBoolean(bool boolean);
MmsValue* MmsValue_newIntegerFromInt32(int32_t integer);
void MmsValue_delete(MmsValue* self);

/* ---- Writing and type descriptions ---- */

typedef struct sMmsVariableSpecification MmsVariableSpecification;

void IedConnection_writeObject(IedConnection self, IedClientError* error, const char* dataAttributeReference,
                               FunctionalConstraint fc, MmsValue* value);
MmsVariableSpecification* IedConnection_getVariableSpecification(IedConnection self, IedClientError* error,
                                                                 const char* dataAttributeReference,
                                                                 FunctionalConstraint fc);
void MmsVariableSpecification_destroy(MmsVariableSpecification* self);
MmsType MmsVariableSpecification_getType(MmsVariableSpecification* self);
const char* MmsVariableSpecification_getName(MmsVariableSpecification* self);
int MmsVariableSpecification_getSize(MmsVariableSpecification* self);
int MmsVariableSpecification_getExponentWidth(MmsVariableSpecification* self);
MmsVariableSpecification* MmsVariableSpecification_getChildSpecificationByIndex(
    MmsVariableSpecification* self, int index);
MmsVariableSpecification* MmsVariableSpecification_getChildSpecificationByName(MmsVariableSpecification* self,
                                                                               const char* name, int* index);
MmsVariableSpecification* MmsVariableSpecification_getArrayElementSpecification(
    MmsVariableSpecification* self);
bool MmsVariableSpecification_isValueOfType(MmsVariableSpecification* self, const MmsValue* value);

MmsValue* MmsValue_newIntegerFromInt64(int64_t integer);
MmsValue* MmsValue_newUnsignedFromUint32(uint32_t integer);
MmsValue* MmsValue_newFloat(float variable);
MmsValue* MmsValue_newDouble(double variable);
MmsValue* MmsValue_newVisibleString(const char* string);
MmsValue* MmsValue_newMmsString(const char* string);
MmsValue* MmsValue_newOctetString(int size, int maxSize);
void MmsValue_setOctetString(MmsValue* self, const uint8_t* buf, int size);
MmsValue* MmsValue_newBitString(int bitSize);
void MmsValue_setBitStringBit(MmsValue* self, int bitPos, bool value);
MmsValue* MmsValue_newUtcTimeByMsTime(uint64_t timeval);
MmsValue* MmsValue_newBinaryTime(bool timeOfDay);
void MmsValue_setBinaryTime(MmsValue* self, uint64_t timestamp);

/* ---- Reports ---- */

ClientReportControlBlock IedConnection_getRCBValues(IedConnection self, IedClientError* error,
                                                    const char* rcbReference,
                                                    ClientReportControlBlock updateRcb);
bool ClientReportControlBlock_getRptEna(ClientReportControlBlock self);
void ClientReportControlBlock_setRptEna(ClientReportControlBlock self, bool rptEna);
const char* ClientReportControlBlock_getRptId(ClientReportControlBlock self);
/* Beyond the documented list: the DatSet attribute of the copy, as libiec61850 names it. */
const char* ClientReportControlBlock_getDataSetReference(ClientReportControlBlock self);
void IedConnection_setRCBValues(IedConnection self, IedClientError* error, ClientReportControlBlock rcb,
                                uint32_t parametersMask, bool singleRequest);
void ClientReportControlBlock_destroy(ClientReportControlBlock self);
/* The writable attributes of the copy, for a write-back with IedConnection_setRCBValues. */
void ClientReportControlBlock_setRptId(ClientReportControlBlock self, const char* rptId);
void ClientReportControlBlock_setResv(ClientReportControlBlock self, bool resv);
void ClientReportControlBlock_setDataSetReference(ClientReportControlBlock self, const char* dataSetReference);
void ClientReportControlBlock_setOptFlds(ClientReportControlBlock self, int optFlds);
void ClientReportControlBlock_setBufTm(ClientReportControlBlock self, uint32_t bufTm);
void ClientReportControlBlock_setTrgOps(ClientReportControlBlock self, int trgOps);
void ClientReportControlBlock_setIntgPd(ClientReportControlBlock self, uint32_t intgPd);
void ClientReportControlBlock_setGI(ClientReportControlBlock self, bool gi);
void ClientReportControlBlock_setPurgeBuf(ClientReportControlBlock self, bool purgeBuf);
void ClientReportControlBlock_setEntryId(ClientReportControlBlock self, MmsValue* entryId);
void ClientReportControlBlock_setResvTms(ClientReportControlBlock self, int16_t resvTms);
void IedConnection_installReportHandler(IedConnection self, const char* rcbReference, const char* rptId,
                                        ReportCallbackFunction handler, void* handlerParameter);
void IedConnection_uninstallReportHandler(IedConnection self, const char* rcbReference);
const char* ClientReport_getDataSetName(ClientReport self);
MmsValue* ClientReport_getDataSetValues(ClientReport self);
const char* ClientReport_getDataReference(ClientReport self, int elementIndex);
/* The report's header fields. */
typedef enum {
    IEC61850_REASON_NOT_INCLUDED = 0,
    IEC61850_REASON_DATA_CHANGE = 1,
    IEC61850_REASON_QUALITY_CHANGE = 2,
    IEC61850_REASON_DATA_UPDATE = 4,
    IEC61850_REASON_INTEGRITY = 8,
    IEC61850_REASON_GI = 16,
    IEC61850_REASON_UNKNOWN = 32
} ReasonForInclusion;
const char* ClientReport_getRptId(ClientReport self);
bool ClientReport_hasReasonForInclusion(ClientReport self);
ReasonForInclusion ClientReport_getReasonForInclusion(ClientReport self, int elementIndex);
bool ClientReport_hasSeqNum(ClientReport self);
uint16_t ClientReport_getSeqNum(ClientReport self);
bool ClientReport_hasConfRev(ClientReport self);
uint32_t ClientReport_getConfRev(ClientReport self);
bool ClientReport_hasBufOvfl(ClientReport self);
bool ClientReport_getBufOvfl(ClientReport self);
MmsValue* ClientReport_getEntryId(ClientReport self);
bool ClientReport_hasSubSeqNum(ClientReport self);
uint16_t ClientReport_getSubSeqNum(ClientReport self);
bool ClientReport_getMoreSeqmentsFollow(ClientReport self);

/* ---- Control ---- */

ControlObjectClient ControlObjectClient_create(const char* objectReference, IedConnection connection);
void ControlObjectClient_setInterlockCheck(ControlObjectClient self, bool value);
void ControlObjectClient_setSynchroCheck(ControlObjectClient self, bool value);
void ControlObjectClient_setTestMode(ControlObjectClient self, bool value);
void ControlObjectClient_setOrigin(ControlObjectClient self, const char* orIdent, int orCat);
bool ControlObjectClient_select(ControlObjectClient self);
bool ControlObjectClient_selectWithValue(ControlObjectClient self, MmsValue* ctlVal);
bool ControlObjectClient_operate(ControlObjectClient self, MmsValue* ctlVal, uint64_t operTime);
bool ControlObjectClient_cancel(ControlObjectClient self);
LastApplError ControlObjectClient_getLastApplError(ControlObjectClient self);
void ControlObjectClient_destroy(ControlObjectClient self);

/* ---- MMS level and asynchronous calls (discovery walk, keep-alive) ---- */

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

typedef struct sMmsConnectionParameters {
    int maxServOutstandingCalling;
    int maxServOutstandingCalled;
    int dataStructureNestingLevel;
    int maxPduSize;
    uint8_t servicesSupported[11];
} MmsConnectionParameters;

typedef void (*MmsConnection_ReadVariableHandler)(uint32_t invokeId, void* parameter, MmsError mmsError,
                                                  MmsValue* value);
typedef void (*MmsConnection_IdentifyHandler)(uint32_t invokeId, void* parameter, MmsError mmsError,
                                              char* vendorName, char* modelName, char* revision);
typedef void (*IedConnection_GetDataSetDirectoryHandler)(uint32_t invokeId, void* parameter,
                                                         IedClientError err, LinkedList dataSetDirectory,
                                                         bool isDeletable);

MmsConnection IedConnection_getMmsConnection(IedConnection self);
MmsConnectionParameters MmsConnection_getMmsConnectionParameters(MmsConnection self);
LinkedList MmsConnection_getDomainVariableListNames(MmsConnection self, MmsError* mmsError,
                                                    const char* domainId);
MmsValue* MmsConnection_readMultipleVariables(MmsConnection self, MmsError* mmsError, const char* domainId,
                                              LinkedList items);
void MmsConnection_readMultipleVariablesAsync(MmsConnection self, uint32_t* usedInvokeId, MmsError* mmsError,
                                              const char* domainId, LinkedList items,
                                              MmsConnection_ReadVariableHandler handler, void* parameter);
void MmsConnection_identifyAsync(MmsConnection self, uint32_t* usedInvokeId, MmsError* mmsError,
                                 MmsConnection_IdentifyHandler handler, void* parameter);
uint32_t IedConnection_getDataSetDirectoryAsync(IedConnection self, IedClientError* error,
                                                const char* dataSetReference,
                                                IedConnection_GetDataSetDirectoryHandler handler,
                                                void* parameter);
typedef void (*IedConnection_GetNameListHandler)(uint32_t invokeId, void* parameter, IedClientError err,
                                                 LinkedList nameList, bool moreFollows);
uint32_t IedConnection_getServerDirectoryAsync(IedConnection self, IedClientError* error,
                                               const char* continueAfter, LinkedList result,
                                               IedConnection_GetNameListHandler handler, void* parameter);
uint32_t IedConnection_getLogicalDeviceVariablesAsync(IedConnection self, IedClientError* error,
                                                      const char* ldName, const char* continueAfter,
                                                      LinkedList result,
                                                      IedConnection_GetNameListHandler handler,
                                                      void* parameter);
uint32_t IedConnection_getLogicalDeviceDataSetsAsync(IedConnection self, IedClientError* error,
                                                     const char* ldName, const char* continueAfter,
                                                     LinkedList result,
                                                     IedConnection_GetNameListHandler handler,
                                                     void* parameter);

/* ---- ACSE password authentication (iedcli --password) ---- */

typedef struct sIsoConnectionParameters* IsoConnectionParameters;
typedef struct sAcseAuthenticationParameter* AcseAuthenticationParameter;
typedef enum {
    ACSE_AUTH_NONE = 0,
    ACSE_AUTH_PASSWORD = 1,
    ACSE_AUTH_CERTIFICATE = 2,
    ACSE_AUTH_TLS = 3
} AcseAuthenticationMechanism;

IsoConnectionParameters MmsConnection_getIsoConnectionParameters(MmsConnection self);
void IsoConnectionParameters_setAcseAuthenticationParameter(IsoConnectionParameters self,
                                                            AcseAuthenticationParameter acseAuthParameter);
AcseAuthenticationParameter AcseAuthenticationParameter_create(void);
void AcseAuthenticationParameter_destroy(AcseAuthenticationParameter self);
void AcseAuthenticationParameter_setAuthMechanism(AcseAuthenticationParameter self,
                                                  AcseAuthenticationMechanism mechanism);
void AcseAuthenticationParameter_setPassword(AcseAuthenticationParameter self, char* password);
typedef enum {
    CONTROL_MODEL_STATUS_ONLY = 0,
    CONTROL_MODEL_DIRECT_NORMAL = 1,
    CONTROL_MODEL_SBO_NORMAL = 2,
    CONTROL_MODEL_DIRECT_ENHANCED = 3,
    CONTROL_MODEL_SBO_ENHANCED = 4
} ControlModel;
ControlModel ControlObjectClient_getControlModel(ControlObjectClient self);
typedef void (*CommandTerminationHandler)(void* parameter, ControlObjectClient controlClient);
void ControlObjectClient_setCommandTerminationHandler(ControlObjectClient self, CommandTerminationHandler handler,
                                                     void* handlerParameter);
typedef enum {
    CONTROL_ACTION_TYPE_SELECT = 0,
    CONTROL_ACTION_TYPE_OPERATE = 1,
    CONTROL_ACTION_TYPE_CANCEL = 2
} ControlActionType;
typedef void (*ControlObjectClient_ControlActionHandler)(uint32_t invokeId, void* parameter,
                                                         IedClientError err, ControlActionType type,
                                                         bool success);
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

/* ---- Files and logs ---- */

typedef struct sFileDirectoryEntry* FileDirectoryEntry;
void FileDirectoryEntry_destroy(FileDirectoryEntry self);
const char* FileDirectoryEntry_getFileName(FileDirectoryEntry self);
uint32_t FileDirectoryEntry_getFileSize(FileDirectoryEntry self);
uint64_t FileDirectoryEntry_getLastModified(FileDirectoryEntry self);
LinkedList IedConnection_getFileDirectory(IedConnection self, IedClientError* error,
                                          const char* directoryName);
LinkedList IedConnection_getFileDirectoryEx(IedConnection self, IedClientError* error,
                                            const char* directoryName, const char* continueAfter,
                                            bool* moreFollows);
typedef bool (*IedClientGetFileHandler)(void* parameter, uint8_t* buffer, uint32_t bytesRead);
uint32_t IedConnection_getFile(IedConnection self, IedClientError* error, const char* fileName,
                               IedClientGetFileHandler handler, void* handlerParameter);
void IedConnection_deleteFile(IedConnection self, IedClientError* error, const char* fileName);

typedef struct sMmsJournalEntry* MmsJournalEntry;
typedef struct sMmsJournalVariable* MmsJournalVariable;
void MmsJournalEntry_destroy(MmsJournalEntry self);
MmsValue* MmsJournalEntry_getEntryID(MmsJournalEntry self);
MmsValue* MmsJournalEntry_getOccurenceTime(MmsJournalEntry self);
LinkedList MmsJournalEntry_getJournalVariables(MmsJournalEntry self);
const char* MmsJournalVariable_getTag(MmsJournalVariable self);
MmsValue* MmsJournalVariable_getValue(MmsJournalVariable self);
LinkedList IedConnection_queryLogByTime(IedConnection self, IedClientError* error, const char* logReference,
                                        uint64_t startTime, uint64_t endTime, bool* moreFollows);
LinkedList IedConnection_queryLogAfter(IedConnection self, IedClientError* error, const char* logReference,
                                       MmsValue* entryID, uint64_t timeStamp, bool* moreFollows);

#ifdef __cplusplus
}
#endif
