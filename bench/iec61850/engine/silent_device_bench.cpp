// How fast the engine lets go of a device that stops answering (the simulator with --silent-after):
// how long after its last answer a walk ends with connectionStateChanged(false) when the device falls
// silent at the start, in the middle and at the last request of a walk of the sample model, and how
// long a Disconnect takes with 250 reads queued behind it, against a silent and against a slow device.
// The request time-out is the client's default, 5 s.

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <string>
#include <vector>

#include "enginerig.h"
#include "simulatorprocess.h"

namespace {

using korvan::test::EngineRig;
using korvan::test::SimulatorProcess;

const std::string kModel = SimulatorProcess::sampleModel();
constexpr int kPatienceMs = 900000;
const QString kRead = QStringLiteral("BAY1CTRL/LLN0.Mod.stVal");

int walkPdus() {
    SimulatorProcess simulator;
    if (!simulator.start(kModel)) {
        return 0;
    }
    EngineRig rig;
    rig.doConnect(simulator.port());
    rig.waitFor([&] { return rig.trues() == 2; }, kPatienceMs);
    return simulator.pdusLogged();
}

// Seconds from the device's last answer (the last thing the engine reported) to the end of the walk.
void silentDuringWalk(const char* where, int answered) {
    SimulatorProcess simulator;
    if (!simulator.start(kModel, {"--silent-after", std::to_string(answered)})) {
        std::printf("%s: simulator did not start\n", where);
        return;
    }
    EngineRig rig;
    rig.doConnect(simulator.port());
    qint64 lastAnswerMs = 0;
    rig.waitFor(
        [&] {
            if (rig.falses() == 0) {
                lastAnswerMs = rig.lastEventMs();
            }
            return rig.falses() > 0;
        },
        kPatienceMs);
    std::printf("silent %-22s walk ended %.2f s after the last answer (%d PDUs sent, %d answered)\n", where,
                (rig.lastEventMs() - lastAnswerMs) / 1000.0, simulator.pdusLogged(), answered);
}

void disconnectWithQueuedReads(const char* device, const std::vector<std::string>& arguments) {
    SimulatorProcess simulator;
    if (!simulator.start(kModel, arguments)) {
        std::printf("%s: simulator did not start\n", device);
        return;
    }
    EngineRig rig;
    rig.doConnect(simulator.port());
    rig.waitFor([&] { return rig.trues() == 2; }, kPatienceMs);
    const int walked = simulator.pdusLogged();
    for (int i = 0; i < 250; ++i) {
        rig.readValue(kRead);
    }
    // The first read goes out meanwhile.
    rig.waitFor([] { return false; }, 300);
    QElapsedTimer took;
    took.start();
    rig.userDisconnect();
    rig.waitFor([&] { return rig.falses() > 0; }, kPatienceMs);
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
    disconnectWithQueuedReads("silent", {"--silent-after", std::to_string(all)});
    disconnectWithQueuedReads("slow", {"--latency", "50"});
    return 0;
}
