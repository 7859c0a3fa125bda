#include "announcementqueue.h"

#include <utility>

namespace iec61850 {

AnnouncementQueue::AnnouncementQueue(std::function<void()> batchOpened)
    : batchOpened_(std::move(batchOpened)) {}

void AnnouncementQueue::addLine(const QString& name, const QString& ref, const QString& fc, int layer) {
    add(Announcement{Announcement::Kind::Line, ref, name, fc, layer, {}, {}, {}});
}

void AnnouncementQueue::addValue(const QString& ref, const QString& value) {
    add(Announcement{Announcement::Kind::Value, ref, value, QString(), 0, {}, {}, {}});
}

void AnnouncementQueue::addCall(std::function<void()> call) {
    add(Announcement{Announcement::Kind::Call, QString(), QString(), QString(), 0, std::move(call), {}, {}});
}

void AnnouncementQueue::addReportHeader(const ReportHeader& header) {
    Announcement announcement;
    announcement.kind = Announcement::Kind::ReportHeader;
    announcement.header = std::make_shared<const ReportHeader>(header);
    add(std::move(announcement));
}

void AnnouncementQueue::addReport(const QString& dataSetRef, const QString& dataRef,
                                  const QStringList& values) {
    Announcement announcement;
    announcement.kind = Announcement::Kind::Report;
    announcement.ref = dataSetRef;
    announcement.text = dataRef;
    announcement.values = values;
    add(std::move(announcement));
}

void AnnouncementQueue::add(Announcement&& announcement) {
    bool opened = false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!lastOpen_) {
            batches_.emplace_back();
            lastOpen_ = true;
            opened = true;
        }
        batches_.back().push_back(std::move(announcement));
    }
    // Outside the lock: the call posts to another thread, which may take the batch at once.
    if (opened) {
        batchOpened_();
    }
}

void AnnouncementQueue::close() {
    const std::lock_guard<std::mutex> lock(mutex_);
    lastOpen_ = false;
}

std::vector<Announcement> AnnouncementQueue::takeBatch() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (batches_.empty()) {
        return {};
    }
    std::vector<Announcement> batch = std::move(batches_.front());
    batches_.pop_front();
    // What comes next must open a batch of its own, with its own call to take it.
    if (batches_.empty()) {
        lastOpen_ = false;
    }
    return batch;
}

}  // namespace iec61850
