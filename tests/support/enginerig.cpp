#include "enginerig.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QRegularExpression>
#include <QTimer>

#include <atomic>
#include <memory>

namespace korvan::test {

using iec61850::Iec61850Network;

namespace {

// How long settle() waits for reads still in flight.
constexpr int kSettleTimeoutMs = 60000;

}  // namespace

EngineRig::EngineRig(int keepAliveMs) : network(new Iec61850Network) {
    if (keepAliveMs > 0) {
        network->setKeepAliveInterval(keepAliveMs);
    }
    connect(network, &Iec61850Network::setStatusBarMessage, this,
            [this](const QString& text) { statusTexts << text; });
    connect(network, &Iec61850Network::newDataLine, this,
            [this](const QString& data, const QString& ref, const QString& fc, int layer) {
                recordEvent(QStringLiteral("line|%1|%2|%3|%4").arg(data, ref, fc).arg(layer));
            });
    connect(network, &Iec61850Network::updateValue, this, [this](const QString& ref, const QString& value) {
        recordEvent(QStringLiteral("value|%1|%2").arg(ref, value));
    });
    connect(network, &Iec61850Network::connectionStateChanged, this, [this](bool state) {
        recordEvent(state ? QStringLiteral("state|true") : QStringLiteral("state|false"));
        if (state) {
            textsBeforeLastTrue = statusTexts.size();
        }
    });
    connect(network, &Iec61850Network::addReport, this,
            [this](const QString& dataSet, const QString& dataRef, const QStringList& values) {
                reports << QStringList{dataSet, dataRef, values.join('|')};
            });
    connect(&thread, &QThread::finished, network, &QObject::deleteLater);
    network->moveToThread(&thread);
    thread.start();
    clock.start();
}

EngineRig::~EngineRig() {
    destroyEngine();
}

void EngineRig::recordEvent(const QString& event) {
    events << event;
    lastEvent = clock.elapsed();
}

void EngineRig::doConnect(quint16 port) {
    QMetaObject::invokeMethod(network, "doConnect", Q_ARG(QString, QStringLiteral("127.0.0.1")),
                              Q_ARG(int, port));
}

bool EngineRig::connectAndWalk(quint16 port) {
    const int before = trues();
    doConnect(port);
    const bool walked = waitFor([&] { return trues() >= before + 2; }, 60000);
    statusTexts.erase(statusTexts.begin(),
                      statusTexts.begin() + qMin(textsBeforeLastTrue, statusTexts.size()));
    return walked;
}

bool EngineRig::serveAndWalk(SimulatorProcess& simulator, const QString& sclFile,
                             const QStringList& options) {
    if (!simulator.start(sclFile, options)) {
        qWarning("simulator not started: %s", simulator.errorText().c_str());
        return false;
    }
    return connectAndWalk(simulator.port());
}

void EngineRig::disconnectEngine() {
    QMetaObject::invokeMethod(network, "disconnect");
}

void EngineRig::userDisconnect() {
    network->abandonAssociation();
    disconnectEngine();
}

void EngineRig::readValue(const QString& ref) {
    QMetaObject::invokeMethod(network, "readValue", Q_ARG(QString, ref));
}

void EngineRig::readValuesInOneTurn(const QStringList& refs) {
    iec61850::Iec61850Network* engine = network;
    QMetaObject::invokeMethod(network, [engine, refs] {
        for (const QString& ref : refs) {
            engine->readValue(ref);
        }
    });
}

void EngineRig::toggleReport(const QString& rcb) {
    call("enableDisableReport", Q_ARG(QString, rcb));
}

void EngineRig::settle() {
    if (thread.isRunning()) {
        // Reads leave in batches and are answered later; the engine says when all asked are handled.
        auto handled = std::make_shared<std::atomic<bool>>(false);
        iec61850::Iec61850Network* engine = network;
        QMetaObject::invokeMethod(
            network, [engine, handled] { engine->whenReadsHandled([handled] { *handled = true; }); },
            Qt::BlockingQueuedConnection);
        QDeadlineTimer deadline(kSettleTimeoutMs);
        while (!*handled && !deadline.hasExpired()) {
            QThread::msleep(2);
        }
        if (!*handled) {
            qWarning("reads still outstanding");
        }
    }
    QCoreApplication::sendPostedEvents();
}

void EngineRig::destroyEngine() {
    if (thread.isRunning()) {
        thread.quit();
        thread.wait();
    }
    QCoreApplication::sendPostedEvents();
}

bool EngineRig::waitFor(const std::function<bool()>& done, int timeoutMs) {
    if (done()) {
        return true;
    }
    // An event loop rather than a sleep between checks: what arrives is taken (and timed) at once.
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done()) {
            loop.quit();
        }
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    check.start(5);
    loop.exec();
    return done();
}

QStringList EngineRig::lines() const {
    return events.filter(QRegularExpression(QStringLiteral("^line\\|")));
}

QStringList EngineRig::values() const {
    return events.filter(QRegularExpression(QStringLiteral("^value\\|")));
}

QStringList EngineRig::valueRefs() const {
    QStringList refs;
    for (const QString& value : values()) {
        refs << value.section('|', 1, 1);
    }
    return refs;
}

int EngineRig::reportsBegun() const {
    int count = 0;
    for (const QStringList& report : reports) {
        count += report[1].isEmpty() ? 1 : 0;
    }
    return count;
}

}  // namespace korvan::test
