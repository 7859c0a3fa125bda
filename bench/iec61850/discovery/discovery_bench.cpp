// Discovery of generated models at several device latencies: the engine alone in its thread, as
// ieddump runs it, from Connect to the end of the walk, with the requests the simulator saw, the
// requests per attribute and the floor the latency sets (requests x latency / requests in flight);
// then the view from the click on Connect until Ready for the 10k model at 20 ms.
//
// Usage: discovery_bench [--quick]   (--quick: the 1k and 10k models only, no 40k)

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "iec61850network.h"
#include "iec61850view.h"
#include "simulatorprocess.h"

namespace {

using korvan::test::SimulatorProcess;

constexpr int kOutstanding = 5;  // what the simulator agrees to by default

// The simulator program serving a generated model with every answer delayed by `latencyMs`.
std::unique_ptr<SimulatorProcess> serve(unsigned logicalNodes, int latencyMs) {
    auto served = std::make_unique<SimulatorProcess>();
    if (!served->startGenerated(logicalNodes, {"--latency", std::to_string(latencyMs)})) {
        std::fprintf(stderr, "simulator: %s\n", served->errorText().c_str());
        std::exit(1);
    }
    return served;
}

// Milliseconds from doConnect to the second connectionStateChanged(true), as ieddump sees it.
double engineWalk(const SimulatorProcess& served, long* requests) {
    QThread worker;
    auto* engine = new iec61850::Iec61850Network;
    QEventLoop loop;
    QElapsedTimer clock;
    int trues = 0;
    bool failed = false;
    QObject::connect(engine, &iec61850::Iec61850Network::connectionStateChanged, &loop, [&](bool state) {
        failed = failed || !state;
        trues += state ? 1 : 0;
        if (!state || trues == 2) {
            loop.quit();
        }
    });
    // The lines and values cross to this thread as they do to the view and to ieddump's printer.
    long announced = 0;
    QObject::connect(engine, &iec61850::Iec61850Network::newDataLine, &loop, [&] { ++announced; });
    QObject::connect(engine, &iec61850::Iec61850Network::updateValue, &loop, [&] { ++announced; });
    QObject::connect(&worker, &QThread::finished, engine, &QObject::deleteLater);
    engine->moveToThread(&worker);
    worker.start();
    const int before = served.pdusLogged();
    clock.start();
    QMetaObject::invokeMethod(engine, "doConnect", Qt::QueuedConnection, Q_ARG(QString, "127.0.0.1"),
                              Q_ARG(int, served.port()));
    loop.exec();
    const double ms = clock.nsecsElapsed() / 1e6;
    // Every request leaves one line in the simulator's log; the association's own lines do not count.
    *requests = served.pdusLogged() - before;
    QMetaObject::invokeMethod(engine, "disconnect", Qt::BlockingQueuedConnection);
    worker.quit();
    worker.wait();
    return failed ? -1 : ms;
}

double viewToReady(quint16 port) {
    iec61850::Iec61850View view;
    view.resize(1400, 900);
    view.show();
    view.findChild<QLineEdit*>("ipEdit")->setText("127.0.0.1");
    view.findChild<QLineEdit*>("portEdit")->setText(QString::number(port));
    auto* status = view.findChild<QLineEdit*>("statusEdit");
    auto* ready = view.findChild<QCheckBox*>("readyCheck");
    QEventLoop loop;
    QElapsedTimer clock;
    double doneMs = -1;
    const auto check = [&] {
        if (status->text() == "UnconnectedState") {
            loop.quit();
        } else if (status->text() == "ConnectedState" && ready->isChecked() && doneMs < 0) {
            doneMs = clock.nsecsElapsed() / 1e6;
            loop.quit();
        }
    };
    QObject::connect(status, &QLineEdit::textChanged, &loop, check, Qt::QueuedConnection);
    QObject::connect(ready, &QCheckBox::toggled, &loop, check, Qt::QueuedConnection);
    QTimer::singleShot(300, &loop, [&] {
        clock.start();
        view.findChild<QPushButton*>("connectButton")->click();
    });
    loop.exec();
    view.findChild<QPushButton*>("disconnectButton")->click();
    return doneMs;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Veltra");
    QCoreApplication::setApplicationName("KorvanDiscoveryBench");
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;

    // About 62 attributes per generated logical node.
    std::vector<unsigned> models{16, 49, 163};
    if (!quick) {
        models.push_back(650);
    }
    std::printf("%-12s %8s %10s %9s %9s %10s\n", "attributes", "latency", "time ms", "requests", "req/attr",
                "floor ms");
    double engine10k20 = -1;
    for (const unsigned nodes : models) {
        for (const int latency : {0, 5, 20}) {
            const auto served = serve(nodes, latency);
            const long attributes = served->attributesServed();
            double best = -1;
            long requests = 0;
            // Best of two on fresh associations keeps other load on the machine out of the figure.
            for (int run = 0; run < 2; ++run) {
                long sent = 0;
                const double ms = engineWalk(*served, &sent);
                if (ms >= 0 && (best < 0 || ms < best)) {
                    best = ms;
                    requests = sent;
                }
            }
            std::printf("%-12ld %6d ms %10.0f %9ld %9.3f %10.0f\n", attributes, latency, best, requests,
                        static_cast<double>(requests) / static_cast<double>(attributes),
                        static_cast<double>(requests) * latency / kOutstanding);
            std::fflush(stdout);
            if (nodes == 163 && latency == 20) {
                engine10k20 = best;
            }
        }
    }
    const auto served = serve(163, 20);
    const double gui = viewToReady(served->port());
    std::printf("view, %ld attributes at 20 ms: Connect to Ready %.0f ms (engine alone %.0f ms, Ready waits 200 ms "
                "of quiet)\n",
                served->attributesServed(), gui, engine10k20);
    return 0;
}
