// A report storm: the simulator (a child process) changes the members of a data set every millisecond,
// and one unbuffered block without buffer time sends a report for every change. The storm ends when the
// simulator is frozen. Prints (1) how many reports per second the client decodes and hands to its
// handler, and (2) with
// the IEC 61850 view enabling the same block: reports per second that reach the report box, the
// longest time the window thread's event loop was kept from running, the report box's rows and the
// process's memory before and after.
//
// (3) The simulator cannot change values fast enough for a real storm, so a feeder thread first
// announces reports to the same view as the engine's receive thread does (the engine's report signals,
// emitted on the feeder's thread), at 20,000 reports/s for the data set's members, and the same figures
// are taken for that.
//
// report_storm_bench [SECONDS]   (default 10)

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItem>
#include <QStandardItemModel>
#include <QThread>
#include <QTreeView>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include <malloc.h>

#include "benchsetup.h"
#include "iec61850_client.h"
#include "iec61850network.h"
#include "iec61850view.h"
#include "stallmeter.h"
#include "treemodel.h"

using benchsupport::loadAverage;
using benchsupport::SimulatorProcess;
using benchsupport::StallMeter;

namespace {

const char* kBlock = "RLD0/LLN0.RP.Changes";

long residentKb() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').first().toLong();
        }
    }
    return -1;
}

void countReport(void* parameter, ClientReport) {
    ++*static_cast<std::atomic<int64_t>*>(parameter);
}

void clientOnly(SimulatorProcess& ied, int seconds) {
    IedConnection connection = IedConnection_create();
    IedClientError error = IED_ERROR_UNKNOWN;
    IedConnection_connect(connection, &error, "127.0.0.1", ied.port());
    ClientReportControlBlock rcb = IedConnection_getRCBValues(connection, &error, kBlock, nullptr);
    if (rcb == nullptr) {
        std::printf("client: block not readable (%d)\n", error);
        IedConnection_destroy(connection);
        return;
    }
    std::atomic<int64_t> reports{0};
    IedConnection_installReportHandler(connection, kBlock, ClientReportControlBlock_getRptId(rcb),
                                       countReport, &reports);
    ClientReportControlBlock_setRptEna(rcb, true);
    IedConnection_setRCBValues(connection, &error, rcb, RCB_ELEMENT_RPT_ENA, true);
    QElapsedTimer clock;
    clock.start();
    const int64_t decodedBefore = reports.load();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double elapsed = clock.elapsed() / 1000.0;
    const int64_t decoded = reports.load() - decodedBefore;
    ClientReportControlBlock_setRptEna(rcb, false);
    IedConnection_setRCBValues(connection, &error, rcb, RCB_ELEMENT_RPT_ENA, true);
    ClientReportControlBlock_destroy(rcb);
    IedConnection_destroy(connection);
    std::printf("client alone: %.0f reports/s decoded (%lld in %.1f s)\n", decoded / elapsed,
                static_cast<long long>(decoded), elapsed);
}

QStandardItem* findLine(QStandardItem* parent, const QString& suffix) {
    for (int row = 0; row < parent->rowCount(); ++row) {
        QStandardItem* child = parent->child(row, 0);
        if (child->text().endsWith(suffix)) {
            return child;
        }
        if (QStandardItem* below = findLine(child, suffix)) {
            return below;
        }
    }
    return nullptr;
}

// Waits until `entries` stops growing; returns how long that took.
qint64 drainWindow(const int64_t& entries) {
    QElapsedTimer drain;
    drain.start();
    int64_t last = -1;
    while (last != entries && drain.elapsed() < 60000) {
        last = entries;
        QApplication::processEvents(QEventLoop::AllEvents, 200);
    }
    return drain.elapsed();
}

// One report as the engine announces it: its header, its opening, then one signal per member.
struct SyntheticMember {
    QString ref;
    int values = 0;
};

void postReport(iec61850::Iec61850Network* engine, const QString& dataSet,
                const std::vector<SyntheticMember>& members, int64_t number) {
    iec61850::ReportHeader header;
    header.block = QString::fromLatin1(kBlock);
    header.rptId = QStringLiteral("Changes");
    header.dataSetRef = dataSet;
    header.arrivalMs = QDateTime::currentMSecsSinceEpoch();
    header.seqNum = static_cast<int>(number % 256);
    for (size_t i = 0; i < members.size(); ++i) {
        header.reasons.append(1);
    }
    emit engine->addReportHeader(header);
    emit engine->addReport(dataSet, QString(), QStringList());
    for (const SyntheticMember& member : members) {
        QStringList texts;
        for (int i = 0; i < member.values; ++i) {
            texts << QString::number(number + i);
        }
        emit engine->addReport(dataSet, member.ref, texts);
    }
}

long heapInUseKb() {
    return static_cast<long>(mallinfo2().uordblks / 1024);
}

void syntheticStorm(iec61850::Iec61850View& view, QAbstractItemModel* reportModel, int64_t& entries,
                    int seconds) {
    constexpr int kReportsPerMs = 20;
    auto* tree = dynamic_cast<iec61850::TreeModel*>(view.findChild<QTreeView*>("structureView")->model());
    std::vector<SyntheticMember> members;
    for (const QString& name :
         {QStringLiteral("Ind1"), QStringLiteral("Ind2.stVal"), QStringLiteral("Ind3.stVal")}) {
        const QString ref = "RLD0/GGIO1." + name;
        QStandardItem* line = tree->itemOf("RLD0/LLN0.Points." + ref);
        QStandardItem* own = tree->itemOf(ref);
        int values = 0;
        if (line != nullptr && own != nullptr) {
            const QString fc = line->text().left(4);
            std::function<void(QStandardItem*)> count = [&](QStandardItem* item) {
                values += item->text().contains(fc) &&
                          !item->index().siblingAtColumn(1).data().toString().isEmpty();
                for (int row = 0; row < item->rowCount(); ++row) {
                    count(item->child(row, 0));
                }
            };
            count(own);
        }
        members.push_back({ref, values});
    }
    const QString dataSet = QStringLiteral("RLD0/LLN0.Points");
    for (const SyntheticMember& member : members) {
        std::printf("synthetic: member %s with %d values\n", qPrintable(member.ref), member.values);
    }

    const long before = residentKb();
    const long heapBefore = heapInUseKb();
    StallMeter stall;
    stall.start();
    std::atomic<bool> stop{false};
    std::atomic<int64_t> posted{0};
    const int64_t entriesBefore = entries;
    QElapsedTimer clock;
    clock.start();
    std::thread feeder([&] {
        QElapsedTimer paced;
        paced.start();
        while (!stop.load()) {
            const int64_t due = paced.elapsed() * kReportsPerMs;
            for (int64_t n = posted.load(); n < due; ++n) {
                postReport(view.engine(), dataSet, members, n);
                ++posted;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    while (clock.elapsed() < seconds * 1000) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    stop = true;
    feeder.join();
    const double elapsed = clock.elapsed() / 1000.0;
    const int64_t shown = entries - entriesBefore;
    const long during = residentKb();
    const qint64 drained = drainWindow(entries);
    stall.stop();
    // Memory settles once the window has freed what the storm left.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 1000) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    std::printf(
        "synthetic: %lld reports posted at %d/s; %.0f reports/s into the report box during the storm, "
        "%lld more after it, drained in %lld ms\n",
        static_cast<long long>(posted.load()), kReportsPerMs * 1000, shown / elapsed,
        static_cast<long long>(entries - entriesBefore - shown), static_cast<long long>(drained));
    std::printf(
        "synthetic: longest stall of the window thread %lld ms (its own CPU within %lld ms), report box "
        "%d entries, memory %ld kB before, %ld kB at the end of the storm, %ld kB after; load %s\n",
        static_cast<long long>(stall.longest()), static_cast<long long>(stall.longestCpuMs()),
        reportModel->rowCount(), before, during, residentKb(), qPrintable(loadAverage()));
    std::printf("synthetic: heap in use %ld kB before, %ld kB after\n", heapBefore, heapInUseKb());
}

int withView(SimulatorProcess& ied, int seconds) {
    const auto bench = benchsupport::benchView(ied.port(), 1200, 800);
    iec61850::Iec61850View& view = *bench->view;
    benchsupport::connectView(*bench, 60000, false);
    QElapsedTimer wait;
    wait.start();
    auto* tree = dynamic_cast<iec61850::TreeModel*>(view.findChild<QTreeView*>("structureView")->model());
    QStandardItem* block = tree != nullptr ? findLine(tree->invisibleRootItem(), " Changes") : nullptr;
    if (block == nullptr) {
        std::printf("view: block line not found\n");
        return 1;
    }
    view.findChild<QTreeView*>("structureView")->setCurrentIndex(block->index());
    emit view.findChild<QTreeView*>("structureView")->clicked(block->index());
    QAbstractItemModel* reportModel = view.findChild<QTreeView*>("reportView")->model();
    int64_t entries = 0;
    QObject::connect(reportModel, &QStandardItemModel::rowsInserted,
                     [&](const QModelIndex& parent, int first, int last) {
                         entries += parent.isValid() ? 0 : last - first + 1;
                     });
    // Before the block is enabled: the feeder's reports alone.
    syntheticStorm(view, reportModel, entries, seconds);
    view.findChild<QPushButton*>("enableDisableButton")->click();
    wait.restart();
    while (entries == 0 && wait.elapsed() < 10000) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }

    const long before = residentKb();
    StallMeter stall;
    stall.start();
    QElapsedTimer clock;
    clock.start();
    const int64_t entriesBefore = entries;
    while (clock.elapsed() < seconds * 1000) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    ied.freeze();
    const double elapsed = clock.elapsed() / 1000.0;
    const int64_t shown = entries - entriesBefore;
    const long during = residentKb();
    // What was still queued for the window when the storm ended.
    const qint64 drained = drainWindow(entries);
    stall.stop();
    std::printf(
        "view: %.0f reports/s into the report box (%lld in %.1f s), "
        "%lld more after the storm, drained in %lld ms\n",
        shown / elapsed, static_cast<long long>(shown), elapsed,
        static_cast<long long>(entries - entriesBefore - shown), static_cast<long long>(drained));
    std::printf(
        "view: longest stall of the window thread %lld ms (its own CPU within %lld ms), report box %d "
        "entries, memory %ld kB before, %ld kB at the end of the storm, %ld kB after; load %s\n",
        static_cast<long long>(stall.longest()), static_cast<long long>(stall.longestCpuMs()),
        reportModel->rowCount(), before, during, residentKb(), qPrintable(loadAverage()));
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    const auto application = benchsupport::benchApplication(argc, argv, "KorvanReportBench");
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;

    const auto served =
        benchsupport::serveFile(std::string(KORVAN_SOURCE_DIR) + "/tests/stack/server/reporting_model.icd",
                                {"--simulate-period", "1"});
    SimulatorProcess& ied = *served;
    clientOnly(ied, std::min(seconds, 3));
    return withView(ied, seconds);
}
