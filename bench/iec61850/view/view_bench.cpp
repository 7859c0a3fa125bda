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

#include "iec61850view.h"
#include "simulatorprocess.h"
#include "stallmeter.h"
#include "treemodel.h"

using benchsupport::loadAverage;
using benchsupport::StallMeter;
using korvan::test::SimulatorProcess;

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
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    // A settings store of its own, so the benchmark never changes the user's last server.
    QCoreApplication::setOrganizationName("Veltra");
    QCoreApplication::setApplicationName("KorvanViewBench");

    // About 60 data attributes per generated logical node: 170 nodes give some 10,000 attributes.
    const int logicalNodes = argc > 1 ? std::atoi(argv[1]) : 170;
    SimulatorProcess simulator;
    if (!simulator.startGenerated(logicalNodes > 0 ? logicalNodes : 170)) {
        std::fprintf(stderr, "simulator did not start:\n%s\n", simulator.errorText().c_str());
        return 1;
    }
    std::printf("simulator serves %ld data attributes (%d logical nodes)\n", simulator.attributesServed(),
                logicalNodes);

    iec61850::Iec61850View view;
    view.resize(1400, 900);
    view.show();
    auto* ip = view.findChild<QLineEdit*>("ipEdit");
    auto* port = view.findChild<QLineEdit*>("portEdit");
    auto* status = view.findChild<QLineEdit*>("statusEdit");
    auto* ready = view.findChild<QCheckBox*>("readyCheck");
    auto* connectButton = view.findChild<QPushButton*>("connectButton");
    auto* tree = dynamic_cast<iec61850::TreeModel*>(view.findChild<QTreeView*>("structureView")->model());
    ip->setText("127.0.0.1");
    port->setText(QString::number(simulator.port()));

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
