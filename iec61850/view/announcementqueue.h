#pragma once

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "reportheader.h"

namespace iec61850 {

// A line, a value or a part of a report the engine announced, or something to do once what came before
// is shown. A report arrives as its header, its opening (a Report without a member) and one Report per
// member, in that order.
struct Announcement {
    enum class Kind { Line, Value, Call, ReportHeader, Report };
    Kind kind = Kind::Value;
    QString ref;    // Report: the data set
    QString text;   // Line: the line's name; Value: the value text; Report: the member, empty to open
    QString fc;     // Line only
    int layer = 0;  // Line only
    std::function<void()> call;
    QStringList values;                          // Report only: the member's value texts
    std::shared_ptr<const ReportHeader> header;  // ReportHeader only
};

// Carries the engine's lines, values and reports to the window thread in batches: one posted call per
// batch instead of one per line, value or report. The engine's thread adds, the window thread takes whole
// batches in the order they were opened. close() ends the open batch; whatever the engine says through
// another channel closes it first, so that nothing it announced later overtakes that.
class AnnouncementQueue {
public:
    // Runs on the adding thread whenever an announcement opens a new batch; it must arrange for one
    // takeBatch() on the taking side.
    explicit AnnouncementQueue(std::function<void()> batchOpened);

    void addLine(const QString& name, const QString& ref, const QString& fc, int layer);
    void addValue(const QString& ref, const QString& value);
    void addCall(std::function<void()> call);
    void addReportHeader(const ReportHeader& header);
    void addReport(const QString& dataSetRef, const QString& dataRef, const QStringList& values);
    void close();
    // The oldest batch; empty when there is none.
    std::vector<Announcement> takeBatch();

private:
    void add(Announcement&& announcement);

    std::function<void()> batchOpened_;
    std::mutex mutex_;
    std::deque<std::vector<Announcement>> batches_;
    bool lastOpen_ = false;  // the newest batch still takes announcements
};

}  // namespace iec61850
