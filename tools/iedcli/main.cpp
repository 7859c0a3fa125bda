// iedcli HOST[:PORT] VERB ...: one request (or a short exchange) with an IEC 61850 device, for scripts.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "connectfailure.h"
#include "iec61850_client.h"
#include "session.h"
#ifdef KORVAN_WITH_SCL
#include "sclverbs.h"
#endif

namespace {

constexpr int kDefaultPort = 102;

const char* const kUsage =
    "usage: iedcli HOST[:PORT] VERB ...\n"
    "  read REF [FC]                 prints the value (every leaf of a structure) as REF[FC]<tab>text;\n"
    "                                without FC, under every constraint the name has\n"
    "  write REF FC VALUE            writes VALUE, typed from the device's description of REF:\n"
    "                                true/false, numbers, text, 0b bits, hexadecimal octets,\n"
    "                                ISO time in UTC (2026-12-07T14:03:00.250Z)\n"
    "  rcb RCBREF [ATTR=VALUE ...]   sets the attributes in the order given, then prints the block\n"
    "                                (RCBREF as LD/LN.RP.name or LD/LN.BR.name); with GI=true also\n"
    "                                the interrogation's report (enable in the same call: RptEna=true)\n"
    "  sg [LD] activate N            makes setting group N active\n"
    "  sg [LD] edit N [REF=VALUE ...]  edits group N: writes each REF under SE and confirms them\n"
    "  sg [LD] confirm | discard     confirms or gives up an edit (an edit ends with the connection)\n"
    "  operate REF VALUE             operates the control object REF, selecting first where its\n"
    "                                control model asks for it\n"
    "  files [DIR]                   lists the device's files: name, size and time, one per line\n"
    "  get NAME [DEST]               fetches a file to DEST (a file or a folder; default: here);\n"
    "                                a transfer cut short leaves nothing\n"
    "  rm NAME                       deletes a file on the device\n"
    "  log LOGREF [--after ENTRYID --time TIME | --from TIME --to TIME]\n"
    "                                prints the log's entries (LOGREF as LD/LN$name), one per line:\n"
    "                                time, entry ID, then per value reference, value and reason\n"
    "  compare FILE [--ied NAME]     compares the device with an SCL file (the IED NAME of it), one\n"
    "                                difference per line; exit status 0 equal, 1 different, 2 error\n"
    "  save-scl FILE [--ied NAME]    saves the device's model as an ICD file that iedsim serves\n"
    "                                (the IED named NAME); exit status 0 saved, 1 the model could not\n"
    "                                be read or written as SCL, 2 the file could not be written\n"
    "Port 102 unless given. Exit status: 0 done, 1 the device refused (the reason on standard\n"
    "error), 2 bad arguments, a value that does not fit, or no connection.\n";

int usage() {
    std::fputs(kUsage, stderr);
    return iedcli::kUsage;
}

// 0 when `text` is not a port number.
int portOf(const std::string& text) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && value >= 1 && value <= 65535 ? static_cast<int>(value) : 0;
}

// HOST, HOST:PORT, an IPv6 address, or [IPv6]:PORT.
bool splitAddress(const std::string& address, std::string* host, int* port) {
    *port = kDefaultPort;
    const size_t colon = address.rfind(':');
    if (!address.empty() && address.front() == '[') {
        const size_t close = address.find(']');
        if (close == std::string::npos || (close + 1 < address.size() && address[close + 1] != ':')) {
            return false;
        }
        *host = address.substr(1, close - 1);
        if (close + 1 < address.size()) {
            *port = portOf(address.substr(close + 2));
        }
    } else if (colon != std::string::npos && address.find(':') == colon) {
        *host = address.substr(0, colon);
        *port = portOf(address.substr(colon + 1));
    } else {
        *host = address;
    }
    return !host->empty() && *port != 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kUsage, stdout);
        return iedcli::kOk;
    }
    if (args.size() < 2 || args[0].empty() || args[0][0] == '-') {
        return usage();
    }
    std::string host;
    int port = kDefaultPort;
    if (!splitAddress(args[0], &host, &port)) {
        return usage();
    }
    const std::string verb = args[1];
    const std::vector<std::string> rest(args.begin() + 2, args.end());
    bool fits = (verb == "read" && (rest.size() == 1 || rest.size() == 2)) ||
                (verb == "write" && rest.size() == 3) || (verb == "rcb" && !rest.empty()) ||
                (verb == "sg" && !rest.empty()) || (verb == "operate" && rest.size() == 2) ||
                (verb == "files" && rest.size() <= 1) ||
                (verb == "get" && (rest.size() == 1 || rest.size() == 2)) ||
                (verb == "rm" && rest.size() == 1) || (verb == "log" && !rest.empty());
#ifdef KORVAN_WITH_SCL
    fits = fits || (verb == "compare" && iedcli::compareArgumentsFit(rest)) ||
           (verb == "save-scl" && iedcli::saveArgumentsFit(rest));
#endif
    if (!fits) {
        return usage();
    }

    IedConnection connection = IedConnection_create();
    IedClientError error = IED_ERROR_OK;
    IedConnection_connect(connection, &error, host.c_str(), port);
    if (error != IED_ERROR_OK) {
        const QString reason =
            iec61850::connectFailureReason(error, QString::fromStdString(host), port, 10000);
        std::fprintf(stderr, "iedcli: no connection to %s:%d: %s\n", host.c_str(), port,
                     reason.toUtf8().constData());
        IedConnection_destroy(connection);
        return iedcli::kUsage;
    }
    iedcli::Session session(connection);
    int status = iedcli::kUsage;
    if (verb == "read") {
        status = session.read(rest[0], rest.size() == 2 ? rest[1] : std::string());
    } else if (verb == "write") {
        status = session.write(rest[0], rest[1], rest[2]);
    } else if (verb == "rcb") {
        status = session.rcb(rest[0], std::vector<std::string>(rest.begin() + 1, rest.end()));
    } else if (verb == "sg") {
        status = session.settingGroup(rest);
    } else if (verb == "operate") {
        status = session.operate(rest[0], rest[1]);
    } else if (verb == "files") {
        status = session.files(rest.empty() ? std::string() : rest[0]);
    } else if (verb == "get") {
        status = session.get(rest[0], rest.size() == 2 ? rest[1] : std::string());
    } else if (verb == "rm") {
        status = session.remove(rest[0]);
    } else if (verb == "log") {
        status = session.log(rest[0], std::vector<std::string>(rest.begin() + 1, rest.end()));
    }
#ifdef KORVAN_WITH_SCL
    if (verb == "compare") {
        status = iedcli::compareWithFile(connection, rest);
    } else if (verb == "save-scl") {
        status = iedcli::saveModelAsScl(connection, host, port, rest);
    }
#endif
    IedConnection_destroy(connection);
    return status;
}
