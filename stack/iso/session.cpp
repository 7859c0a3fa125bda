#include "iso/session.h"

namespace iecstack::iso::session {

namespace {

constexpr uint8_t kPgiConnectAcceptItem = 0x05;
constexpr uint8_t kPiTransportDisconnect = 0x11;
constexpr uint8_t kPiSessionRequirements = 0x14;
constexpr uint8_t kPiCallingSelector = 0x33;
constexpr uint8_t kPiCalledSelector = 0x34;
constexpr uint8_t kPgiUserData = 0xc1;
constexpr uint8_t kPgiExtendedUserData = 0xc2;

// Protocol options 0, version 2.
constexpr uint8_t kConnectAcceptItem[] = {kPgiConnectAcceptItem, 6, 0x13, 1, 0x00, 0x16, 1, 0x02};
// Duplex only.
constexpr uint8_t kRequirements[] = {kPiSessionRequirements, 2, 0x00, 0x02};
// Release the transport connection, user abort, no reason.
constexpr uint8_t kAbortDisconnect = 0x0b;

struct Length {
    size_t value = 0;
    size_t size = 0;
};

// One-octet length, or 0xff followed by two octets.
bool readLength(ByteView in, size_t at, Length& length) {
    if (at >= in.size()) {
        return false;
    }
    if (in[at] != 0xff) {
        length = {in[at], 1};
        return true;
    }
    if (in.size() - at < 3) {
        return false;
    }
    length = {size_t{in[at + 1]} << 8 | in[at + 2], 3};
    return true;
}

void appendLength(Bytes& out, size_t length) {
    if (length < 0xff) {
        out.push_back(static_cast<uint8_t>(length));
    } else {
        out.insert(out.end(), {0xff, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
    }
}

void appendParameter(Bytes& out, uint8_t code, ByteView value) {
    out.push_back(code);
    appendLength(out, value.size());
    out.insert(out.end(), value.begin(), value.end());
}

Bytes finishSpdu(SpduKind kind, const Bytes& parameters) {
    Bytes out{static_cast<uint8_t>(kind)};
    appendLength(out, parameters.size());
    out.insert(out.end(), parameters.begin(), parameters.end());
    return out;
}

}  // namespace

Result<Spdu, Error> decodeSpdu(ByteView in) {
    if (in.size() < 2) {
        return Error::BadSpdu;
    }
    Spdu spdu;
    const uint8_t si = in[0];
    Length length;
    if (!readLength(in, 1, length) || length.value > in.size() - 1 - length.size) {
        return Error::BadSpdu;
    }
    const size_t bodyStart = 1 + length.size;
    if (si == static_cast<uint8_t>(SpduKind::Data)) {
        // Give-tokens is category 0 and comes first; a data transfer SPDU may follow, with the user
        // data after its parameters rather than inside a parameter.
        size_t pos = bodyStart + length.value;
        if (in.size() - pos >= 2 && in[pos] == 0x01) {
            Length inner;
            if (!readLength(in, pos + 1, inner) || inner.value > in.size() - pos - 1 - inner.size) {
                return Error::BadSpdu;
            }
            pos += 1 + inner.size + inner.value;
        }
        spdu.kind = SpduKind::Data;
        spdu.userData = in.subview(pos);
        return spdu;
    }
    switch (si) {
        case static_cast<uint8_t>(SpduKind::Connect):
        case static_cast<uint8_t>(SpduKind::Accept):
        case static_cast<uint8_t>(SpduKind::Finish):
        case static_cast<uint8_t>(SpduKind::Disconnect):
        case static_cast<uint8_t>(SpduKind::Refuse):
        case static_cast<uint8_t>(SpduKind::Abort):
        case static_cast<uint8_t>(SpduKind::AbortAccept):
            spdu.kind = static_cast<SpduKind>(si);
            break;
        default:
            return Error::UnexpectedSpdu;
    }
    const ByteView body = in.subview(bodyStart, length.value);
    size_t pos = 0;
    while (pos < body.size()) {
        const uint8_t code = body[pos];
        Length parameter;
        if (!readLength(body, pos + 1, parameter) ||
            parameter.value > body.size() - pos - 1 - parameter.size) {
            return Error::BadSpdu;
        }
        const ByteView value = body.subview(pos + 1 + parameter.size, parameter.value);
        pos += 1 + parameter.size + parameter.value;
        switch (code) {
            case kPiCallingSelector:
                spdu.callingSelector = value;
                break;
            case kPiCalledSelector:
                spdu.calledSelector = value;
                break;
            case kPiTransportDisconnect:
                if (value.size() == 1) {
                    spdu.transportDisconnect = value[0];
                }
                break;
            case kPgiUserData:
            case kPgiExtendedUserData:
                spdu.userData = value;
                break;
            default:
                break;  // version, options, tokens and serial numbers do not change what we do
        }
    }
    return spdu;
}

Bytes encodeConnect(const SessionSelectors& selectors, ByteView userData) {
    Bytes parameters(std::begin(kConnectAcceptItem), std::end(kConnectAcceptItem));
    parameters.insert(parameters.end(), std::begin(kRequirements), std::end(kRequirements));
    appendParameter(parameters, kPiCallingSelector, selectors.calling);
    appendParameter(parameters, kPiCalledSelector, selectors.called);
    appendParameter(parameters, kPgiUserData, userData);
    return finishSpdu(SpduKind::Connect, parameters);
}

Bytes encodeAccept(ByteView respondingSelector, ByteView userData) {
    Bytes parameters(std::begin(kConnectAcceptItem), std::end(kConnectAcceptItem));
    parameters.insert(parameters.end(), std::begin(kRequirements), std::end(kRequirements));
    appendParameter(parameters, kPiCalledSelector, respondingSelector);
    appendParameter(parameters, kPgiUserData, userData);
    return finishSpdu(SpduKind::Accept, parameters);
}

Bytes encodeFinish(ByteView userData) {
    Bytes parameters;
    appendParameter(parameters, kPgiUserData, userData);
    return finishSpdu(SpduKind::Finish, parameters);
}

Bytes encodeDisconnect(ByteView userData) {
    Bytes parameters;
    appendParameter(parameters, kPgiUserData, userData);
    return finishSpdu(SpduKind::Disconnect, parameters);
}

Bytes encodeAbort(ByteView userData) {
    Bytes parameters{kPiTransportDisconnect, 1, kAbortDisconnect};
    appendParameter(parameters, kPgiUserData, userData);
    return finishSpdu(SpduKind::Abort, parameters);
}

void appendDataTransfer(Bytes& out, ByteView userData) {
    out.insert(out.end(), {0x01, 0x00, 0x01, 0x00});
    out.insert(out.end(), userData.begin(), userData.end());
}

}  // namespace iecstack::iso::session
