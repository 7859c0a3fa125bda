// File transfer and log queries of the client API against the simulator: long listings continued,
// files larger than one PDU, a device that stops in the middle of a download, the device's reasons
// for a refusal, and the log of the sample bay read by time and after an entry.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "client_test_support.h"
#include "iec61850_client.h"
#include "server/simulated_server.h"

namespace korvan::test {
namespace {

using iecstack::server::SimulatedServer;

const std::string kSampleBay = std::string(KORVAN_SOURCE_DIR) + "/tools/iedsim/models/sample_bay.icd";

struct Folder {
    Folder() {
        char pattern[] = "/tmp/korvan-client-files-XXXXXX";
        path = mkdtemp(pattern);
        mkdir((path + "/COMTRADE").c_str(), 0700);
    }
    ~Folder() { std::system(("rm -rf '" + path + "'").c_str()); }
    void write(const std::string& name, const std::string& content) const {
        std::ofstream(path + "/" + name, std::ios::binary) << content;
    }
    std::string path;
};

std::unique_ptr<SimulatedServer> startWithFiles(const std::string& root, size_t maxPduSize = 65000,
                                                std::optional<uint64_t> silentAfter = std::nullopt) {
    SimulatedServer::Options options;
    options.server.maxPduSize = maxPduSize;
    options.server.silentAfterRequests = silentAfter;
    options.filesRoot = root;
    std::string error;
    auto server = SimulatedServer::start(kSampleBay, options, &error);
    EXPECT_TRUE(server) << error;
    return server;
}

struct Entry {
    std::string name;
    uint32_t size;
    uint64_t modified;
};

std::vector<Entry> takeEntries(LinkedList list) {
    std::vector<Entry> entries;
    for (LinkedList e = LinkedList_getNext(list); e != nullptr; e = LinkedList_getNext(e)) {
        auto* entry = static_cast<FileDirectoryEntry>(LinkedList_getData(e));
        entries.push_back({FileDirectoryEntry_getFileName(entry), FileDirectoryEntry_getFileSize(entry),
                           FileDirectoryEntry_getLastModified(entry)});
    }
    LinkedList_destroyDeep(list, reinterpret_cast<LinkedListValueDeleteFunction>(FileDirectoryEntry_destroy));
    return entries;
}

struct Download {
    std::string content;
    size_t calls = 0;
    size_t stopAfter = SIZE_MAX;
};

bool collect(void* parameter, uint8_t* buffer, uint32_t bytesRead) {
    auto* d = static_cast<Download*>(parameter);
    d->content.append(reinterpret_cast<const char*>(buffer), bytesRead);
    return ++d->calls < d->stopAfter;
}

std::string bigContent(size_t size) {
    std::string s;
    for (size_t i = 0; i < size; ++i) {
        s += static_cast<char>(i * 7 % 251);
    }
    return s;
}

TEST(ClientFilesTest, LongListingsAreFollowedToTheirEnd) {
    Folder folder;
    for (int i = 0; i < 150; ++i) {
        folder.write("COMTRADE/rec" + std::to_string(1000 + i) + ".cfg",
                     std::string(static_cast<size_t>(i), 'c'));
    }
    auto ied = startWithFiles(folder.path, 1000);
    ASSERT_TRUE(ied);
    auto connection = connectTo(ied->port());
    IedClientError error = IED_ERROR_UNKNOWN;
    auto all = takeEntries(IedConnection_getFileDirectory(connection.get(), &error, "/COMTRADE"));
    EXPECT_EQ(error, IED_ERROR_OK);
    ASSERT_EQ(all.size(), 150u);
    EXPECT_EQ(all[0].name, "/COMTRADE/rec1000.cfg");
    EXPECT_EQ(all[149].name, "/COMTRADE/rec1149.cfg");
    EXPECT_EQ(all[149].size, 149u);
    EXPECT_GT(all[149].modified, 1600000000000u);

    bool more = false;
    auto first =
        takeEntries(IedConnection_getFileDirectoryEx(connection.get(), &error, "/COMTRADE", nullptr, &more));
    ASSERT_TRUE(more);
    ASSERT_LT(first.size(), 150u);
    auto next = takeEntries(IedConnection_getFileDirectoryEx(connection.get(), &error, "/COMTRADE",
                                                             first.back().name.c_str(), &more));
    ASSERT_FALSE(next.empty());
    EXPECT_EQ(next.front().name, all[first.size()].name);

    auto root = takeEntries(IedConnection_getFileDirectory(connection.get(), &error, nullptr));
    ASSERT_EQ(root.size(), 1u);
    EXPECT_EQ(root[0].name, "/COMTRADE/");
}

TEST(ClientFilesTest, FilesLargerThanOnePduArriveWholeAndRefusalsCarryTheDevicesReason) {
    Folder folder;
    const std::string content = bigContent(50000);
    folder.write("COMTRADE/big.dat", content);
    auto ied = startWithFiles(folder.path, 2000);
    ASSERT_TRUE(ied);
    auto connection = connectTo(ied->port());
    IedClientError error = IED_ERROR_UNKNOWN;
    Download whole;
    EXPECT_EQ(IedConnection_getFile(connection.get(), &error, "/COMTRADE/big.dat", collect, &whole), 50000u);
    EXPECT_EQ(error, IED_ERROR_OK);
    EXPECT_EQ(whole.content, content);
    EXPECT_GE(whole.calls, 25u);

    // A handler that stops: the transfer ends with an error, and the device's handle is given back
    // (an open file could not be deleted).
    Download stopped;
    stopped.stopAfter = 2;
    IedConnection_getFile(connection.get(), &error, "/COMTRADE/big.dat", collect, &stopped);
    EXPECT_NE(error, IED_ERROR_OK);
    EXPECT_EQ(stopped.calls, 2u);
    IedConnection_deleteFile(connection.get(), &error, "/COMTRADE/big.dat");
    EXPECT_EQ(error, IED_ERROR_OK);
    EXPECT_NE(access((folder.path + "/COMTRADE/big.dat").c_str(), F_OK), 0);

    Download none;
    IedConnection_getFile(connection.get(), &error, "/COMTRADE/big.dat", collect, &none);
    EXPECT_EQ(error, IED_ERROR_OBJECT_DOES_NOT_EXIST);
    IedConnection_deleteFile(connection.get(), &error, "/../outside");
    EXPECT_EQ(error, IED_ERROR_ACCESS_DENIED);
    IedConnection_getFile(connection.get(), &error, "/COMTRADE", collect, &none);
    EXPECT_EQ(error, IED_ERROR_ACCESS_DENIED);
    EXPECT_EQ(none.calls, 0u);
}

TEST(ClientFilesTest, ADeviceThatStopsMidDownloadLeavesAnError) {
    Folder folder;
    folder.write("COMTRADE/big.dat", bigContent(30000));
    // Association, open and three reads are answered; then the device freezes.
    auto ied = startWithFiles(folder.path, 2000, 4);
    ASSERT_TRUE(ied);
    auto connection = connectTo(ied->port(), 500);
    IedClientError error = IED_ERROR_OK;
    Download partial;
    const uint32_t got =
        IedConnection_getFile(connection.get(), &error, "/COMTRADE/big.dat", collect, &partial);
    EXPECT_NE(error, IED_ERROR_OK);
    EXPECT_LT(got, 30000u);
    EXPECT_EQ(got, partial.content.size());
}

TEST(ClientLogsTest, TheSampleBaysLogByTimeAndAfterAnEntry) {
    Folder folder;
    auto ied = startWithFiles(folder.path, 1000);
    ASSERT_TRUE(ied);
    for (int i = 0; i < 30; ++i) {
        ASSERT_TRUE(ied->setValue("BAY1CTRL", "GGIO1$ST$Ind1$stVal", MmsValue::boolean(i % 2 == 0)));
    }
    auto connection = connectTo(ied->port());
    IedClientError error = IED_ERROR_UNKNOWN;
    bool more = false;
    std::vector<std::string> ids;
    LinkedList entries = IedConnection_queryLogByTime(connection.get(), &error, "BAY1CTRL/LLN0$EventLog", 0,
                                                      UINT64_MAX / 2, &more);
    ASSERT_EQ(error, IED_ERROR_OK);
    EXPECT_TRUE(more) << "30 entries do not fit into 1000 octets";
    MmsValue* lastId = nullptr;
    uint64_t lastTime = 0;
    for (int round = 0; round < 100; ++round) {
        for (LinkedList e = LinkedList_getNext(entries); e != nullptr; e = LinkedList_getNext(e)) {
            auto* entry = static_cast<MmsJournalEntry>(LinkedList_getData(e));
            MmsValue* id = MmsJournalEntry_getEntryID(entry);
            ASSERT_EQ(MmsValue_getOctetStringSize(id), 8);
            ids.push_back(std::to_string(MmsValue_getOctetStringBuffer(id)[7]));
            LinkedList variables = MmsJournalEntry_getJournalVariables(entry);
            ASSERT_EQ(LinkedList_size(variables), 2);
            auto* value = static_cast<MmsJournalVariable>(LinkedList_getData(LinkedList_getNext(variables)));
            auto* reason = static_cast<MmsJournalVariable>(
                LinkedList_getData(LinkedList_getNext(LinkedList_getNext(variables))));
            EXPECT_STREQ(MmsJournalVariable_getTag(value), "BAY1CTRL/GGIO1$ST$Ind1$stVal");
            EXPECT_EQ(MmsValue_getType(MmsJournalVariable_getValue(value)), MMS_BOOLEAN);
            EXPECT_STREQ(MmsJournalVariable_getTag(reason), "ReasonCode");
            EXPECT_TRUE(MmsValue_getBitStringBit(MmsJournalVariable_getValue(reason), 1));
            MmsValue_delete(lastId);
            lastId = MmsValue_clone(id);
            lastTime = MmsValue_getBinaryTimeAsUtcMs(MmsJournalEntry_getOccurenceTime(entry));
        }
        LinkedList_destroyDeep(entries,
                               reinterpret_cast<LinkedListValueDeleteFunction>(MmsJournalEntry_destroy));
        if (!more) {
            break;
        }
        entries = IedConnection_queryLogAfter(connection.get(), &error, "BAY1CTRL/LLN0.EventLog", lastId,
                                              lastTime, &more);
        ASSERT_EQ(error, IED_ERROR_OK);
    }
    MmsValue_delete(lastId);
    ASSERT_EQ(ids.size(), 30u);
    EXPECT_EQ(ids.front(), "1");
    EXPECT_EQ(ids.back(), "30");

    IedConnection_queryLogByTime(connection.get(), &error, "BAY1CTRL/LLN0$NoSuchLog", 0, 1, &more);
    EXPECT_EQ(error, IED_ERROR_OBJECT_DOES_NOT_EXIST);
    IedConnection_queryLogByTime(connection.get(), &error, "no-slash", 0, 1, &more);
    EXPECT_EQ(error, IED_ERROR_OBJECT_REFERENCE_INVALID);
}

}  // namespace
}  // namespace korvan::test
