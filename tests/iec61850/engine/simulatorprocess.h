#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// The simulator program serving an SCL file on a free loopback port, for tests that need a real
// server. Killing it drops every association at once, as a device that loses power would.
class SimulatorProcess {
public:
    SimulatorProcess() = default;
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;
    ~SimulatorProcess();

    // True when the program was built; tests that need it skip otherwise.
    static bool available();
    // Starts the simulator; false (with the reason in errorText()) when it did not come up.
    bool start(const QString& sclFile, const QStringList& extraArguments = {});
    quint16 port() const { return listeningPort; }
    void kill();
    // Stops or resumes the process without closing anything: a device that has stopped answering.
    void freeze();
    void thaw();
    QString errorText() const { return error; }
    // PDUs the simulator has logged from its clients so far, answered or not.
    int pdusLogged();

private:
    QProcess process;
    quint16 listeningPort = 0;
    QString error;
    QByteArray log;
};
