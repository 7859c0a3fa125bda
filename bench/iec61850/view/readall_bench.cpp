// "Read all" through the view against the simulator serving a generated model of about 10k attributes:
// once for one logical device, once for every logical device pressed in a row. Prints the reads the
// view asked for, the requests the simulator saw, the time from the press until every value is in and
// until Ready is on again, and the longest time the window thread was kept from running (for every
// device that includes filling the control box at each click, all clicks in one turn of the event
// loop); for one device, what the click on it costs before the press.
//
// readall_bench [LOGICAL_NODES [LATENCY_MS [--one]]]   (defaults: 165, 20; --one: one logical device only)

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItem>
#include <QTreeView>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "benchsetup.h"
#include "iec61850view.h"
#include "stallmeter.h"
#include "treemodel.h"

using benchsupport::SimulatorProcess;
using benchsupport::waitFor;

int main(int argc, char* argv[]) {
    const auto application = benchsupport::benchApplication(argc, argv, "KorvanReadAllBench");
    const unsigned logicalNodes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 165;
    const int latencyMs = argc > 2 ? std::max(0, std::atoi(argv[2])) : 20;
    constexpr int kTimeoutMs = 10 * 60 * 1000;

    const auto served = benchsupport::serveGenerated(logicalNodes, latencyMs);
    SimulatorProcess& simulator = *served;
    const auto bench = benchsupport::benchView(simulator.port());
    iec61850::Iec61850View& view = *bench->view;
    auto* ready = bench->ready();
    auto* packets = bench->packets();
    auto* structureView = bench->structureView();
    auto* structure = bench->structure();
    auto* readAll = bench->button("readAllButton");
    if (!benchsupport::connectView(*bench, kTimeoutMs)) {
        std::fprintf(stderr, "the view did not connect\n");
        return 1;
    }
    long asked = 0;
    QObject::connect(&view, &iec61850::Iec61850View::readValue, [&asked]() { ++asked; });
    std::printf("%zu logical devices, every answer after %d ms\n", static_cast<size_t>(structure->rowCount()),
                latencyMs);

    const auto press = [&](const char* what, int firstRow, int rows) {
        asked = 0;
        const int requestsBefore = simulator.pdusLogged();
        const int before = packets->text().toInt();
        const auto select = [&](int row) {
            const QModelIndex index = structure->index(row, 0);
            structureView->setCurrentIndex(index);
            emit structureView->clicked(index);
        };
        // Filling the control box with the clicked subtree is not part of the reads; for one device
        // it happens before the clock starts.
        if (rows == 1) {
            // The click itself, which copies what fits in one slice into the control box; the rest of
            // the copy runs while the reads below are measured.
            QElapsedTimer clickClock;
            clickClock.start();
            const qint64 clickCpuBefore = benchsupport::threadCpuMicroseconds();
            select(firstRow);
            std::printf("click on the logical device: %.1f ms (window-thread CPU %.1f ms)\n",
                        clickClock.nsecsElapsed() / 1e6,
                        (benchsupport::threadCpuMicroseconds() - clickCpuBefore) / 1000.0);
        }
        benchsupport::StallMeter stalls;
        stalls.start();
        const double cpuBefore = benchsupport::processCpuMs();
        QElapsedTimer clock;
        clock.start();
        for (int row = firstRow; row < firstRow + rows; ++row) {
            if (rows > 1) {
                select(row);
            }
            readAll->click();
            // A person's next click comes after the window has drawn: one turn of the event loop
            // between presses keeps two presses' work out of one stall.
            QCoreApplication::processEvents();
        }
        const bool in = waitFor([&] { return packets->text().toInt() - before >= asked; }, kTimeoutMs);
        const double valuesMs = clock.nsecsElapsed() / 1e6;
        const double cpuMs = benchsupport::processCpuMs() - cpuBefore;
        waitFor([&] { return ready->isChecked(); }, kTimeoutMs);
        const double readyMs = clock.nsecsElapsed() / 1e6;
        stalls.stop();
        std::printf(
            "%-22s reads %6ld  requests %6d  values in %7.0f ms%s (CPU %.0f ms)  Ready %7.0f ms  "
            "longest stall %lld ms (%lld ms of it on the CPU)\n",
            what, asked, simulator.pdusLogged() - requestsBefore, valuesMs, in ? "" : " (not all)", cpuMs,
            readyMs, static_cast<long long>(stalls.longest()), static_cast<long long>(stalls.longestCpuMs()));
        std::fflush(stdout);
    };
    press("one logical device", 0, 1);
    if (!(argc > 3 && std::strcmp(argv[3], "--one") == 0)) {
        press("every logical device", 0, structure->rowCount());
    }
    std::printf("machine load (1-minute average): %s\n", qPrintable(benchsupport::loadAverage()));
    std::fflush(stdout);
    std::_Exit(0);
}
