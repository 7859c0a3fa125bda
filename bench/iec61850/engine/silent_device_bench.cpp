// How fast the engine lets go of a device that stops answering (the simulator with --silent-after):
// how long after its last answer a walk ends with connectionStateChanged(false) when the device falls
// silent at the start, in the middle and at the last request of a walk of the sample model, and how
// long a Disconnect takes with 250 reads queued behind it, against a silent and against a slow device.
// The request time-out is the client's default, 5 s.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>
#include <functional>

#include "iec61850network.h"
#include "simulatorprocess.h"

namespace {

using iec61850::Iec61850Network;

const QString kModel = QStringLiteral(KORVAN_SOURCE_DIR "/tools/iedsim/models/sample_bay.icd");
const QString kRead = QStringLiteral("BAY1CTRL/LLN0.Mod.stVal");

// The engine in its own thread, as the view runs it, with the times of what it reports.
class Rig {
public:
    Rig() : engine(new Iec61850Network) {
        QObject::connect(engine, &Iec61850Network::connectionStateChanged, &context, [this](bool state) {
            (state ? trues : falses) += 1;
            lastEventMs = clock.elapsed();
        });
        QObject::connect(engine, &Iec61850Network::newDataLine, &context,
                         [this] { lastEventMs = clock.elapsed(); });
        QObject::connect(engine, &Iec61850Network::updateValue, &context,
                         [this] { lastEventMs = clock.elapsed(); });
        QObject::connect(&thread, &QThread::finished, engine, &QObject::deleteLater);
        engine->moveToThread(&thread);
        thread.start();
        clock.start();
    }
    ~Rig() {
        thread.quit();
        thread.wait();
    }
    void connectTo(quint16 port) {
        QMetaObject::invokeMethod(engine, "doConnect", Q_ARG(QString, QStringLiteral("127.0.0.1")),
                                  Q_ARG(int, port));
    }
    bool waitFor(const std::function<bool()>& done, int timeoutMs = 900000) {
        QElapsedTimer waited;
        waited.start();
        while (!done() && waited.elapsed() < timeoutMs) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        }
        return done();
    }

    QObject context;
    QThread thread;
    Iec61850Network* engine;
    QElapsedTimer clock;
    int trues = 0;
    int falses = 0;
    qint64 lastEventMs = 0;
};

int walkPdus() {
    SimulatorProcess simulator;
    if (!simulator.start(kModel)) {
        return 0;
    }
    Rig rig;
    rig.connectTo(simulator.port());
    rig.waitFor([&] { return rig.trues == 2; });
    return simulator.pdusLogged();
}

// Seconds from the device's last answer (the last thing the engine reported) to the end of the walk.
void silentDuringWalk(const char* where, int answered) {
    SimulatorProcess simulator;
    if (!simulator.start(kModel, {"--silent-after", QString::number(answered)})) {
        std::printf("%s: simulator did not start\n", where);
        return;
    }
    Rig rig;
    rig.connectTo(simulator.port());
    qint64 lastAnswerMs = 0;
    rig.waitFor([&] {
        if (rig.falses == 0) {
            lastAnswerMs = rig.lastEventMs;
        }
        return rig.falses > 0;
    });
    std::printf("silent %-22s walk ended %.2f s after the last answer (%d PDUs sent, %d answered)\n", where,
                (rig.lastEventMs - lastAnswerMs) / 1000.0, simulator.pdusLogged(), answered);
}

void disconnectWithQueuedReads(const char* device, const QStringList& arguments) {
    SimulatorProcess simulator;
    if (!simulator.start(kModel, arguments)) {
        std::printf("%s: simulator did not start\n", device);
        return;
    }
    Rig rig;
    rig.connectTo(simulator.port());
    rig.waitFor([&] { return rig.trues == 2; });
    const int walked = simulator.pdusLogged();
    for (int i = 0; i < 250; ++i) {
        QMetaObject::invokeMethod(rig.engine, "readValue", Q_ARG(QString, kRead));
    }
    // The first read goes out meanwhile.
    rig.waitFor([] { return false; }, 300);
    QElapsedTimer took;
    took.start();
    rig.engine->abandonAssociation();  // what the view's Disconnect does first
    QMetaObject::invokeMethod(rig.engine, "disconnect");
    rig.waitFor([&] { return rig.falses > 0; });
    std::printf(
        "Disconnect, 250 reads queued, %-7s device: %.3f s to connectionStateChanged(false), "
        "%d PDUs sent after the walk\n",
        device, took.elapsed() / 1000.0, simulator.pdusLogged() - walked);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int all = walkPdus();
    if (all == 0) {
        std::fprintf(stderr, "the simulator did not serve a walk\n");
        return 1;
    }
    std::printf("a walk of the sample model takes %d PDUs; request time-out 5 s\n", all);
    silentDuringWalk("at the start:", 0);
    silentDuringWalk("in the middle:", all / 2);
    silentDuringWalk("at the last request:", all - 1);
    disconnectWithQueuedReads("silent", {"--silent-after", QString::number(all)});
    disconnectWithQueuedReads("slow", {"--latency", "50"});
    return 0;
}
