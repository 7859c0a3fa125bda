#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "mms/bit_string.h"
#include "mms/services.h"

namespace iecstack::mms {

using ConfirmedRequestService =
    std::variant<GetNameListRequest, ReadRequest, WriteRequest, GetVariableAccessAttributesRequest,
                 GetNamedVariableListAttributesRequest, DefineNamedVariableListRequest,
                 DeleteNamedVariableListRequest, IdentifyRequest, StatusRequest, ReadJournalRequest,
                 FileOpenRequest, FileReadRequest, FileCloseRequest, FileDeleteRequest, FileDirectoryRequest,
                 UnsupportedService>;

using ConfirmedResponseService =
    std::variant<GetNameListResponse, ReadResponse, WriteResponse, GetVariableAccessAttributesResponse,
                 GetNamedVariableListAttributesResponse, DefineNamedVariableListResponse,
                 DeleteNamedVariableListResponse, IdentifyResponse, StatusResponse, ReadJournalResponse,
                 FileOpenResponse, FileReadResponse, FileCloseResponse, FileDeleteResponse,
                 FileDirectoryResponse, UnsupportedService>;

using UnconfirmedService = std::variant<InformationReport, UnsupportedService>;

struct ConfirmedRequest {
    uint32_t invokeId = 0;
    ConfirmedRequestService service;
};

struct ConfirmedResponse {
    uint32_t invokeId = 0;
    ConfirmedResponseService service;
};

// The class of a service error; the numbers are those on the wire.
enum class ErrorClass : uint8_t {
    VmdState = 0,
    ApplicationReference = 1,
    Definition = 2,
    Resource = 3,
    Service = 4,
    ServicePreempt = 5,
    TimeResolution = 6,
    Access = 7,
    Initiate = 8,
    Conclude = 9,
    Cancel = 10,
    File = 11,
    Others = 12,
};

// Codes of the access class, the one MMS servers use for missing objects.
enum class AccessErrorCode : uint8_t {
    ObjectInvalidated = 0,
    ObjectAccessUnsupported = 1,
    ObjectNonExistent = 2,
    ObjectAccessDenied = 3,
    ObjectInvalidatedByPeer = 4,
};

// Codes of the file class.
enum class FileErrorCode : uint8_t {
    Other = 0,
    FilenameAmbiguous = 1,
    FileBusy = 2,
    FilenameSyntaxError = 3,
    ContentTypeInvalid = 4,
    PositionInvalid = 5,
    FileAccessDenied = 6,
    FileNonExistent = 7,
    DuplicateFilename = 8,
    InsufficientSpaceInFilestore = 9,
};

struct ServiceError {
    ErrorClass errorClass = ErrorClass::Others;
    int64_t code = 0;
    std::optional<int64_t> additionalCode;
    std::optional<std::string> additionalDescription;
};

struct ConfirmedError {
    uint32_t invokeId = 0;
    std::optional<uint32_t> modifierPosition;
    ServiceError error;
};

struct UnconfirmedPdu {
    UnconfirmedService service;
};

// What a reject is about; the numbers are those on the wire.
enum class RejectClass : uint8_t {
    ConfirmedRequest = 1,
    ConfirmedResponse = 2,
    ConfirmedError = 3,
    Unconfirmed = 4,
    PduError = 5,
    CancelRequest = 6,
    CancelResponse = 7,
    CancelError = 8,
    ConcludeRequest = 9,
    ConcludeResponse = 10,
    ConcludeError = 11,
};

// Reason codes used with RejectClass::ConfirmedRequest.
enum class RequestRejectReason : uint8_t {
    Other = 0,
    UnrecognizedService = 1,
    UnrecognizedModifier = 2,
    InvalidInvokeId = 3,
    InvalidArgument = 4,
    InvalidModifier = 5,
    MaxServicesOutstandingExceeded = 6,
    MaxRecursionExceeded = 8,
    ValueOutOfRange = 9,
};

// Reason codes used with RejectClass::ConfirmedResponse.
enum class ResponseRejectReason : uint8_t {
    Other = 0,
    UnrecognizedService = 1,
    InvalidInvokeId = 2,
    InvalidResult = 3,
    MaxRecursionExceeded = 5,
    ValueOutOfRange = 6,
};

// Reason codes used with RejectClass::PduError.
enum class PduErrorReason : uint8_t { UnknownPduType = 0, InvalidPdu = 1, IllegalAcseMapping = 2 };

struct Reject {
    std::optional<uint32_t> originalInvokeId;
    RejectClass rejectClass = RejectClass::PduError;
    int64_t reason = 0;
};

// Bits of the parameter support string exchanged at initiate.
enum class ParameterSupport : uint8_t {
    Str1 = 0,
    Str2 = 1,
    Vnam = 2,
    Valt = 3,
    Vadr = 4,
    Vsca = 5,
    Tpy = 6,
    Vlis = 7,
    Real = 8,
    Cei = 10,
};
constexpr size_t kParameterSupportBits = 11;

// Bits of the services-supported string exchanged at initiate (the ones this stack cares about).
enum class ServiceSupport : uint8_t {
    Status = 0,
    GetNameList = 1,
    Identify = 2,
    Rename = 3,
    Read = 4,
    Write = 5,
    GetVariableAccessAttributes = 6,
    DefineNamedVariableList = 11,
    GetNamedVariableListAttributes = 12,
    DeleteNamedVariableList = 13,
    ReadJournal = 65,
    FileOpen = 72,
    FileRead = 73,
    FileClose = 74,
    FileDelete = 76,
    FileDirectory = 77,
    InformationReport = 79,
    Conclude = 83,
    Cancel = 84,
};
constexpr size_t kServiceSupportBits = 85;

// The parameters both initiate PDUs carry: proposed in the request, negotiated in the response.
struct InitiateParameters {
    std::optional<int32_t> localDetail;  // largest MMS PDU, in octets
    int32_t maxServOutstandingCalling = 5;
    int32_t maxServOutstandingCalled = 5;
    std::optional<int32_t> dataStructureNestingLevel;
    int32_t version = 1;
    BitString parameterSupport{kParameterSupportBits};
    BitString servicesSupported{kServiceSupportBits};
};

struct InitiateRequest {
    InitiateParameters parameters;
};

struct InitiateResponse {
    InitiateParameters parameters;
};

struct InitiateError {
    ServiceError error;
};

struct ConcludeRequest {};
struct ConcludeResponse {};
struct ConcludeError {
    ServiceError error;
};

using Pdu =
    std::variant<ConfirmedRequest, ConfirmedResponse, ConfirmedError, UnconfirmedPdu, Reject, InitiateRequest,
                 InitiateResponse, InitiateError, ConcludeRequest, ConcludeResponse, ConcludeError>;

}  // namespace iecstack::mms
