#include "options.h"

#include <cstdlib>

namespace iedsim {

const char* const kUsage =
    "usage: iedsim --scl FILE [--ied NAME] [--port N] [--bind ADDR] [--simulate] [--simulate-period MS]\n"
    "              [--max-pdu BYTES]\n"
    "              [--latency MS] [--max-connections N] [--silent-after N]\n"
    "              [--max-outstanding N] [--idle-timeout MS] [--max-read-variables N]\n"
    "              [--stall-timeout MS] [--max-unsent N] [--no-termination] [--files DIR]\n"
    "              [--password SECRET]\n"
    "       iedsim --generate N > model.icd\n"
    "\n"
    "  --scl FILE       configuration file to serve (ICD, CID, or SCD with --ied)\n"
    "  --ied NAME       IED of the file to serve\n"
    "  --port N         TCP port, default 102; 0 picks a free one (printed at start)\n"
    "  --bind ADDR      IPv4 address or host name to listen on, default 127.0.0.1\n"
    "  --simulate       let measured values drift and status values toggle\n"
    "  --simulate-period MS\n"
    "                   change the simulated values every MS milliseconds, default 500\n"
    "  --max-pdu BYTES  largest MMS PDU size to agree to, default 65000\n"
    "  --max-connections N\n"
    "                   connections served at once, default 32; more are closed at once\n"
    "  --silent-after N answer the first N requests (over all connections), then nothing more\n"
    "                   while keeping every connection open, as a frozen device does\n"
    "  --latency MS     delay every response by MS milliseconds (requests keep being taken meanwhile)\n"
    "  --max-outstanding N\n"
    "                   outstanding requests a client may have, default 5; more are rejected\n"
    "  --idle-timeout MS\n"
    "                   abort an association that sends nothing for MS milliseconds\n"
    "  --max-read-variables N\n"
    "                   reject Read requests naming more than N variables, as some devices do\n"
    "  --stall-timeout MS\n"
    "                   abort a client that leaves a PDU unread for MS milliseconds, default 10000\n"
    "  --max-unsent N   abort a client with more than N PDUs waiting to be sent, default 1000\n"
    "  --no-termination carry out operates of enhanced security without ever terminating them, as a\n"
    "                   device that loses its command terminations\n"
    "  --files DIR      serve the files below DIR (listing, reading, deleting); a leading / names DIR,\n"
    "                   and no name leads outside it\n"
    "  --password SECRET\n"
    "                   the password clients must give when the file asks for password\n"
    "                   authentication (Authentication none=\"false\" password=\"true\")\n"
    "  --generate N     write a configuration with N logical nodes to stdout and exit\n";

namespace {

bool toNumber(const std::string& text, unsigned long max, unsigned long& out) {
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    out = std::strtoul(text.c_str(), nullptr, 10);
    return out <= max;
}

}  // namespace

std::optional<std::string> parseOptions(const std::vector<std::string>& args, Options& o) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) -> bool {
            if (i + 1 >= args.size()) {
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string v;
        unsigned long n = 0;
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--simulate") {
            o.simulate = true;
        } else if (a == "--no-termination") {
            o.noTermination = true;
        } else if (a == "--simulate-period") {
            if (!value(v) || !toNumber(v, 60000, n) || n == 0) {
                return "--simulate-period needs milliseconds from 1 to 60000";
            }
            o.simulate = true;
            o.simulationPeriodMs = static_cast<unsigned>(n);
        } else if (a == "--files") {
            if (!value(o.filesRoot) || o.filesRoot.empty()) {
                return "--files needs a directory";
            }
        } else if (a == "--scl") {
            if (!value(o.sclPath)) {
                return "--scl needs a file";
            }
        } else if (a == "--ied") {
            if (!value(o.iedName)) {
                return "--ied needs a name";
            }
        } else if (a == "--bind") {
            if (!value(o.bindAddress)) {
                return "--bind needs an address";
            }
        } else if (a == "--port") {
            if (!value(v) || !toNumber(v, 65535, n)) {
                return "--port needs a number from 0 to 65535";
            }
            o.port = static_cast<uint16_t>(n);
        } else if (a == "--max-pdu") {
            if (!value(v) || !toNumber(v, 1000000, n) || n < 512) {
                return "--max-pdu needs a number of bytes from 512 to 1000000";
            }
            o.maxPdu = n;
        } else if (a == "--latency") {
            if (!value(v) || !toNumber(v, 60000, n)) {
                return "--latency needs milliseconds from 0 to 60000";
            }
            o.latencyMs = static_cast<unsigned>(n);
        } else if (a == "--max-connections") {
            if (!value(v) || !toNumber(v, 100000, n) || n == 0) {
                return "--max-connections needs a number from 1 to 100000";
            }
            o.maxConnections = n;
        } else if (a == "--silent-after") {
            if (!value(v) || !toNumber(v, 4000000000, n)) {
                return "--silent-after needs a number of requests";
            }
            o.silentAfter = n;
        } else if (a == "--max-outstanding") {
            if (!value(v) || !toNumber(v, 1000, n) || n == 0) {
                return "--max-outstanding needs a number of requests from 1 to 1000";
            }
            o.maxOutstanding = static_cast<unsigned>(n);
        } else if (a == "--idle-timeout") {
            if (!value(v) || !toNumber(v, 86400000, n) || n == 0) {
                return "--idle-timeout needs milliseconds from 1 to 86400000";
            }
            o.idleTimeoutMs = static_cast<unsigned>(n);
        } else if (a == "--max-read-variables") {
            if (!value(v) || !toNumber(v, 1000000, n) || n == 0) {
                return "--max-read-variables needs a number from 1 to 1000000";
            }
            o.maxReadVariables = static_cast<unsigned>(n);
        } else if (a == "--stall-timeout") {
            if (!value(v) || !toNumber(v, 86400000, n) || n == 0) {
                return "--stall-timeout needs milliseconds from 1 to 86400000";
            }
            o.stallTimeoutMs = static_cast<unsigned>(n);
        } else if (a == "--max-unsent") {
            if (!value(v) || !toNumber(v, 1000000, n) || n == 0) {
                return "--max-unsent needs a number of PDUs from 1 to 1000000";
            }
            o.maxUnsent = static_cast<unsigned>(n);
        } else if (a == "--password") {
            if (!value(v) || v.empty()) {
                return "--password needs a password";
            }
            o.password = v;
        } else if (a == "--generate") {
            if (!value(v) || !toNumber(v, 100000, n) || n == 0) {
                return "--generate needs a number of logical nodes from 1 to 100000";
            }
            o.generate = static_cast<unsigned>(n);
        } else {
            return "unknown argument \"" + a + "\"";
        }
    }
    if (!o.help && !o.generate && o.sclPath.empty()) {
        return "--scl FILE is required";
    }
    return std::nullopt;
}

}  // namespace iedsim
