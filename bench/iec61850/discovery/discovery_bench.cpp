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

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "iec61850network.h"
#include "iec61850view.h"
#include "model_generator.h"
#include "server/simulated_server.h"

namespace {

using iecstack::server::SimulatedServer;

constexpr int kOutstanding = 5;  // what the simulator agrees to by default

struct Served {
    std::unique_ptr<SimulatedServer> server;
    std::shared_ptr<std::atomic<long>> requests = std::make_shared<std::atomic<long>>(0);
    size_t attributes = 0;
};

Served serve(unsigned logicalNodes, int latencyMs) {
    const std::string path = "/tmp/discovery_bench_" + std::to_string(::getpid()) + ".icd";
    {
        std::ofstream file(path);
        file << iedsim::generateModel(logicalNodes);
    }
    Served served;
    SimulatedServer::Options options;
    options.server.responseDelay = std::chrono::milliseconds(latencyMs);
    // Every request leaves one log line; association events name themselves.
    auto requests = served.requests;
    options.server.log = [requests](const std::string& line) {
        if (line.find("associat") == std::string::npos && line.find("conclude") == std::string::npos) {
            ++*requests;
        }
    };
    std::string error;
    served.server = SimulatedServer::start(path, options, &error);
    std::remove(path.c_str());
    if (!served.server) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        std::exit(1);
    }
    served.attributes = served.server->model().attributeCount();
    return served;
}

// Milliseconds from doConnect to the second connectionStateChanged(true), as ieddump sees it.
double engineWalk(quint16 port) {
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
    clock.start();
    QMetaObject::invokeMethod(engine, "doConnect", Qt::QueuedConnection, Q_ARG(QString, "127.0.0.1"),
                              Q_ARG(int, port));
    loop.exec();
    const double ms = clock.nsecsElapsed() / 1e6;
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
            Served served = serve(nodes, latency);
            double best = -1;
            long requests = 0;
            // Best of two on fresh associations keeps other load on the machine out of the figure.
            for (int run = 0; run < 2; ++run) {
                *served.requests = 0;
                const double ms = engineWalk(served.server->port());
                if (ms >= 0 && (best < 0 || ms < best)) {
                    best = ms;
                    requests = *served.requests;
                }
            }
            std::printf("%-12zu %6d ms %10.0f %9ld %9.3f %10.0f\n", served.attributes, latency, best, requests,
                        static_cast<double>(requests) / static_cast<double>(served.attributes),
                        static_cast<double>(requests) * latency / kOutstanding);
            std::fflush(stdout);
            if (nodes == 163 && latency == 20) {
                engine10k20 = best;
            }
        }
    }
    Served served = serve(163, 20);
    const double gui = viewToReady(served.server->port());
    std::printf("view, %zu attributes at 20 ms: Connect to Ready %.0f ms (engine alone %.0f ms, Ready waits 200 ms "
                "of quiet)\n",
                served.attributes, gui, engine10k20);
    return 0;
}
