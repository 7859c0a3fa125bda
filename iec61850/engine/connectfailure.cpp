#include "connectfailure.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace iec61850 {

namespace {

constexpr int kProbeTimeoutMs = 3000;

enum class Probe { Unresolved, Refused, Accepted, NoAnswer };

using AddressList = std::unique_ptr<addrinfo, decltype(&freeaddrinfo)>;

AddressList resolve(const QString& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.toUtf8().constData(), QByteArray::number(port).constData(), &hints, &found) != 0) {
        return AddressList(nullptr, &freeaddrinfo);
    }
    return AddressList(found, &freeaddrinfo);
}

// A TCP connect to the first address, closed at once without a byte sent.
Probe probe(const QString& host, int port) {
    const AddressList addresses = resolve(host, port);
    if (!addresses) {
        return Probe::Unresolved;
    }
    const addrinfo* address = addresses.get();
    const int fd =
        socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address->ai_protocol);
    if (fd < 0) {
        return Probe::NoAnswer;
    }
    Probe result = Probe::NoAnswer;
    if (connect(fd, address->ai_addr, address->ai_addrlen) == 0) {
        result = Probe::Accepted;
    } else if (errno == ECONNREFUSED) {
        result = Probe::Refused;
    } else if (errno == EINPROGRESS) {
        pollfd waiting{fd, POLLOUT, 0};
        if (poll(&waiting, 1, kProbeTimeoutMs) == 1) {
            int socketError = 0;
            socklen_t length = sizeof(socketError);
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &socketError, &length);
            result = socketError == 0 ? Probe::Accepted
                                      : (socketError == ECONNREFUSED ? Probe::Refused : Probe::NoAnswer);
        }
    }
    close(fd);
    return result;
}

struct Wording {
    IedClientError error;
    const char* text;
};

// Refusals worded after what was asked for.
const Wording kDataSetWording[] = {
    {IED_ERROR_OBJECT_EXISTS, "the name is taken"},
    {IED_ERROR_OBJECT_DOES_NOT_EXIST, "does not exist"},
    {IED_ERROR_ACCESS_DENIED, "the device keeps it"},
    {IED_ERROR_OBJECT_REFERENCE_INVALID, "invalid name or members"},
    {IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT, "invalid name or members"},
    {IED_ERROR_TEMPORARILY_UNAVAILABLE, "the device has no room for it"},
};
const Wording kReportControlBlockWording[] = {
    {IED_ERROR_ACCESS_DENIED, "access denied (reserved by another client?)"},
    {IED_ERROR_TEMPORARILY_UNAVAILABLE, "temporarily unavailable (reserved by another client?)"},
    {IED_ERROR_OBJECT_DOES_NOT_EXIST, "no such control block"},
    {IED_ERROR_OBJECT_REFERENCE_INVALID, "not a control block reference"},
    {IED_ERROR_TYPE_INCONSISTENT, "unexpected control block layout"},
    {IED_ERROR_OBJECT_VALUE_INVALID, "value refused"},
};
const Wording kFileWording[] = {
    {IED_ERROR_OK, ""},
    {IED_ERROR_OBJECT_DOES_NOT_EXIST, "does not exist"},
    {IED_ERROR_ACCESS_DENIED, "access denied"},
    {IED_ERROR_TEMPORARILY_UNAVAILABLE, "busy"},
    {IED_ERROR_SERVICE_NOT_SUPPORTED, "not supported by the device"},
    {IED_ERROR_OBJECT_REFERENCE_INVALID, "not a valid reference"},
};
// The association's own failures read the same whatever was asked.
const Wording kConnectionWording[] = {
    {IED_ERROR_NOT_CONNECTED, "connection lost"},
    {IED_ERROR_CONNECTION_LOST, "connection lost"},
    {IED_ERROR_TIMEOUT, "no answer in time"},
};

template <size_t N>
const char* wordingOf(IedClientError error, const Wording (&wordings)[N]) {
    for (const Wording& wording : wordings) {
        if (wording.error == error) {
            return wording.text;
        }
    }
    return nullptr;
}

}  // namespace

QString requestFailureReason(IedClientError error, RequestSubject subject) {
    const char* text = nullptr;
    switch (subject) {
        case RequestSubject::DataSet:
            text = wordingOf(error, kDataSetWording);
            break;
        case RequestSubject::ReportControlBlock:
            text = wordingOf(error, kReportControlBlockWording);
            break;
        case RequestSubject::File:
            text = wordingOf(error, kFileWording);
            break;
    }
    if (text == nullptr) {
        text = wordingOf(error, kConnectionWording);
    }
    if (text == nullptr) {
        return QStringLiteral("error %1").arg(static_cast<int>(error));
    }
    return QString::fromLatin1(text);
}

QString connectFailureReason(IedClientError error, const QString& host, int port, int connectTimeoutMs) {
    const QString where = QStringLiteral("%1:%2").arg(host).arg(port);
    const QString noAnswer =
        QStringLiteral("no answer from %1 within %2 s").arg(where).arg((connectTimeoutMs + 999) / 1000);
    if (port <= 0 || port > 65535) {
        return QStringLiteral("%1 is not a port number").arg(port);
    }
    if (!resolve(host, port)) {
        return QStringLiteral("%1: name not found").arg(host);
    }
    switch (error) {
        case IED_ERROR_TIMEOUT:
            return noAnswer;
        case IED_ERROR_MALFORMED_MESSAGE:
        case IED_ERROR_UNEXPECTED_VALUE_RECEIVED:
            return QStringLiteral("%1 is not an IEC 61850/MMS server").arg(where);
        case IED_ERROR_CONNECTION_REJECTED:
            switch (probe(host, port)) {
                case Probe::Refused:
                    return QStringLiteral("connection to %1 refused (nothing listens on that port)")
                        .arg(where);
                case Probe::Accepted:
                    return QStringLiteral("%1 rejected the association").arg(where);
                case Probe::Unresolved:
                    return QStringLiteral("%1: name not found").arg(host);
                case Probe::NoAnswer:
                    return noAnswer;
            }
            break;
        default:
            break;
    }
    return QStringLiteral("connection to %1 failed (error %2)").arg(where).arg(int(error));
}

}  // namespace iec61850
