// Lines, values and reports reach the window in batches: the engine's threads add them to a queue, one
// posted call per batch takes them, and they are shown in slices of a few milliseconds, so that a burst
// of thousands (a Read all, a discovery, a report storm) never keeps the window from drawing and taking
// input.

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMetaMethod>
#include <QPushButton>
#include <QStandardItem>
#include <QTimer>

#include "iec61850network.h"
#include "iec61850view.h"
#include "treemodel.h"
#include "viewdetail.h"

namespace iec61850 {

using namespace viewdetail;

namespace {

// Longest stretch the window thread spends showing lines and values before it lets other events in.
constexpr qint64 kSliceMs = 8;

}  // namespace

void Iec61850View::connectAnnouncements() {
    announcements = std::make_unique<AnnouncementQueue>(
        [this] { QMetaObject::invokeMethod(this, "takeAnnouncements", Qt::QueuedConnection); });
    AnnouncementQueue* queue = announcements.get();
    connect(
        network, &Iec61850Network::newDataLine, this,
        [queue](const QString& data, const QString& ref, const QString& fc, int layer) {
            queue->addLine(data, ref, fc, layer);
        },
        Qt::DirectConnection);
    connect(
        network, &Iec61850Network::updateValue, this,
        [queue](const QString& ref, const QString& value) { queue->addValue(ref, value); },
        Qt::DirectConnection);
    // Reports come from the receive thread, thousands a second in a storm: they share the queue, so
    // that they cost a posted call per batch, not one per member, and keep their place among values.
    connect(
        network, &Iec61850Network::addReportHeader, this,
        [queue](const ReportHeader& header) { queue->addReportHeader(header); }, Qt::DirectConnection);
    connect(
        network, &Iec61850Network::addReport, this,
        [queue](const QString& dataSetRef, const QString& dataRef, const QStringList& values) {
            queue->addReport(dataSetRef, dataRef, values);
        },
        Qt::DirectConnection);

    // The walk's progress and the connection's state come often or right behind a burst: they take
    // their turn in the queue instead of making the window show everything before them at once.
    connect(
        network, &Iec61850Network::connectionStateChanged, this,
        [this, queue](bool state) { queue->addCall([this, state] { connectionStateChanged(state); }); },
        Qt::DirectConnection);
    connect(
        network, &Iec61850Network::setStatusBarMessage, this,
        [this, queue](const QString& text) {
            queue->addCall([this, text] { emit setStatusBarMessage(text); });
        },
        Qt::DirectConnection);
    connect(
        network, &Iec61850Network::discoveryProgress, this,
        [this, queue](int done, int total) {
            queue->addCall([this, done, total] { discoveryProgress(done, total); });
        },
        Qt::DirectConnection);

    // Whatever else the engine says travels as a queued call of its own. It closes the open batch as it
    // is said, and everything taken before it is shown before it is handled, so the view sees the
    // engine's order.
    const QMetaObject& engine = Iec61850Network::staticMetaObject;
    const QMetaMethod close = metaObject()->method(metaObject()->indexOfSlot("closeAnnouncementBatch()"));
    const QMetaMethod applyAll = metaObject()->method(metaObject()->indexOfSlot("applyAllAnnouncements()"));
    for (int i = engine.methodOffset(); i < engine.methodCount(); ++i) {
        const QMetaMethod signal = engine.method(i);
        if (signal.methodType() != QMetaMethod::Signal || (signal.attributes() & QMetaMethod::Cloned) ||
            signal.name() == "newDataLine" || signal.name() == "updateValue" ||
            signal.name() == "connectionStateChanged" || signal.name() == "setStatusBarMessage" ||
            signal.name() == "discoveryProgress" || signal.name() == "addReportHeader" ||
            signal.name() == "addReport") {
            continue;
        }
        connect(network, signal, this, close, Qt::DirectConnection);
        connect(network, signal, this, applyAll, Qt::QueuedConnection);
    }
}

void Iec61850View::closeAnnouncementBatch() {
    announcements->close();
}

void Iec61850View::takeAnnouncements() {
    std::vector<Announcement> batch = announcements->takeBatch();
    for (Announcement& announcement : batch) {
        unapplied.push_back(std::move(announcement));
    }
    // Several batches may be taken in one pass of the event loop; showing each at once would add up
    // their slices before the window draws again. One slice per pass shows what they brought.
    announcementSlice.schedule();
}

void Iec61850View::applyAnnouncementSlice() {
    applyAnnouncements(kSliceMs);
}

void Iec61850View::applyAllAnnouncements() {
    applyAnnouncements(-1);
}

void Iec61850View::applyAnnouncements(qint64 budgetMs) {
    QElapsedTimer clock;
    clock.start();
    int values = 0;
    // A report's members are never split between two passes: its beginning would be shown alone and
    // each member after it inserted into the log one by one.
    const auto mayStop = [this] {
        const Announcement& next = unapplied.front();
        return next.kind != Announcement::Kind::Report || next.text.isEmpty();
    };
    while (!unapplied.empty() && (budgetMs < 0 || clock.elapsed() < budgetMs || !mayStop())) {
        const Announcement announcement = std::move(unapplied.front());
        unapplied.pop_front();
        const bool report = announcement.kind == Announcement::Kind::Report ||
                            announcement.kind == Announcement::Kind::ReportHeader;
        if (!report && !pendingReports.isEmpty()) {
            // What follows the reports in the engine's order must not be overwritten by them.
            showPendingReports();
        }
        switch (announcement.kind) {
            case Announcement::Kind::Line:
                renameForView(announcement.text, announcement.ref, announcement.fc, announcement.layer);
                break;
            case Announcement::Kind::Value:
                showValue(announcement.ref, announcement.text);
                ++values;
                break;
            case Announcement::Kind::Call:
                // What it does may depend on the values before it being counted.
                valuesShown(values);
                values = 0;
                announcement.call();
                break;
            case Announcement::Kind::ReportHeader:
                addReportHeader(*announcement.header);
                break;
            case Announcement::Kind::Report:
                takeReport(announcement.ref, announcement.text, announcement.values);
                break;
        }
    }
    valuesShown(values);
    if (!pendingReports.isEmpty()) {
        showPendingReports();
    }
    if (!unapplied.empty()) {
        announcementSlice.schedule();
    }
}

void Iec61850View::updateValue(const QString& refString, const QString& valueString) {
    applyAllAnnouncements();
    showValue(refString, valueString);
    valuesShown(1);
}

void Iec61850View::showValue(const QString& refString, const QString& valueString) {
    structureModel->setValue(refString, valueString, false);
    controlModel->setValue(refString, valueString, false);
    pollModel->setValue(refString, valueString, false);

    // Only a reference that names RptEna can belong to a line that does.
    if (!refString.contains(kReportEnableTag) || !enableDisableButton->isEnabled()) {
        return;
    }
    const QStandardItem* line = structureModel->itemOf(refString);
    if (line != nullptr && line->text().contains(kReportEnableTag)) {
        enableDisableButton->setText(enableCaption(valueString));
    }
}

void Iec61850View::valuesShown(int count) {
    if (count <= 0) {
        return;
    }
    newValueTimer->start();
    if (statusEdit->text() == kStateConnected) {
        packetsEdit->setText(QString::number(packetsEdit->text().toInt() + count));
    }
}

}  // namespace iec61850
