// The file services on the wire: directory, open, read, close and delete.
#include "file_codec.h"

#include <cstdio>
#include <ctime>

namespace iecstack::mms {

using ber::ctx;
using ber::ctxc;

namespace {

constexpr ber::Tag kGraphicString = ber::universal(25);
// Joined names longer than this are refused; no file store we know of takes longer paths.
constexpr size_t kMaxFileNameLength = 1024;

int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

}  // namespace

std::string generalizedTimeFromMs(uint64_t ms) {
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d.%03uZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<unsigned>(ms % 1000));
    return text;
}

std::optional<uint64_t> msFromGeneralizedTime(const std::string& text) {
    auto digits = [&](size_t at, size_t count, unsigned* out) {
        if (at + count > text.size()) {
            return false;
        }
        unsigned v = 0;
        for (size_t i = at; i < at + count; ++i) {
            if (text[i] < '0' || text[i] > '9') {
                return false;
            }
            v = v * 10 + static_cast<unsigned>(text[i] - '0');
        }
        *out = v;
        return true;
    };
    unsigned year, month, day, hour, minute, second;
    if (!digits(0, 4, &year) || !digits(4, 2, &month) || !digits(6, 2, &day) || !digits(8, 2, &hour) ||
        !digits(10, 2, &minute) || !digits(12, 2, &second) || year < 1970 || month < 1 || month > 12 ||
        day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) {
        return std::nullopt;
    }
    size_t at = 14;
    unsigned fraction = 0;
    if (at < text.size() && (text[at] == '.' || text[at] == ',')) {
        size_t end = at + 1;
        unsigned scale = 1000;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9') {
            if (scale > 1) {
                scale /= 10;
                fraction += static_cast<unsigned>(text[end] - '0') * scale;
            }
            ++end;
        }
        if (end == at + 1) {
            return std::nullopt;
        }
        at = end;
    }
    if (at < text.size() && text[at] == 'Z') {
        ++at;
    }
    if (at != text.size()) {
        return std::nullopt;
    }
    const int64_t days = daysFromCivil(year, month, day);
    return static_cast<uint64_t>(days * 86400 + hour * 3600 + minute * 60 + second) * 1000 + fraction;
}

namespace detail {

namespace {

Decoded<std::string> fileName(const Decoder& d, const ber::Element& list) {
    MMS_TRY(std::vector<std::string> parts,
            d.listOf<std::string>(list, [&d](const ber::Element& part) -> Decoded<std::string> {
                if (part.tag != kGraphicString && part.tag != ber::tags::VisibleString) {
                    return failure(Error::UnexpectedTag);
                }
                return d.identifier(part);
            }));
    std::string joined;
    for (const std::string& part : parts) {
        if (!joined.empty() && joined.back() != '/' && !part.empty() && part.front() != '/') {
            joined += '/';
        }
        joined += part;
        if (joined.size() > kMaxFileNameLength) {
            return failure(Error::IdentifierTooLong);
        }
    }
    return joined;
}

void encodeFileName(ber::Writer& w, ber::Tag tag, const std::string& name) {
    w.begin(tag);
    w.string(kGraphicString, name);
    w.end();
}

Decoded<FileAttributes> fileAttributes(const Decoder& d, const ber::Element& element) {
    FileAttributes attributes;
    MMS_TRY(ber::Reader reader, element.children());
    MMS_TRY(ber::Element size, reader.next(ctx(0)));
    MMS_TRY(attributes.sizeOfFile, d.unsigned32(size));
    MMS_TRY(auto modified, reader.optional(ctx(1)));
    if (modified) {
        MMS_TRY(std::string_view text, modified->toString());
        attributes.lastModifiedMs = msFromGeneralizedTime(std::string(text));
        if (!attributes.lastModifiedMs) {
            return failure(Error::BadTime);
        }
    }
    MMS_CHECK(reader.expectEnd());
    return attributes;
}

void encodeFileAttributes(ber::Writer& w, ber::Tag tag, const FileAttributes& attributes) {
    w.begin(tag);
    w.unsignedInteger(ctx(0), attributes.sizeOfFile);
    if (attributes.lastModifiedMs) {
        w.string(ctx(1), generalizedTimeFromMs(*attributes.lastModifiedMs));
    }
    w.end();
}

}  // namespace

Decoded<FileDirectoryRequest> fileDirectoryRequest(const Decoder& d, const ber::Element& element) {
    FileDirectoryRequest request;
    MMS_TRY(ber::Reader reader, element.children());
    MMS_TRY(auto specification, reader.optional(ctxc(0)));
    if (specification) {
        MMS_TRY(request.fileSpecification, fileName(d, *specification));
    }
    MMS_TRY(auto continueAfter, reader.optional(ctxc(1)));
    if (continueAfter) {
        MMS_TRY(request.continueAfter, fileName(d, *continueAfter));
    }
    MMS_CHECK(reader.expectEnd());
    return request;
}

Decoded<FileDirectoryResponse> fileDirectoryResponse(const Decoder& d, const ber::Element& element) {
    FileDirectoryResponse response;
    MMS_TRY(ber::Reader reader, element.children());
    MMS_TRY(ber::Element list, reader.next(ctxc(0)));
    MMS_TRY(response.entries,
            d.listOf<DirectoryEntry>(list, [&d](const ber::Element& entry) -> Decoded<DirectoryEntry> {
                if (entry.tag != ber::tags::Sequence) {
                    return failure(Error::UnexpectedTag);
                }
                DirectoryEntry decoded;
                MMS_TRY(ber::Reader fields, entry.children());
                MMS_TRY(ber::Element name, fields.next(ctxc(0)));
                MMS_TRY(decoded.fileName, fileName(d, name));
                MMS_TRY(ber::Element attributes, fields.next(ctxc(1)));
                MMS_TRY(decoded.attributes, fileAttributes(d, attributes));
                MMS_CHECK(fields.expectEnd());
                return decoded;
            }));
    MMS_TRY(auto moreFollows, reader.optional(ctx(1)));
    if (moreFollows) {
        MMS_TRY(response.moreFollows, moreFollows->toBoolean());
    }
    MMS_CHECK(reader.expectEnd());
    return response;
}

Decoded<FileOpenRequest> fileOpenRequest(const Decoder& d, const ber::Element& element) {
    FileOpenRequest request;
    MMS_TRY(ber::Reader reader, element.children());
    MMS_TRY(ber::Element name, reader.next(ctxc(0)));
    MMS_TRY(request.fileName, fileName(d, name));
    MMS_TRY(ber::Element position, reader.next(ctx(1)));
    MMS_TRY(request.initialPosition, d.unsigned32(position));
    MMS_CHECK(reader.expectEnd());
    return request;
}

Decoded<FileOpenResponse> fileOpenResponse(const Decoder& d, const ber::Element& element) {
    FileOpenResponse response;
    MMS_TRY(ber::Reader reader, element.children());
    MMS_TRY(ber::Element handle, reader.next(ctx(0)));
    MMS_TRY(response.frsmId, d.integer32(handle));
    MMS_TRY(ber::Element attributes, reader.next(ctxc(1)));
    MMS_TRY(response.attributes, fileAttributes(d, attributes));
    MMS_CHECK(reader.expectEnd());
    return response;
}

Decoded<FileReadResponse> fileReadResponse(const Decoder& d, const ber::Element& element) {
    (void)d;
    FileReadResponse response;
    MMS_TRY(ber::Reader reader, element.children());
    MMS_TRY(ber::Element data, reader.next(ctx(0)));
    response.data = data.content.toBytes();
    MMS_TRY(auto moreFollows, reader.optional(ctx(1)));
    if (moreFollows) {
        MMS_TRY(response.moreFollows, moreFollows->toBoolean());
    }
    MMS_CHECK(reader.expectEnd());
    return response;
}

Decoded<int32_t> frsmHandle(const Decoder& d, const ber::Element& element) {
    return d.integer32(element);
}

Decoded<FileDeleteRequest> fileDeleteRequest(const Decoder& d, const ber::Element& element) {
    FileDeleteRequest request;
    MMS_TRY(request.fileName, fileName(d, element));
    return request;
}

void encodeBody(ber::Writer& w, const FileDirectoryRequest& r) {
    w.begin(ctxc(kFileDirectory));
    if (r.fileSpecification) {
        encodeFileName(w, ctxc(0), *r.fileSpecification);
    }
    if (r.continueAfter) {
        encodeFileName(w, ctxc(1), *r.continueAfter);
    }
    w.end();
}

void encodeBody(ber::Writer& w, const FileDirectoryResponse& r) {
    w.begin(ctxc(kFileDirectory));
    w.begin(ctxc(0));
    for (const DirectoryEntry& entry : r.entries) {
        w.begin(ber::tags::Sequence);
        encodeFileName(w, ctxc(0), entry.fileName);
        encodeFileAttributes(w, ctxc(1), entry.attributes);
        w.end();
    }
    w.end();
    if (r.moreFollows) {
        w.boolean(ctx(1), true);
    }
    w.end();
}

void encodeBody(ber::Writer& w, const FileOpenRequest& r) {
    w.begin(ctxc(kFileOpen));
    encodeFileName(w, ctxc(0), r.fileName);
    w.unsignedInteger(ctx(1), r.initialPosition);
    w.end();
}

void encodeBody(ber::Writer& w, const FileOpenResponse& r) {
    w.begin(ctxc(kFileOpen));
    w.integer(ctx(0), r.frsmId);
    encodeFileAttributes(w, ctxc(1), r.attributes);
    w.end();
}

void encodeBody(ber::Writer& w, const FileReadRequest& r) {
    w.integer(ctx(kFileRead), r.frsmId);
}

void encodeBody(ber::Writer& w, const FileReadResponse& r) {
    w.begin(ctxc(kFileRead));
    w.octets(ctx(0), ByteView(r.data));
    if (!r.moreFollows) {
        w.boolean(ctx(1), false);
    }
    w.end();
}

void encodeBody(ber::Writer& w, const FileCloseRequest& r) {
    w.integer(ctx(kFileClose), r.frsmId);
}

void encodeBody(ber::Writer& w, const FileCloseResponse&) {
    w.null(ctx(kFileClose));
}

void encodeBody(ber::Writer& w, const FileDeleteRequest& r) {
    w.begin(ctxc(kFileDelete));
    w.string(kGraphicString, r.fileName);
    w.end();
}

void encodeBody(ber::Writer& w, const FileDeleteResponse&) {
    w.null(ctx(kFileDelete));
}

}  // namespace detail

}  // namespace iecstack::mms
