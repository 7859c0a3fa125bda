// Discovery of generated models at several device latencies: the engine alone in its thread, as
// ieddump runs it, from Connect to the end of the walk, with the requests the simulator saw, the
// requests per attribute, the requests the simulator rejected and the floor the latency sets
// (requests x latency / requests in flight); then the view from the click on Connect until Ready for
// the 10k (and 40k) model at 20 ms, with the longest time the window thread was kept from running.
//
// Usage: discovery_bench [--quick]   (--quick: the 1k and 10k models only, no 40k)

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <algorithm>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "benchsetup.h"
#include "iec61850network.h"
#include "iec61850view.h"
#include "stallmeter.h"

namespace {

using benchsupport::serveGenerated;
using benchsupport::SimulatorProcess;

constexpr int kOutstanding = 5;  // what the simulator agrees to by default

// Requests the simulator has rejected so far (each leaves a log line saying so).
long rejections(const SimulatorProcess& served) {
    const std::string printed = served.output();
    long count = 0;
    for (size_t at = printed.find("rejected"); at != std::string::npos;
         at = printed.find("rejected", at + 1)) {
        ++count;
    }
    return count;
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

// Milliseconds from the click on Connect until the view is connected with Ready on; the longest stall
// of the window thread meanwhile in `stallMs`.
double viewToReady(quint16 port, qint64* stallMs) {
    const auto bench = benchsupport::benchView(port);
    auto* status = bench->status();
    auto* ready = bench->ready();
    benchsupport::StallMeter stalls;
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
        stalls.start();
        clock.start();
        bench->button("connectButton")->click();
    });
    loop.exec();
    stalls.stop();
    *stallMs = stalls.longest();
    bench->button("disconnectButton")->click();
    return doneMs;
}

}  // namespace

int main(int argc, char* argv[]) {
    const auto application = benchsupport::benchApplication(argc, argv, "KorvanDiscoveryBench");
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;

    // About 62 attributes per generated logical node.
    std::vector<unsigned> models{16, 49, 163};
    if (!quick) {
        models.push_back(650);
    }
    std::printf("%-12s %8s %10s %9s %9s %9s %10s\n", "attributes", "latency", "time ms", "requests",
                "req/attr", "rejected", "floor ms");
    std::map<unsigned, double> engineAt20;
    for (const unsigned nodes : models) {
        for (const int latency : {0, 5, 20}) {
            const auto served = serveGenerated(nodes, latency);
            const long attributes = served->attributesServed();
            double best = -1;
            long requests = 0;
            const long rejectedBefore = rejections(*served);
            // Best of two on fresh associations keeps other load on the machine out of the figure.
            for (int run = 0; run < 2; ++run) {
                long sent = 0;
                const double ms = engineWalk(*served, &sent);
                if (ms >= 0 && (best < 0 || ms < best)) {
                    best = ms;
                    requests = sent;
                }
            }
            std::printf("%-12ld %6d ms %10.0f %9ld %9.3f %9ld %10.0f\n", attributes, latency, best, requests,
                        static_cast<double>(requests) / static_cast<double>(attributes),
                        rejections(*served) - rejectedBefore,
                        static_cast<double>(requests) * latency / kOutstanding);
            std::fflush(stdout);
            if (latency == 20) {
                engineAt20[nodes] = best;
            }
        }
    }
    for (const unsigned nodes : {163u, 650u}) {
        if (engineAt20.count(nodes) == 0) {
            continue;
        }
        const auto served = serveGenerated(nodes, 20);
        qint64 stallMs = 0;
        const double gui = viewToReady(served->port(), &stallMs);
        std::printf(
            "view, %ld attributes at 20 ms: Connect to Ready %.0f ms (engine alone %.0f ms), longest window "
            "stall %lld ms\n",
            served->attributesServed(), gui, engineAt20[nodes], static_cast<long long>(stallMs));
        std::fflush(stdout);
    }
    std::printf("machine load (1-minute average): %s\n", qPrintable(benchsupport::loadAverage()));
    return 0;
}
