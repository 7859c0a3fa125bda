// The simulator's file services at the service level, checked on the file system: names confined to
// the served directory whatever a client sends, listings cut to the PDU size and continued, files
// read in chunks through handles of their own association, deletion and its refusals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "file_service.h"
#include "mms/codec.h"
#include "server/mms_services.h"
#include "server/model_builder.h"
#include "server/session.h"

using namespace iecstack;
using namespace iecstack::server;
using Code = mms::FileErrorCode;

namespace {

const std::string kSample = std::string(KORVAN_SOURCE_DIR) + "/tools/iedsim/models/sample_bay.icd";

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

bool exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

// A scratch tree: <base>/served is what the device serves, <base>/secret.txt lies beside it.
struct Tree {
    Tree() {
        char pattern[] = "/tmp/korvan-files-XXXXXX";
        base = mkdtemp(pattern);
        served = base + "/served";
        mkdir(served.c_str(), 0700);
        mkdir((served + "/COMTRADE").c_str(), 0700);
        writeFile(base + "/secret.txt", "outside");
        writeFile(served + "/COMTRADE/a.cfg", "cfg");
    }
    ~Tree() { std::system(("rm -rf '" + base + "'").c_str()); }
    std::string base, served;
};

struct Device {
    explicit Device(const std::string& root, size_t pduSize = 65000) : session(Session::detached(pduSize)) {
        auto loaded = loadDataModel(kSample, "");
        EXPECT_TRUE(loaded.ok());
        model = std::move(*loaded);
        services = std::make_unique<MmsServices>(*model, ServerIdentity{});
        std::string error;
        EXPECT_TRUE(services->serveFiles(root, &error)) << error;
    }
    mms::Pdu ask(mms::ConfirmedRequestService service, Session* from = nullptr) {
        return services->answer(mms::ConfirmedRequest{++invokeId, std::move(service)},
                                from ? *from : *session);
    }
    template <typename T>
    std::optional<T> answer(mms::ConfirmedRequestService service, Session* from = nullptr) {
        mms::Pdu pdu = ask(std::move(service), from);
        const auto* r = std::get_if<mms::ConfirmedResponse>(&pdu);
        const T* t = r ? std::get_if<T>(&r->service) : nullptr;
        return t ? std::optional<T>(*t) : std::nullopt;
    }
    // The file error code of a refusal; -1 for anything else.
    int refusal(mms::ConfirmedRequestService service, Session* from = nullptr) {
        mms::Pdu pdu = ask(std::move(service), from);
        const auto* e = std::get_if<mms::ConfirmedError>(&pdu);
        return e && e->error.errorClass == mms::ErrorClass::File ? static_cast<int>(e->error.code) : -1;
    }
    std::string readAll(const std::string& name, size_t* chunks = nullptr) {
        auto opened = answer<mms::FileOpenResponse>(mms::FileOpenRequest{name, 0});
        if (!opened) {
            return "<not opened>";
        }
        std::string content;
        for (size_t n = 1;; ++n) {
            auto chunk = answer<mms::FileReadResponse>(mms::FileReadRequest{opened->frsmId});
            if (!chunk) {
                return "<read refused>";
            }
            content.append(chunk->data.begin(), chunk->data.end());
            if (!chunk->moreFollows) {
                if (chunks) {
                    *chunks = n;
                }
                break;
            }
        }
        EXPECT_TRUE(answer<mms::FileCloseResponse>(mms::FileCloseRequest{opened->frsmId}));
        return content;
    }

    std::unique_ptr<DataModel> model;
    std::unique_ptr<MmsServices> services;
    std::shared_ptr<Session> session;
    uint32_t invokeId = 0;
};

const int kDenied = static_cast<int>(Code::FileAccessDenied);
const int kMissing = static_cast<int>(Code::FileNonExistent);

TEST(FileConfinement, EveryEscapeIsRefusedAndNothingOutsideIsTouched) {
    Tree tree;
    symlink((tree.base + "/secret.txt").c_str(), (tree.served + "/link-out").c_str());
    symlink(tree.base.c_str(), (tree.served + "/dir-out").c_str());
    Device ied(tree.served);
    const std::string escapes[] = {"../secret.txt",
                                   "/../secret.txt",
                                   "COMTRADE/../../secret.txt",
                                   "link-out",
                                   "/dir-out/secret.txt",
                                   tree.base + "/secret.txt",  // an absolute path names a file below the root
                                   std::string("COMTRADE/a.cfg\0../../secret.txt", 31)};
    for (const std::string& name : escapes) {
        const int code = ied.refusal(mms::FileOpenRequest{name, 0});
        EXPECT_TRUE(code == kDenied || code == kMissing) << name << " -> " << code;
        EXPECT_TRUE(code == kDenied || name == tree.base + "/secret.txt") << name << " -> " << code;
        EXPECT_NE(ied.refusal(mms::FileDeleteRequest{name}), -1) << name;
        EXPECT_NE(ied.refusal(mms::FileDirectoryRequest{name, std::nullopt}), -1) << name;
    }
    EXPECT_EQ(ied.refusal(mms::FileDirectoryRequest{"..", std::nullopt}), kDenied);
    EXPECT_EQ(ied.refusal(mms::FileDirectoryRequest{"/dir-out", std::nullopt}), kDenied);
    // Still there, and the link itself was not removed either.
    EXPECT_TRUE(exists(tree.base + "/secret.txt"));
    EXPECT_TRUE(exists(tree.served + "/link-out"));
    // Links are not listed, so no listing tells the size of what lies outside.
    auto root = ied.answer<mms::FileDirectoryResponse>(mms::FileDirectoryRequest{});
    ASSERT_TRUE(root);
    ASSERT_EQ(root->entries.size(), 1u);
    EXPECT_EQ(root->entries[0].fileName, "/COMTRADE/");
    // ".." that stays inside is only a name.
    EXPECT_EQ(ied.readAll("/COMTRADE/../COMTRADE/a.cfg"), "cfg");
}

TEST(FileListing, NamesSizesTimesAndContinuationAtTheBounds) {
    Tree tree;
    for (int i = 0; i < 200; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/COMTRADE/record_%03d.dat", i);
        writeFile(tree.served + name, std::string(static_cast<size_t>(i), 'x'));
    }
    Device ied(tree.served, 1000);
    std::vector<mms::DirectoryEntry> all;
    std::optional<std::string> after;
    size_t answers = 0;
    for (;;) {
        auto part = ied.answer<mms::FileDirectoryResponse>(mms::FileDirectoryRequest{"/COMTRADE", after});
        ASSERT_TRUE(part);
        ASSERT_FALSE(part->entries.empty());
        EXPECT_LE(mms::encodePdu(mms::ConfirmedResponse{ied.invokeId, *part}).size(), 1000u);
        all.insert(all.end(), part->entries.begin(), part->entries.end());
        ++answers;
        if (!part->moreFollows) {
            break;
        }
        after = part->entries.back().fileName;
    }
    EXPECT_GT(answers, 5u);
    ASSERT_EQ(all.size(), 201u);
    EXPECT_EQ(all[0].fileName, "/COMTRADE/a.cfg");
    EXPECT_EQ(all[1].fileName, "/COMTRADE/record_000.dat");
    EXPECT_EQ(all[200].fileName, "/COMTRADE/record_199.dat");
    EXPECT_EQ(all[200].attributes.sizeOfFile, 199u);
    EXPECT_TRUE(all[200].attributes.lastModifiedMs.value_or(0) > 1600000000000u);
    // Continuing after the last name gives an empty, final answer; a file is its own listing.
    auto past = ied.answer<mms::FileDirectoryResponse>(
        mms::FileDirectoryRequest{"/COMTRADE", std::string("/COMTRADE/record_199.dat")});
    ASSERT_TRUE(past);
    EXPECT_TRUE(past->entries.empty());
    EXPECT_FALSE(past->moreFollows);
    auto one =
        ied.answer<mms::FileDirectoryResponse>(mms::FileDirectoryRequest{"COMTRADE/a.cfg", std::nullopt});
    ASSERT_TRUE(one && one->entries.size() == 1);
    EXPECT_EQ(one->entries[0].attributes.sizeOfFile, 3u);
    EXPECT_EQ(ied.refusal(mms::FileDirectoryRequest{"/nothing", std::nullopt}), kMissing);
}

TEST(FileReading, LargeFilesInChunksThroughHandlesOfTheirOwnAssociation) {
    Tree tree;
    std::string big;
    for (int i = 0; i < 20000; ++i) {
        big += static_cast<char>('a' + i % 26);
    }
    writeFile(tree.served + "/big.dat", big);
    Device ied(tree.served, 1000);
    size_t chunks = 0;
    EXPECT_EQ(ied.readAll("/big.dat", &chunks), big);
    EXPECT_GE(chunks, 20u);
    // An empty file: one empty, final chunk.
    writeFile(tree.served + "/empty", "");
    EXPECT_EQ(ied.readAll("empty"), "");

    auto opened = ied.answer<mms::FileOpenResponse>(mms::FileOpenRequest{"big.dat", 0});
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->attributes.sizeOfFile, 20000u);
    // Another association cannot read or close the handle, and an open file is busy for deletion.
    auto other = Session::detached(1000);
    EXPECT_EQ(ied.refusal(mms::FileReadRequest{opened->frsmId}, other.get()), static_cast<int>(Code::Other));
    EXPECT_EQ(ied.refusal(mms::FileCloseRequest{opened->frsmId}, other.get()), static_cast<int>(Code::Other));
    EXPECT_EQ(ied.refusal(mms::FileDeleteRequest{"big.dat"}, other.get()), static_cast<int>(Code::FileBusy));
    // Once its association has gone, the handle is closed and the file may go.
    ied.services->associationEnded(*ied.session);
    EXPECT_EQ(ied.refusal(mms::FileReadRequest{opened->frsmId}), static_cast<int>(Code::Other));
    EXPECT_TRUE(ied.answer<mms::FileDeleteResponse>(mms::FileDeleteRequest{"big.dat"}, other.get()));
    EXPECT_FALSE(exists(tree.served + "/big.dat"));
    EXPECT_EQ(ied.refusal(mms::FileDeleteRequest{"big.dat"}), kMissing);
    EXPECT_EQ(ied.refusal(mms::FileDeleteRequest{"COMTRADE"}), kDenied);
    EXPECT_TRUE(exists(tree.served + "/COMTRADE"));
    EXPECT_EQ(ied.refusal(mms::FileOpenRequest{"COMTRADE/a.cfg", 4}),
              static_cast<int>(Code::PositionInvalid));
}

TEST(FileReading, AnAssociationHoldsOnlySoManyHandles) {
    Tree tree;
    Device ied(tree.served);
    for (size_t i = 0; i < FileService::kMaxOpenPerAssociation; ++i) {
        EXPECT_TRUE(ied.answer<mms::FileOpenResponse>(mms::FileOpenRequest{"COMTRADE/a.cfg", 0})) << i;
    }
    mms::Pdu refused = ied.ask(mms::FileOpenRequest{"COMTRADE/a.cfg", 0});
    ASSERT_TRUE(std::holds_alternative<mms::ConfirmedError>(refused));
    EXPECT_EQ(std::get<mms::ConfirmedError>(refused).error.errorClass, mms::ErrorClass::Resource);
}

TEST(FileReading, WithoutAServedDirectoryThereAreNoFiles) {
    auto loaded = loadDataModel(kSample, "");
    ASSERT_TRUE(loaded.ok());
    MmsServices services(**loaded, ServerIdentity{});
    auto session = Session::detached();
    mms::Pdu listing = services.answer(mms::ConfirmedRequest{1, mms::FileDirectoryRequest{}}, *session);
    ASSERT_TRUE(std::holds_alternative<mms::ConfirmedResponse>(listing));
    EXPECT_TRUE(std::get<mms::FileDirectoryResponse>(std::get<mms::ConfirmedResponse>(listing).service)
                    .entries.empty());
    mms::Pdu open =
        services.answer(mms::ConfirmedRequest{2, mms::FileOpenRequest{"/etc/passwd", 0}}, *session);
    ASSERT_TRUE(std::holds_alternative<mms::ConfirmedError>(open));
}

}  // namespace
