#pragma once
// The simulated device's file services over a FileStore: listings cut to the PDU size with
// continuation, files read through handles each association holds, deletion. Not part of the public
// interface.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "file_store.h"
#include "mms/pdu.h"
#include "server/session.h"

namespace iecstack::server {

class FileService {
public:
    // Files an association may hold open at once, as devices limit them.
    static constexpr size_t kMaxOpenPerAssociation = 8;

    // Without a store the device has no files: listings are empty, every name is unknown.
    explicit FileService(std::unique_ptr<FileStore> store);
    ~FileService();
    FileService(const FileService&) = delete;
    FileService& operator=(const FileService&) = delete;

    mms::Pdu directory(uint32_t invokeId, const mms::FileDirectoryRequest& request, size_t maxPduSize,
                       std::string& summary) const;
    mms::Pdu open(uint32_t invokeId, const mms::FileOpenRequest& request, const Session& session,
                  std::string& summary);
    mms::Pdu read(uint32_t invokeId, const mms::FileReadRequest& request, const Session& session,
                  size_t maxPduSize, std::string& summary);
    mms::Pdu close(uint32_t invokeId, const mms::FileCloseRequest& request, const Session& session,
                   std::string& summary);
    mms::Pdu remove(uint32_t invokeId, const mms::FileDeleteRequest& request, std::string& summary);
    // Closes what the association left open.
    void associationEnded(const Session& session);

private:
    struct OpenFile {
        uint64_t session = 0;
        int fd = -1;
        uint64_t size = 0;
        uint64_t position = 0;
    };

    std::unique_ptr<FileStore> store_;
    std::mutex mutex_;  // guards the members below
    std::map<int32_t, OpenFile> open_;
    int32_t nextHandle_ = 1;
};

}  // namespace iecstack::server
