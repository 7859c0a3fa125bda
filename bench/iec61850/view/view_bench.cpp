// Connects the IEC 61850 view to the simulator serving a generated model and prints how long the
// browse takes from the click on Connect until the view is connected with Ready on, and the longest
// time the window thread's event loop was kept from running meanwhile.

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItem>
#include <QTimer>
#include <QTreeView>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "benchsetup.h"
#include "iec61850view.h"
#include "stallmeter.h"
#include "treemodel.h"

using benchsupport::loadAverage;
using benchsupport::SimulatorProcess;
using benchsupport::StallMeter;

namespace {

void countLines(const QStandardItem* parent, int& lines, int& valued) {
    for (int row = 0; row < parent->rowCount(); ++row) {
        const QStandardItem* line = parent->child(row, 0);
        ++lines;
        valued += line->index().siblingAtColumn(1).data().toString().isEmpty() ? 0 : 1;
        countLines(line, lines, valued);
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    const auto application = benchsupport::benchApplication(argc, argv, "KorvanViewBench");
    QApplication& app = *application;

    // About 60 data attributes per generated logical node: 170 nodes give some 10,000 attributes.
    const int logicalNodes = argc > 1 ? std::atoi(argv[1]) : 170;
    const auto served = benchsupport::serveGenerated(logicalNodes > 0 ? logicalNodes : 170, 0);
    SimulatorProcess& simulator = *served;
    std::printf("simulator serves %ld data attributes (%d logical nodes)\n", simulator.attributesServed(),
                logicalNodes);

    const auto bench = benchsupport::benchView(simulator.port());
    auto* status = bench->status();
    auto* ready = bench->ready();
    auto* connectButton = bench->button("connectButton");
    auto* tree = bench->structure();

    StallMeter stalls;
    QElapsedTimer clock;
    qint64 doneMs = -1;
    bool failed = false;
    const auto check = [&]() {
        if (status->text() == "UnconnectedState") {
            failed = true;
            app.quit();
        } else if (doneMs < 0 && status->text() == "ConnectedState" && ready->isChecked()) {
            doneMs = clock.elapsed();
            app.quit();
        }
    };
    QObject::connect(status, &QLineEdit::textChanged, &app, check, Qt::QueuedConnection);
    QObject::connect(ready, &QCheckBox::toggled, &app, check, Qt::QueuedConnection);

    // Half a second for the first paint of the window, which is not part of the browse.
    QTimer::singleShot(500, &app, [&]() {
        stalls.start();
        clock.start();
        connectButton->click();
    });
    app.exec();
    stalls.stop();

    if (failed || doneMs < 0) {
        const std::string printed = simulator.output();
        std::fprintf(stderr, "the view did not connect\n%s\n",
                     printed.substr(printed.size() > 2000 ? printed.size() - 2000 : 0).c_str());
        simulator.kill();
        std::_Exit(1);
    }
    int lines = 0;
    int valued = 0;
    countLines(tree->invisibleRootItem(), lines, valued);
    std::printf("model: %d tree lines, %d with a value\n", lines, valued);
    std::printf("connect to ConnectedState with Ready: %lld ms\n", static_cast<long long>(doneMs));
    std::printf(
        "longest stall of the window thread: %lld ms (ended %lld ms after the click; window-thread CPU "
        "time in the longest busy stretch: %lld ms)\n",
        static_cast<long long>(stalls.longest()), static_cast<long long>(stalls.longestEndedAt()),
        static_cast<long long>(stalls.longestCpuMs()));
    std::printf("machine load while measuring (1-minute average): %s\n", qPrintable(loadAverage()));
    return 0;
}
