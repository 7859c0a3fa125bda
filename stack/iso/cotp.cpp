#include "iso/cotp.h"

#include <algorithm>

#include "iso/tpkt.h"

namespace iecstack::iso::cotp {

namespace {

constexpr uint8_t kCodeCr = 0xe0;
constexpr uint8_t kCodeCc = 0xd0;
constexpr uint8_t kCodeDt = 0xf0;
constexpr uint8_t kCodeDr = 0x80;
constexpr uint8_t kCodeEr = 0x70;
constexpr uint8_t kEndOfTsdu = 0x80;

constexpr uint8_t kParamTpduSize = 0xc0;
constexpr uint8_t kParamCallingTsap = 0xc1;
constexpr uint8_t kParamCalledTsap = 0xc2;

uint16_t be16(ByteView b, size_t at) {
    return static_cast<uint16_t>(b[at] << 8 | b[at + 1]);
}

void put16(Bytes& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

Result<CotpConnect, Error> decodeConnect(ByteView header) {
    // header: everything after the length indicator, up to its end
    if (header.size() < 6) {
        return Error::BadTpdu;
    }
    CotpConnect connect;
    connect.destinationRef = be16(header, 1);
    connect.sourceRef = be16(header, 3);
    connect.classOption = header[5];
    size_t pos = 6;
    while (pos < header.size()) {
        if (header.size() - pos < 2) {
            return Error::BadTpdu;
        }
        const uint8_t code = header[pos];
        const size_t length = header[pos + 1];
        pos += 2;
        if (length > header.size() - pos) {
            return Error::BadTpdu;
        }
        const ByteView value = header.subview(pos, length);
        pos += length;
        switch (code) {
            case kParamTpduSize:
                if (length != 1) {
                    return Error::BadTpdu;
                }
                connect.tpduSizeCode = value[0];
                break;
            case kParamCallingTsap:
                connect.callingTsap = value.toBytes();
                break;
            case kParamCalledTsap:
                connect.calledTsap = value.toBytes();
                break;
            default:
                break;  // checksums, versions and preferred sizes do not concern class 0
        }
    }
    return connect;
}

Bytes encodeConnect(uint8_t code, const CotpConnect& connect) {
    Bytes tpdu;
    tpdu.push_back(0);  // length indicator, set below
    tpdu.push_back(code);
    put16(tpdu, connect.destinationRef);
    put16(tpdu, connect.sourceRef);
    tpdu.push_back(connect.classOption);
    if (connect.tpduSizeCode) {
        tpdu.insert(tpdu.end(), {kParamTpduSize, 1, *connect.tpduSizeCode});
    }
    auto appendTsap = [&tpdu](uint8_t param, const Bytes& tsap) {
        if (!tsap.empty()) {
            tpdu.push_back(param);
            tpdu.push_back(static_cast<uint8_t>(tsap.size()));
            tpdu.insert(tpdu.end(), tsap.begin(), tsap.end());
        }
    };
    appendTsap(kParamCalledTsap, connect.calledTsap);
    appendTsap(kParamCallingTsap, connect.callingTsap);
    tpdu[0] = static_cast<uint8_t>(tpdu.size() - 1);
    return tpdu;
}

}  // namespace

Result<Tpdu, Error> decodeTpdu(ByteView bytes) {
    if (bytes.size() < 2) {
        return Error::BadTpdu;
    }
    const size_t headerLength = bytes[0];
    if (headerLength < 1 || headerLength == 0xff || headerLength + 1 > bytes.size()) {
        return Error::BadTpdu;
    }
    const ByteView header = bytes.subview(1, headerLength);
    const uint8_t code = header[0] & 0xf0;
    Tpdu tpdu;
    switch (code) {
        case kCodeDt:
            // Class 0 carries only the EOT/number octet.
            if (headerLength != 2) {
                return Error::BadTpdu;
            }
            tpdu.kind = TpduKind::Data;
            tpdu.endOfTsdu = (header[1] & kEndOfTsdu) != 0;
            tpdu.data = bytes.subview(1 + headerLength);
            return tpdu;
        case kCodeCr:
        case kCodeCc: {
            auto connect = decodeConnect(header);
            if (!connect) {
                return connect.error();
            }
            tpdu.kind = code == kCodeCr ? TpduKind::ConnectionRequest : TpduKind::ConnectionConfirm;
            tpdu.connect = std::move(*connect);
            tpdu.data = bytes.subview(1 + headerLength);
            return tpdu;
        }
        case kCodeDr:
            if (headerLength < 6) {
                return Error::BadTpdu;
            }
            tpdu.kind = TpduKind::DisconnectRequest;
            tpdu.destinationRef = be16(header, 1);
            tpdu.sourceRef = be16(header, 3);
            tpdu.reason = header[5];
            return tpdu;
        case kCodeEr:
            if (headerLength < 4) {
                return Error::BadTpdu;
            }
            tpdu.kind = TpduKind::Error;
            tpdu.destinationRef = be16(header, 1);
            tpdu.reason = header[3];
            return tpdu;
        default:
            return Error::UnexpectedTpdu;
    }
}

Bytes encodeConnectionRequest(const CotpConnect& request) {
    return encodeConnect(kCodeCr, request);
}

Bytes encodeConnectionConfirm(const CotpConnect& confirm) {
    return encodeConnect(kCodeCc, confirm);
}

Result<CotpConnect, Error> confirmFor(const CotpConnect& request, uint8_t maxTpduSizeCode) {
    if ((request.classOption >> 4) != 0) {
        return Error::UnsupportedClass;
    }
    const uint8_t proposed = request.tpduSizeCode.value_or(kDefaultTpduSizeCode);
    if (proposed < kDefaultTpduSizeCode) {
        return Error::BadTpdu;
    }
    CotpConnect confirm;
    confirm.destinationRef = request.sourceRef;
    confirm.sourceRef = 1;
    confirm.tpduSizeCode = std::min(proposed, maxTpduSizeCode);
    confirm.callingTsap = request.callingTsap;
    confirm.calledTsap = request.calledTsap;
    return confirm;
}

Bytes encodeDisconnectRequest(uint16_t destinationRef, uint16_t sourceRef, uint8_t reason) {
    Bytes tpdu{6, kCodeDr};
    put16(tpdu, destinationRef);
    put16(tpdu, sourceRef);
    tpdu.push_back(reason);
    return tpdu;
}

Bytes encodeDataTpkts(ByteView tsdu, size_t tpduSize) {
    const size_t chunk = std::clamp<size_t>(tpduSize, 128, kMaxTpktSize - kTpktHeaderSize) - kDtHeaderSize;
    Bytes out;
    out.reserve(tsdu.size() + (tsdu.size() / chunk + 1) * (kDtHeaderSize + kTpktHeaderSize));
    size_t offset = 0;
    do {
        const size_t size = std::min(chunk, tsdu.size() - offset);
        const bool last = offset + size == tsdu.size();
        const size_t length = kTpktHeaderSize + kDtHeaderSize + size;
        out.insert(out.end(), {3, 0, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length), 2,
                               kCodeDt, static_cast<uint8_t>(last ? kEndOfTsdu : 0)});
        out.insert(out.end(), tsdu.begin() + offset, tsdu.begin() + offset + size);
        offset += size;
    } while (offset < tsdu.size());
    return out;
}

Result<std::optional<Bytes>, Error> TsduReassembler::add(const Tpdu& dt) {
    if (dt.kind != TpduKind::Data) {
        return Error::UnexpectedTpdu;
    }
    if (dt.data.size() > maxTsduSize_ - std::min(maxTsduSize_, buffer_.size())) {
        buffer_.clear();
        return Error::TsduTooLarge;
    }
    buffer_.insert(buffer_.end(), dt.data.begin(), dt.data.end());
    if (!dt.endOfTsdu) {
        return std::optional<Bytes>();
    }
    Bytes unit;
    unit.swap(buffer_);
    return std::optional<Bytes>(std::move(unit));
}

}  // namespace iecstack::iso::cotp
