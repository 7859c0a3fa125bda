#include "reportprinter.h"

#include <QString>
#include <QStringList>

#include <cstdio>

#include "dumpline.h"
#include "valuerenderer.h"

namespace iedcli {

ReportPrinter::ReportPrinter(IedConnection connection, const std::string& block, const std::string& rptId,
                             std::vector<std::string> members)
    : connection_(connection), block_(block), rptId_(rptId), members_(std::move(members)) {
    // An empty RptID makes the device report under the block's own name, which the client matches then.
    IedConnection_installReportHandler(connection_, block_.c_str(), rptId_.empty() ? nullptr : rptId_.c_str(),
                                       &ReportPrinter::handler, this);
}

ReportPrinter::~ReportPrinter() {
    IedConnection_uninstallReportHandler(connection_, block_.c_str());
}

bool ReportPrinter::waitForCompleteReport(std::chrono::seconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, limit, [this] { return complete_; });
}

void ReportPrinter::handler(void* parameter, ClientReport report) {
    static_cast<ReportPrinter*>(parameter)->print(report);
}

void ReportPrinter::print(ClientReport report) {
    // Receive thread; the lock keeps a report's lines together and orders them with the waiting thread.
    std::lock_guard<std::mutex> lock(mutex_);
    MmsValue* values = ClientReport_getDataSetValues(report);
    const int count = static_cast<int>(MmsValue_getArraySize(values));
    std::printf(
        "%s\n",
        ieddump::dumpLine({QStringLiteral("report"), QString::fromStdString(rptId_)}).toUtf8().constData());
    int carried = 0;
    for (int i = 0; i < count; ++i) {
        MmsValue* value = MmsValue_getElement(values, i);
        if (value == nullptr) {
            continue;  // left out of this report
        }
        ++carried;
        const QString member = static_cast<size_t>(i) < members_.size() ? QString::fromStdString(members_[i])
                                                                        : QString::number(i);
        const QString reference = member.left(member.indexOf('['));
        QStringList fields{member};
        fields += iec61850::renderValue(value, reference, true).texts;
        std::printf("%s\n", ieddump::dumpLine(fields).toUtf8().constData());
    }
    std::fflush(stdout);
    if (count > 0 && carried == count && static_cast<size_t>(count) == members_.size()) {
        complete_ = true;
        arrived_.notify_all();
    }
}

}  // namespace iedcli
