#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryFile>

// The IED simulator as a child process on a free loopback port, for tests and benchmarks that need a
// real server. The process is killed when the object goes.
class SimulatorProcess {
public:
    SimulatorProcess() = default;
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    // Starts `program` with `arguments` plus "--port 0" and waits until it announces its port.
    bool start(const QString& program, const QStringList& arguments, int timeoutMs = 60000);
    // Ends the process without a goodbye, as a device that loses power would.
    void kill();

    quint16 port() const { return listenPort; }
    // Everything the simulator printed so far.
    QString output();

private:
    // Linux: the simulator is killed with its parent, also when a test crashes or is killed on a
    // time-out and no destructor runs.
    class ChildProcess : public QProcess {
    protected:
        void setupChildProcess() override;
    };

    ChildProcess process;
    // The simulator logs every request; a file, unlike a pipe, never fills up and stalls it.
    QTemporaryFile logFile;
    quint16 listenPort = 0;
};
