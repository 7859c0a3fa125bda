// "Read all" through the view against the simulator serving a generated model of about 10k attributes:
// once for one logical device, once for every logical device pressed in a row. Prints the reads the
// view asked for, the requests the simulator saw, the time from the press until every value is in and
// until Ready is on again, and the longest time the window thread was kept from running (for every
// device that includes filling the control box at each click).
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

#include "iec61850view.h"
#include "simulatorprocess.h"
#include "stallmeter.h"
#include "treemodel.h"

using korvan::test::SimulatorProcess;

namespace {

bool waitFor(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Veltra");
    QCoreApplication::setApplicationName("KorvanReadAllBench");
    const unsigned logicalNodes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 165;
    const int latencyMs = argc > 2 ? std::max(0, std::atoi(argv[2])) : 20;
    constexpr int kTimeoutMs = 10 * 60 * 1000;

    SimulatorProcess simulator;
    if (!simulator.startGenerated(logicalNodes, {"--latency", std::to_string(latencyMs)})) {
        std::fprintf(stderr, "simulator did not start:\n%s\n", simulator.errorText().c_str());
        return 1;
    }
    iec61850::Iec61850View view;
    view.resize(1400, 900);
    view.show();
    auto* status = view.findChild<QLineEdit*>("statusEdit");
    auto* ready = view.findChild<QCheckBox*>("readyCheck");
    auto* packets = view.findChild<QLineEdit*>("packetsEdit");
    auto* structureView = view.findChild<QTreeView*>("structureView");
    auto* structure = dynamic_cast<iec61850::TreeModel*>(structureView->model());
    auto* readAll = view.findChild<QPushButton*>("readAllButton");
    view.findChild<QLineEdit*>("ipEdit")->setText("127.0.0.1");
    view.findChild<QLineEdit*>("portEdit")->setText(QString::number(simulator.port()));
    view.findChild<QPushButton*>("connectButton")->click();
    if (!waitFor([&] { return status->text() == "ConnectedState" && ready->isChecked(); }, kTimeoutMs)) {
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
            select(firstRow);
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
