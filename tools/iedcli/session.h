#pragma once

#include <memory>
#include <string>
#include <vector>

#include "iec61850_client.h"

namespace iedcli {

class ReportPrinter;

// Exit statuses: what a script tests.
constexpr int kOk = 0;
constexpr int kRefused = 1;  // the device refused, with the reason on standard error
constexpr int kUsage = 2;    // bad arguments, a value that does not fit, or no connection

// One connected device and the verbs run against it; each returns its exit status and prints
// failures to standard error as one line.
class Session {
public:
    explicit Session(IedConnection connection) : connection_(connection) {}

    int read(const std::string& reference, const std::string& fc);
    int write(const std::string& reference, const std::string& fc, const std::string& text);
    int rcb(const std::string& reference, const std::vector<std::string>& assignments);
    int settingGroup(const std::vector<std::string>& arguments);
    int operate(const std::string& reference, const std::string& text);

private:
    // Prints "REF[FC]<tab>text" for the value, and for each leaf of a structure.
    void print(MmsValue* value, const std::string& reference, const std::string& fc,
               MmsVariableSpecification* type);
    int refusal(const std::string& what, IedClientError error);
    // The text of a string attribute; empty with `error` set when it cannot be read.
    std::string readText(const std::string& reference, const std::string& fc, IedClientError* error);
    // A printer for the block's reports, named after its data set's members; null (said why) on failure.
    std::unique_ptr<ReportPrinter> watchReports(const std::string& reference, const std::string& block,
                                                const std::string& fc);
    // The logical device holding the setting group control block: `wanted`, or the first one that has it.
    std::string settingGroupDevice(const std::string& wanted);

    IedConnection connection_;
};

}  // namespace iedcli
