// The client API against a server whose answers are the fuzz input (scripted_server.h).
//
// Input: one octet that picks the call, then the answers. Reports with the report IDs of the captured
// blocks reach a handler that reads everything a report offers.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "iec61850_client.h"
#include "scripted_server.h"

namespace {

// Everything a report handler can ask of a report, as an engine would.
void readReport(void*, ClientReport report) {
    size_t seen = 0;
    auto look = [&seen](const char* text) { seen += text != nullptr ? std::strlen(text) : 0; };
    look(ClientReport_getRcbReference(report));
    look(ClientReport_getRptId(report));
    if (ClientReport_hasDataSetName(report)) {
        look(ClientReport_getDataSetName(report));
    }
    const MmsValue* values = ClientReport_getDataSetValues(report);
    const int members = values != nullptr ? static_cast<int>(MmsValue_getArraySize(values)) : 0;
    for (int i = 0; i < members; ++i) {
        const MmsValue* value = MmsValue_getElement(values, i);
        seen += value != nullptr ? static_cast<size_t>(MmsValue_getType(value)) : 0;
        if (ClientReport_hasDataReference(report)) {
            look(ClientReport_getDataReference(report, i));
        }
        if (ClientReport_hasReasonForInclusion(report)) {
            seen += static_cast<size_t>(ClientReport_getReasonForInclusion(report, i));
        }
    }
    seen += ClientReport_hasSeqNum(report) ? ClientReport_getSeqNum(report) : 0;
    seen += ClientReport_hasTimestamp(report) ? static_cast<size_t>(ClientReport_getTimestamp(report)) : 0;
    seen += ClientReport_hasConfRev(report) ? ClientReport_getConfRev(report) : 0;
    seen += ClientReport_hasBufOvfl(report) && ClientReport_getBufOvfl(report) ? 1 : 0;
    const MmsValue* entryId = ClientReport_getEntryId(report);
    seen += entryId != nullptr ? MmsValue_getArraySize(entryId) : 0;
    seen += ClientReport_hasSubSeqNum(report) ? ClientReport_getSubSeqNum(report) : 0;
    seen += ClientReport_getMoreSeqmentsFollow(report) ? 1 : 0;
    static std::atomic<size_t> sink{0};
    sink += seen;
}

void destroyNames(LinkedList list) {
    LinkedList_destroy(list);
}

void call(IedConnection connection, uint8_t which) {
    IedClientError error = IED_ERROR_OK;
    switch (which % 9) {
        case 0:
            destroyNames(IedConnection_getLogicalDeviceList(connection, &error));
            break;
        case 1:
            destroyNames(IedConnection_getLogicalDeviceDirectory(connection, &error, "simpleIOGenericIO"));
            break;
        case 2:
            destroyNames(IedConnection_getLogicalNodeDirectory(connection, &error, "simpleIOGenericIO/GGIO1",
                                                               ACSI_CLASS_DATA_OBJECT));
            break;
        case 3:
            destroyNames(IedConnection_getLogicalNodeDirectory(connection, &error, "simpleIOGenericIO/LLN0",
                                                               ACSI_CLASS_BRCB));
            break;
        case 4:
            destroyNames(IedConnection_getLogicalNodeDirectory(connection, &error, "simpleIOGenericIO/LLN0",
                                                               ACSI_CLASS_DATA_SET));
            break;
        case 5:
            destroyNames(
                IedConnection_getDataDirectoryFC(connection, &error, "simpleIOGenericIO/GGIO1.AnIn1"));
            break;
        case 6: {
            bool deletable = false;
            destroyNames(IedConnection_getDataSetDirectory(connection, &error,
                                                           "simpleIOGenericIO/LLN0.Events", &deletable));
            break;
        }
        case 7:
            MmsValue_delete(IedConnection_readObject(connection, &error, "simpleIOGenericIO/GGIO1.AnIn1",
                                                     IEC61850_FC_MX));
            break;
        default:
            MmsValue_delete(IedConnection_readObject(connection, &error,
                                                     "simpleIOGenericIO/GGIO1.SPCSO1.stVal", IEC61850_FC_ST));
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    korvan::fuzz::setScript(data, size, 1);
    // A fresh association each time: the client keeps directory answers for the association's life.
    IedConnection connection = korvan::fuzz::connectToScriptedServer(2000);
    // The report IDs of the captured blocks, an unbuffered and a buffered one.
    IedConnection_installReportHandler(connection, "simpleIOGenericIO/LLN0.RP.EventsRCB01", "Events1",
                                       readReport, nullptr);
    IedConnection_installReportHandler(connection, "simpleIOGenericIO/LLN0.BR.Measurements01", "Measurements",
                                       readReport, nullptr);
    call(connection, data[0]);
    korvan::fuzz::finish(connection);
    return 0;
}
