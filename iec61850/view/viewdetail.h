#pragma once
// Constants and small helpers used by the view's boxes; not part of the library's interface.

#include <QList>
#include <QStandardItem>
#include <QString>

namespace iec61850::viewdetail {

// The status text is the view's connection state.
inline const QString kStateWaiting = QStringLiteral("Connected. Waiting for data...");
inline const QString kStateConnected = QStringLiteral("ConnectedState");
inline const QString kStateUnconnected = QStringLiteral("UnconnectedState");

inline const QString kSettingIp = QStringLiteral("ip");
inline const QString kSettingPort = QStringLiteral("port");
inline const QString kSettingNaturalOrder = QStringLiteral("naturalOrder");
inline const QString kDefaultPort = QStringLiteral("102");

inline constexpr int kNewValueQuietMs = 200;
inline constexpr int kReadAfterOperateMs = 1000;
// Reports the report box keeps; older ones are dropped, so that memory and the window stay bounded.
inline constexpr int kMaxReportEntries = 1000;
// And the value lines it keeps in all, so that reports of large data sets stay bounded as well.
inline constexpr int kMaxReportLines = 50000;
// This many reports make a storm; its memory is handed back once the reports have paused for a while.
inline constexpr int kReportStormReports = 5000;
inline constexpr int kReportStormQuietMs = 500;

inline constexpr int kPollDefaultMs = 1000;
inline constexpr int kPollMinMs = 100;
inline constexpr int kPollMaxMs = 10000;

// The field's validator still lets through text that could become a number in range ("5" on the way to
// "500"); a tick every few milliseconds would keep the window thread busy, so such text is held to the
// range. An empty field means the default.
inline int pollIntervalMs(const QString& fieldText) {
    if (fieldText.isEmpty()) {
        return kPollDefaultMs;
    }
    bool ok = false;
    const int ms = fieldText.toInt(&ok, 10);
    if (!ok) {
        return kPollDefaultMs;
    }
    return ms < kPollMinMs ? kPollMinMs : (ms > kPollMaxMs ? kPollMaxMs : ms);
}

// The polling period a device allowed: the average time between the last few ticks that went out (a
// tick waits for the previous tick's answers), in ms; -1 until two ticks have gone out. Drops the
// starts it no longer needs.
inline constexpr int kAchievedPeriodTicks = 5;
inline int achievedPeriodMs(QList<qint64>& tickStartsMs) {
    while (tickStartsMs.size() > kAchievedPeriodTicks + 1) {
        tickStartsMs.removeFirst();
    }
    if (tickStartsMs.size() < 2) {
        return -1;
    }
    return static_cast<int>((tickStartsMs.last() - tickStartsMs.first()) / (tickStartsMs.size() - 1));
}

// Select-before-operate attributes are written, never read.
inline const QString kSelectTag = QStringLiteral("SBO");
inline const QString kReportEnableTag = QStringLiteral("RptEna");

// Report control block states read from RptEna: a non-zero number means enabled.
inline QString enableCaption(const QString& rptEnaValue) {
    return rptEnaValue.toInt(nullptr, 10) != 0 ? QStringLiteral("Disable") : QStringLiteral("Enable");
}

inline QString valueText(const QStandardItem* nameItem) {
    return nameItem->index().siblingAtColumn(1).data().toString();
}

}  // namespace iec61850::viewdetail
