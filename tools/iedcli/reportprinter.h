#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "iec61850_client.h"

namespace iedcli {

// Prints the reports of one block as they arrive: a line "report<tab>RptID", then one line per member
// the report carries, "MEMBER[FC]<tab>texts". Installed for as long as the object lives.
class ReportPrinter {
public:
    // `block` as the client API names it (LD/LN.RP.name), `members` the data set's "REF[FC]" entries.
    ReportPrinter(IedConnection connection, const std::string& block, const std::string& rptId,
                  std::vector<std::string> members);
    ~ReportPrinter();
    ReportPrinter(const ReportPrinter&) = delete;
    ReportPrinter& operator=(const ReportPrinter&) = delete;

    // Waits for a report that carries every member of the data set, as a general interrogation's
    // does; false when none came within `limit`.
    bool waitForCompleteReport(std::chrono::seconds limit);

private:
    static void handler(void* parameter, ClientReport report);
    void print(ClientReport report);

    IedConnection connection_;
    std::string block_;
    std::string rptId_;
    std::vector<std::string> members_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    bool complete_ = false;
};

}  // namespace iedcli
