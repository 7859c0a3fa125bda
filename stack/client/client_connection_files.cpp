// File transfer and log queries.

#include <set>

#include "client_connection.h"

namespace iecstack::client {

namespace {

// A device that keeps answering "more follows" with nothing in it would hold a download forever.
constexpr size_t kMaxEmptyChunks = 100;

template <typename T>
const T* answerOf(const RequestOutcome& outcome, ClientError* error) {
    *error = outcome.error;
    if (outcome.error != ClientError::Ok) {
        return nullptr;
    }
    const T* answer = std::get_if<T>(&*outcome.response);
    if (answer == nullptr) {
        *error = ClientError::UnexpectedValueReceived;
    }
    return answer;
}

}  // namespace

std::vector<mms::DirectoryEntry> ClientConnection::fileDirectory(ClientError* error, const char* directory,
                                                                 const char* continueAfter,
                                                                 bool* moreFollows) {
    mms::FileDirectoryRequest request;
    if (directory != nullptr && directory[0] != '\0') {
        request.fileSpecification = directory;
    }
    if (continueAfter != nullptr) {
        request.continueAfter = continueAfter;
    }
    std::vector<mms::DirectoryEntry> entries;
    std::set<std::string> askedAfter;
    for (size_t round = 0;; ++round) {
        const RequestOutcome outcome = requestNow(request);
        const auto* answer = answerOf<mms::FileDirectoryResponse>(outcome, error);
        if (answer == nullptr) {
            return {};
        }
        entries.insert(entries.end(), answer->entries.begin(), answer->entries.end());
        if (moreFollows != nullptr) {
            *moreFollows = answer->moreFollows;
            return entries;
        }
        if (!answer->moreFollows) {
            return entries;
        }
        // Continuing needs a name to continue after, and one not asked for before.
        if (answer->entries.empty() || !askedAfter.insert(answer->entries.back().fileName).second ||
            round + 1 >= limits_.maxContinuations || entries.size() >= limits_.maxNamesPerList) {
            *error = ClientError::UnexpectedValueReceived;
            return {};
        }
        request.continueAfter = answer->entries.back().fileName;
    }
}

uint32_t ClientConnection::getFile(ClientError* error, const char* fileName,
                                   const std::function<bool(uint8_t*, uint32_t)>& chunk) {
    if (fileName == nullptr || fileName[0] == '\0') {
        *error = ClientError::InvalidArgument;
        return 0;
    }
    const RequestOutcome openOutcome = requestNow(mms::FileOpenRequest{fileName, 0});
    const auto* opened = answerOf<mms::FileOpenResponse>(openOutcome, error);
    if (opened == nullptr) {
        return 0;
    }
    const int32_t handle = opened->frsmId;
    uint64_t received = 0;
    size_t emptyChunks = 0;
    for (;;) {
        const RequestOutcome outcome = requestNow(mms::FileReadRequest{handle});
        const auto* read = answerOf<mms::FileReadResponse>(outcome, error);
        if (read == nullptr) {
            break;
        }
        if (read->data.empty() && read->moreFollows && ++emptyChunks > kMaxEmptyChunks) {
            *error = ClientError::UnexpectedValueReceived;
            break;
        }
        if (received + read->data.size() > UINT32_MAX) {
            *error = ClientError::UnexpectedValueReceived;
            break;
        }
        if (!read->data.empty()) {
            Bytes data = read->data;
            received += data.size();
            if (!chunk(data.data(), static_cast<uint32_t>(data.size()))) {
                // The caller stopped the transfer; its copy is incomplete.
                *error = ClientError::Unknown;
                break;
            }
        }
        if (!read->moreFollows) {
            break;
        }
    }
    if (*error != ClientError::ConnectionLost && *error != ClientError::NotConnected) {
        // The handle is the device's; give it back whatever became of the transfer.
        ClientError closeError = ClientError::Ok;
        answerOf<mms::FileCloseResponse>(requestNow(mms::FileCloseRequest{handle}), &closeError);
    }
    return static_cast<uint32_t>(received);
}

void ClientConnection::deleteFile(ClientError* error, const char* fileName) {
    if (fileName == nullptr || fileName[0] == '\0') {
        *error = ClientError::InvalidArgument;
        return;
    }
    answerOf<mms::FileDeleteResponse>(requestNow(mms::FileDeleteRequest{fileName}), error);
}

std::vector<mms::JournalEntry> ClientConnection::queryLog(ClientError* error, const char* logReference,
                                                          mms::ReadJournalRequest query, bool* moreFollows) {
    const std::string reference = logReference != nullptr ? logReference : "";
    const size_t slash = reference.find('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 == reference.size()) {
        *error = ClientError::ObjectReferenceInvalid;
        return {};
    }
    std::string item = reference.substr(slash + 1);
    // "LLN0.EventLog" as the object reference writes it, "LLN0$EventLog" as the journal is named.
    const size_t dot = item.find('.');
    if (dot != std::string::npos && item.find('$') == std::string::npos) {
        item[dot] = '$';
    }
    query.journalName = mms::ObjectName::domain(reference.substr(0, slash), item);
    const RequestOutcome outcome = requestNow(std::move(query));
    const auto* answer = answerOf<mms::ReadJournalResponse>(outcome, error);
    if (answer == nullptr) {
        return {};
    }
    if (moreFollows != nullptr) {
        *moreFollows = answer->moreFollows;
    }
    return answer->entries;
}

}  // namespace iecstack::client
