#pragma once

#include <QString>

#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace iec61850 {

// A line or a value the engine announced, or something to do once what came before is shown.
struct Announcement {
    enum class Kind { Line, Value, Call };
    Kind kind = Kind::Value;
    QString ref;
    QString text;   // Line: the line's name; Value: the value text
    QString fc;     // Line only
    int layer = 0;  // Line only
    std::function<void()> call;
};

// Carries the engine's lines and values to the window thread in batches: one posted call per batch
// instead of one per line or value. The engine's thread adds, the window thread takes whole batches in
// the order they were opened. close() ends the open batch; whatever the engine says through another
// channel closes it first, so that nothing it announced later overtakes that.
class AnnouncementQueue {
public:
    // Runs on the adding thread whenever an announcement opens a new batch; it must arrange for one
    // takeBatch() on the taking side.
    explicit AnnouncementQueue(std::function<void()> batchOpened);

    void addLine(const QString& name, const QString& ref, const QString& fc, int layer);
    void addValue(const QString& ref, const QString& value);
    void addCall(std::function<void()> call);
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
