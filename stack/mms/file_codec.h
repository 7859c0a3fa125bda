#pragma once
// Bodies of the file and journal services; not part of the public interface.

#include "decoder.h"

namespace iecstack::mms::detail {

enum RecordServiceTag : uint32_t {
    kReadJournal = 65,
    kFileOpen = 72,
    kFileRead = 73,
    kFileClose = 74,
    kFileDelete = 76,
    kFileDirectory = 77,
};

Decoded<FileDirectoryRequest> fileDirectoryRequest(const Decoder& d, const ber::Element& element);
Decoded<FileDirectoryResponse> fileDirectoryResponse(const Decoder& d, const ber::Element& element);
Decoded<FileOpenRequest> fileOpenRequest(const Decoder& d, const ber::Element& element);
Decoded<FileOpenResponse> fileOpenResponse(const Decoder& d, const ber::Element& element);
Decoded<FileReadResponse> fileReadResponse(const Decoder& d, const ber::Element& element);
// FileRead and FileClose requests are the handle alone.
Decoded<int32_t> frsmHandle(const Decoder& d, const ber::Element& element);
Decoded<FileDeleteRequest> fileDeleteRequest(const Decoder& d, const ber::Element& element);

Decoded<ReadJournalRequest> readJournalRequest(const Decoder& d, const ber::Element& element);
Decoded<ReadJournalResponse> readJournalResponse(const Decoder& d, const ber::Element& element);

void encodeBody(ber::Writer& w, const FileDirectoryRequest& r);
void encodeBody(ber::Writer& w, const FileDirectoryResponse& r);
void encodeBody(ber::Writer& w, const FileOpenRequest& r);
void encodeBody(ber::Writer& w, const FileOpenResponse& r);
void encodeBody(ber::Writer& w, const FileReadRequest& r);
void encodeBody(ber::Writer& w, const FileReadResponse& r);
void encodeBody(ber::Writer& w, const FileCloseRequest& r);
void encodeBody(ber::Writer& w, const FileCloseResponse& r);
void encodeBody(ber::Writer& w, const FileDeleteRequest& r);
void encodeBody(ber::Writer& w, const FileDeleteResponse& r);
void encodeBody(ber::Writer& w, const ReadJournalRequest& r);
void encodeBody(ber::Writer& w, const ReadJournalResponse& r);

}  // namespace iecstack::mms::detail
