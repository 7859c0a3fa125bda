#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QThread>

#include <functional>

#include "iec61850network.h"
#include "simulatorprocess.h"

namespace korvan::test {

// The engine as the view and ieddump run it: alone in a worker thread, every signal queued to the
// thread that made the rig and recorded in arrival order. Lines, values and connection states go to
// `events` as one text each ("line|data|ref|fc|layer", "value|ref|text", "state|true"); status texts
// and report lines are kept apart, as they interleave with the walk differently from run to run.
class EngineRig : public QObject {
public:
    // A keep-alive interval of 0 keeps the engine's own default.
    explicit EngineRig(int keepAliveMs = 0);
    ~EngineRig() override;

    iec61850::Iec61850Network* engine() const { return network; }

    void doConnect(quint16 port);
    // Connects and waits until the walk has ended; the status texts of the connect and the walk are
    // cleared, those that followed its end kept.
    bool connectAndWalk(quint16 port);
    // Starts `simulator` serving `sclFile` with the extra options, then connects and walks as above;
    // false when either failed (the simulator's reason goes to the test's log).
    bool serveAndWalk(SimulatorProcess& simulator, const QString& sclFile, const QStringList& options = {});
    // The engine's own teardown, queued like every other request.
    void disconnectEngine();
    // What the view's Disconnect does: abandon at once from this thread, then the queued teardown.
    void userDisconnect();
    void readValue(const QString& ref);
    // Reads each of `refs` on its own, all in one turn of the engine's thread, however busy this
    // machine is: the view's reads of one click, when its thread outpaces the engine's.
    void readValuesInOneTurn(const QStringList& refs);
    // Invokes a slot of the engine and waits until it has run and its signals have arrived.
    template <typename... Args>
    void call(const char* slot, Args... args) {
        QMetaObject::invokeMethod(network, slot, args...);
        settle();
    }
    // Switches a report control block on or off, as the view's Enable/Disable button does.
    void toggleReport(const QString& rcb);

    // Everything the engine was asked before this call has run, the reads among it are answered, and
    // the signals have been delivered.
    void settle();
    // Deletes the engine in its thread, as the view does when it goes away.
    void destroyEngine();
    // Runs this thread's events until `done` holds; false when `timeoutMs` passed first.
    bool waitFor(const std::function<bool()>& done, int timeoutMs);

    int trues() const { return events.count(QStringLiteral("state|true")); }
    int falses() const { return events.count(QStringLiteral("state|false")); }
    QStringList lines() const;
    QStringList values() const;
    // The references of the values in `values()`.
    QStringList valueRefs() const;
    // Reports begun: addReport lines without a member reference.
    int reportsBegun() const;
    // Milliseconds since the rig was made at which the last line, value or state arrived.
    qint64 lastEventMs() const { return lastEvent; }

    QStringList events;
    QStringList statusTexts;
    // One entry per addReport: data set, member reference, the values joined with '|'.
    QList<QStringList> reports;

private:
    void recordEvent(const QString& event);

    QThread thread;
    iec61850::Iec61850Network* network;
    QElapsedTimer clock;
    qint64 lastEvent = 0;
    int textsBeforeLastTrue = 0;
};

}  // namespace korvan::test
