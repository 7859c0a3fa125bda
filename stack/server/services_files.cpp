#include <unistd.h>

#include <algorithm>
#include <vector>

#include "file_service.h"
#include "mms/codec.h"
#include "service_support.h"

namespace iecstack::server {

namespace {

using detail::response;
using detail::serviceError;
using Code = mms::FileErrorCode;

// Resource error code for a handle more than the association may hold.
constexpr int64_t kCapabilityUnavailable = 4;
// Kept free below the agreed PDU size for the envelope around a listing or a chunk.
constexpr size_t kEnvelopeReserve = 32;

mms::Pdu fileError(uint32_t invokeId, Code code) {
    return serviceError(invokeId, mms::ErrorClass::File, static_cast<int64_t>(code));
}

const char* codeName(Code code) {
    switch (code) {
        case Code::FileNonExistent:
            return "file-non-existent";
        case Code::FileAccessDenied:
            return "file-access-denied";
        case Code::FileBusy:
            return "file-busy";
        default:
            return "refused";
    }
}

uint32_t clampedSize(uint64_t size) {
    return static_cast<uint32_t>(std::min<uint64_t>(size, UINT32_MAX));
}

size_t encodedSize(const mms::DirectoryEntry& entry) {
    mms::FileDirectoryResponse one;
    one.entries.push_back(entry);
    mms::FileDirectoryResponse none;
    return mms::encodePdu(mms::ConfirmedResponse{0, one}).size() -
           mms::encodePdu(mms::ConfirmedResponse{0, none}).size();
}

}  // namespace

FileService::FileService(std::unique_ptr<FileStore> store) : store_(std::move(store)) {}

FileService::~FileService() {
    for (auto& [handle, file] : open_) {
        ::close(file.fd);
    }
}

mms::Pdu FileService::directory(uint32_t invokeId, const mms::FileDirectoryRequest& request,
                                size_t maxPduSize, std::string& summary) const {
    const std::string name = request.fileSpecification.value_or("");
    summary = "file-directory \"" + name + "\"";
    mms::FileDirectoryResponse answer;
    if (store_) {
        auto listed = store_->list(name);
        if (!listed) {
            summary += std::string(": ") + codeName(listed.error());
            return fileError(invokeId, listed.error());
        }
        size_t used = kEnvelopeReserve;
        for (const FileStore::Listed& file : *listed) {
            if (request.continueAfter && file.name <= *request.continueAfter) {
                continue;
            }
            mms::DirectoryEntry entry{file.name, {clampedSize(file.size), file.modifiedMs}};
            const size_t size = encodedSize(entry);
            if (!answer.entries.empty() && used + size > maxPduSize) {
                answer.moreFollows = true;
                break;
            }
            used += size;
            answer.entries.push_back(std::move(entry));
        }
    }
    summary += ": " + std::to_string(answer.entries.size()) + " entries" +
               (answer.moreFollows ? ", more follow" : "");
    return response(invokeId, std::move(answer));
}

mms::Pdu FileService::open(uint32_t invokeId, const mms::FileOpenRequest& request, const Session& session,
                           std::string& summary) {
    summary = "file-open \"" + request.fileName + "\"";
    if (!store_) {
        summary += ": file-non-existent";
        return fileError(invokeId, Code::FileNonExistent);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto held = std::count_if(open_.begin(), open_.end(), [&](const auto& entry) {
            return entry.second.session == session.id();
        });
        if (static_cast<size_t>(held) >= kMaxOpenPerAssociation) {
            summary += ": too many open files";
            return serviceError(invokeId, mms::ErrorClass::Resource, kCapabilityUnavailable);
        }
    }
    auto opened = store_->openForReading(request.fileName);
    if (!opened) {
        summary += std::string(": ") + codeName(opened.error());
        return fileError(invokeId, opened.error());
    }
    if (request.initialPosition > opened->size) {
        ::close(opened->fd);
        summary += ": position past the end";
        return fileError(invokeId, Code::PositionInvalid);
    }
    if (lseek(opened->fd, static_cast<off_t>(request.initialPosition), SEEK_SET) < 0) {
        ::close(opened->fd);
        return fileError(invokeId, Code::PositionInvalid);
    }
    int32_t handle = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        do {
            handle = nextHandle_;
            nextHandle_ = nextHandle_ == INT32_MAX ? 1 : nextHandle_ + 1;
        } while (open_.count(handle) != 0);
        open_[handle] = OpenFile{session.id(), opened->fd, opened->size, request.initialPosition};
    }
    summary += ": handle " + std::to_string(handle) + ", " + std::to_string(opened->size) + " bytes";
    return response(invokeId, mms::FileOpenResponse{handle, {clampedSize(opened->size), opened->modifiedMs}});
}

mms::Pdu FileService::read(uint32_t invokeId, const mms::FileReadRequest& request, const Session& session,
                           size_t maxPduSize, std::string& summary) {
    summary = "file-read handle " + std::to_string(request.frsmId);
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = open_.find(request.frsmId);
    // Another association's handle is as unknown to this one as a closed handle.
    if (it == open_.end() || it->second.session != session.id()) {
        summary += ": no such handle";
        return fileError(invokeId, Code::Other);
    }
    OpenFile& file = it->second;
    const size_t chunk = maxPduSize > kEnvelopeReserve * 2 ? maxPduSize - kEnvelopeReserve : kEnvelopeReserve;
    mms::FileReadResponse answer;
    answer.data.resize(chunk);
    ssize_t got = 0;
    do {
        got = ::read(file.fd, answer.data.data(), chunk);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        summary += ": read failed";
        return fileError(invokeId, Code::Other);
    }
    answer.data.resize(static_cast<size_t>(got));
    file.position += static_cast<uint64_t>(got);
    // A file that grows while it is read is sent as long as it was when opened.
    answer.moreFollows = got > 0 && file.position < file.size;
    summary += ": " + std::to_string(got) + " bytes" + (answer.moreFollows ? ", more follow" : ", end");
    return response(invokeId, std::move(answer));
}

mms::Pdu FileService::close(uint32_t invokeId, const mms::FileCloseRequest& request, const Session& session,
                            std::string& summary) {
    summary = "file-close handle " + std::to_string(request.frsmId);
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = open_.find(request.frsmId);
    if (it == open_.end() || it->second.session != session.id()) {
        summary += ": no such handle";
        return fileError(invokeId, Code::Other);
    }
    ::close(it->second.fd);
    open_.erase(it);
    return response(invokeId, mms::FileCloseResponse{});
}

mms::Pdu FileService::remove(uint32_t invokeId, const mms::FileDeleteRequest& request, std::string& summary) {
    summary = "file-delete \"" + request.fileName + "\"";
    if (!store_) {
        summary += ": file-non-existent";
        return fileError(invokeId, Code::FileNonExistent);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<int> fds;
    for (const auto& [handle, file] : open_) {
        fds.push_back(file.fd);
    }
    if (auto refusal = store_->remove(request.fileName, fds)) {
        summary += std::string(": ") + codeName(*refusal);
        return fileError(invokeId, *refusal);
    }
    summary += ": deleted";
    return response(invokeId, mms::FileDeleteResponse{});
}

void FileService::associationEnded(const Session& session) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = open_.begin(); it != open_.end();) {
        if (it->second.session == session.id()) {
            ::close(it->second.fd);
            it = open_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace iecstack::server
