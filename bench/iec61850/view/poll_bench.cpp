// Polls about 1,000 attributes of a generated model every 100 ms against the simulator answering each
// request after a delay, as a real device does, and prints how many ticks actually went out per second
// (and the period the polling dialog shows), what a tick costs from its start until its last value is
// in, the reads the view asked for, the requests the simulator saw and the answers per second, and the
// longest time the window thread was kept from running.
//
// poll_bench [LOGICAL_NODES [SECONDS [LATENCY_MS]]]   (defaults: 17, 60, 20)

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItem>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "benchsetup.h"
#include "iec61850view.h"
#include "stallmeter.h"
#include "treemodel.h"

using benchsupport::SimulatorProcess;

namespace {

int countPolled(const QStandardItem* parent, iec61850::TreeModel* tree) {
    int polled = 0;
    for (int row = 0; row < parent->rowCount(); ++row) {
        QStandardItem* line = parent->child(row, 0);
        const bool valued = !line->index().siblingAtColumn(1).data().toString().isEmpty();
        polled += valued && !tree->referenceOf(line).contains("SBO") ? 1 : 0;
        polled += countPolled(line, tree);
    }
    return polled;
}

}  // namespace

int main(int argc, char* argv[]) {
    const auto application = benchsupport::benchApplication(argc, argv, "KorvanPollBench");
    QApplication& app = *application;

    // About 60 data attributes per generated logical node.
    const int logicalNodes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 17;
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 60;
    const int latencyMs = argc > 3 ? std::max(0, std::atoi(argv[3])) : 20;
    const auto served = benchsupport::serveGenerated(logicalNodes, latencyMs);
    SimulatorProcess& simulator = *served;
    const auto bench = benchsupport::benchView(simulator.port());
    iec61850::Iec61850View& view = *bench->view;
    auto* packets = bench->packets();
    auto* lastPoll = bench->part<QLabel>("lastPollLabel");
    auto* structureView = bench->structureView();
    auto* structure = bench->structure();
    auto* poll = bench->poll();
    bench->part<QLineEdit>("pollIntervalEdit")->setText("100");

    std::printf("browsing the model (%d logical nodes, every answer after %d ms)...\n", logicalNodes,
                latencyMs);
    std::fflush(stdout);
    QElapsedTimer browseClock;
    browseClock.start();
    if (!benchsupport::connectView(*bench, 30 * 60 * 1000)) {
        std::fprintf(stderr, "the view did not connect\n");
        return 1;
    }
    std::printf("browse: %.1f s\n", browseClock.elapsed() / 1000.0);

    // Every logical device goes into the polling list.
    for (int row = 0; row < structure->rowCount(); ++row) {
        const QModelIndex index = structure->index(row, 0);
        structureView->setCurrentIndex(index);
        emit structureView->clicked(index);
        view.findChild<QPushButton*>("addRemoveButton")->click();
    }
    const int polled = countPolled(poll->invisibleRootItem(), poll);
    std::printf("polling list: %d attributes read per tick, interval 100 ms\n", polled);

    int ticks = 0;
    int requests = 0;
    QObject::connect(&view, &iec61850::Iec61850View::readValue, [&requests]() { ++requests; });
    // The label is rewritten on every tick that sent requests; a tick is done once its values are in.
    QTimer labelWatch;
    labelWatch.setTimerType(Qt::PreciseTimer);
    QString lastLabel = lastPoll->text();
    QElapsedTimer clock;
    qint64 tickStartMs = 0;
    int tickBase = 0;
    bool inTick = false;
    qint64 tickCostSumMs = 0;
    qint64 tickCostMaxMs = 0;
    int ticksCosted = 0;
    QObject::connect(&labelWatch, &QTimer::timeout, [&]() {
        const int counted = packets->text().toInt();
        if (inTick && counted - tickBase >= polled) {
            const qint64 cost = clock.elapsed() - tickStartMs;
            tickCostSumMs += cost;
            tickCostMaxMs = std::max(tickCostMaxMs, cost);
            ++ticksCosted;
            inTick = false;
        }
        if (lastPoll->text() != lastLabel) {
            lastLabel = lastPoll->text();
            ++ticks;
            tickStartMs = clock.elapsed();
            tickBase = counted;
            inTick = true;
        }
    });
    labelWatch.start(1);

    const int packetsBefore = packets->text().toInt();
    const int pdusBefore = simulator.pdusLogged();
    benchsupport::StallMeter stalls;
    stalls.start();
    const double cpuBefore = benchsupport::processCpuMs();
    clock.start();
    view.findChild<QPushButton*>("startStopPollButton")->click();
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    app.exec();
    const double elapsed = clock.elapsed() / 1000.0;
    const double cpuMs = benchsupport::processCpuMs() - cpuBefore;
    stalls.stop();
    view.findChild<QPushButton*>("startStopPollButton")->click();
    const int answers = packets->text().toInt() - packetsBefore;
    const QString achieved = view.findChild<QLabel*>("achievedPeriodLabel")->text();
    const int pdus = simulator.pdusLogged() - pdusBefore;

    std::printf("measured for %.1f s\n", elapsed);
    std::printf("ticks issued: %d (%.2f per second; the timer asked for 10 per second)\n", ticks,
                ticks / elapsed);
    std::printf("achieved tick period: %.1f ms on average; the polling dialog shows \"%s\"\n",
                ticks > 0 ? elapsed * 1000 / ticks : 0.0, qPrintable(achieved));
    std::printf("tick cost, start to last value in: %.1f ms on average, %lld ms at most (%d ticks)\n",
                ticksCosted > 0 ? static_cast<double>(tickCostSumMs) / ticksCosted : 0.0,
                static_cast<long long>(tickCostMaxMs), ticksCosted);
    std::printf("Korvan's CPU time per tick (all its threads): %.1f ms\n", ticks > 0 ? cpuMs / ticks : 0.0);
    std::printf("reads asked: %d (%.1f per second), requests the simulator saw: %d (%.1f per tick)\n",
                requests, requests / elapsed, pdus, ticks > 0 ? static_cast<double>(pdus) / ticks : 0.0);
    std::printf("answers counted: %d (%.1f per second)\n", answers, answers / elapsed);
    std::printf(
        "longest stall of the window thread: %lld ms (window-thread CPU time in the longest busy "
        "stretch: %lld ms)\n",
        static_cast<long long>(stalls.longest()), static_cast<long long>(stalls.longestCpuMs()));
    std::printf("machine load while measuring (1-minute average): %s\n",
                qPrintable(benchsupport::loadAverage()));
    std::fflush(stdout);
    simulator.kill();
    std::_Exit(0);
}
