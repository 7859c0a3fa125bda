#pragma once
// What the benchmarks against the simulator program share: the offscreen application with a settings
// store of its own, the simulator started (or the run ended with what it printed), and the view
// connected until its walk is done.

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "simulatorprocess.h"
#include "viewharness.h"

namespace benchsupport {

using korvan::test::SimulatorProcess;
using viewharness::ViewUnderTest;

// The application of a benchmark named `name`: offscreen unless the caller chose a platform, and a
// settings store of its own so that a run never changes the user's last server.
inline std::unique_ptr<QApplication> benchApplication(int& argc, char** argv, const char* name) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    auto app = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setOrganizationName("Veltra");
    QCoreApplication::setApplicationName(name);
    return app;
}

// The simulator program serving `sclFile`; a benchmark without its device has nothing to measure, so
// a failed start ends the run with the reason.
inline std::unique_ptr<SimulatorProcess> serveFile(const std::string& sclFile,
                                                   const std::vector<std::string>& extraArguments = {}) {
    auto served = std::make_unique<SimulatorProcess>();
    if (!served->start(sclFile, extraArguments)) {
        std::fprintf(stderr, "simulator did not start:\n%s\n", served->errorText().c_str());
        std::exit(1);
    }
    return served;
}

// The same for a generated model of `logicalNodes` logical nodes (about 60 attributes each), every
// answer delayed by `latencyMs`.
inline std::unique_ptr<SimulatorProcess> serveGenerated(unsigned logicalNodes, int latencyMs) {
    auto served = std::make_unique<SimulatorProcess>();
    if (!served->startGenerated(logicalNodes, {"--latency", std::to_string(latencyMs)})) {
        std::fprintf(stderr, "simulator did not start:\n%s\n", served->errorText().c_str());
        std::exit(1);
    }
    return served;
}

// Runs the event loop until `done` or `timeoutMs` has passed; whether `done` came.
inline bool waitFor(const std::function<bool()>& done, int timeoutMs, int sliceMs = 5) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, sliceMs);
    }
    return true;
}

// A shown view of the benchmarks' window size, its address fields on the simulator at `port`.
inline std::unique_ptr<ViewUnderTest> benchView(quint16 port, int width = 1400, int height = 900) {
    auto view = std::make_unique<ViewUnderTest>();
    view->view->resize(width, height);
    view->ip()->setText("127.0.0.1");
    view->port()->setText(QString::number(port));
    return view;
}

// Presses Connect and waits until the view is connected with its walk done (Ready on), or only
// connected when `untilReady` is false; false when it ended unconnected or the time ran out.
inline bool connectView(const ViewUnderTest& view, int timeoutMs, bool untilReady = true) {
    view.button("connectButton")->click();
    bool lost = false;
    const bool done = waitFor(
        [&] {
            lost = view.status()->text() == "UnconnectedState";
            return lost ||
                   (view.status()->text() == "ConnectedState" && (!untilReady || view.ready()->isChecked()));
        },
        timeoutMs, 50);
    return done && !lost;
}

}  // namespace benchsupport
