#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#ifdef QT_CORE_LIB
#include <QString>
#include <QStringList>
#endif

namespace korvan::test {

// The simulator program (iedsim) as a child process on a free loopback port: the one way tests and
// benchmarks on the client side stand up a device. Everything it prints goes to a file, which unlike
// a pipe never fills up and stalls it. The process is killed when the object goes, and on Linux also
// when the thread that started it ends without a destructor running (a test that crashed or timed out).
class SimulatorProcess {
public:
    SimulatorProcess() = default;
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    // True when the program is part of this build; tests that need it skip otherwise.
    static bool available();
    static std::string sampleModel();

    // Serves `sclFile` with "--port 0" and the extra options; false, with the reason in errorText(),
    // when it did not announce its port.
    bool start(const std::string& sclFile, const std::vector<std::string>& extraArguments = {});
    // Serves a model of `logicalNodes` generated logical nodes (iedsim --generate).
    bool startGenerated(unsigned logicalNodes, const std::vector<std::string>& extraArguments = {});
#ifdef QT_CORE_LIB
    bool start(const QString& sclFile, const QStringList& extraArguments = {}) {
        std::vector<std::string> extra;
        for (const QString& argument : extraArguments) {
            extra.push_back(argument.toStdString());
        }
        return start(sclFile.toStdString(), extra);
    }
#endif

    uint16_t port() const {
        return listeningPort;
    }
    // Ends the process without a goodbye, as a device that loses power would.
    void kill();
    // Stops or resumes the process without closing anything: a device that has stopped answering.
    // freeze() returns once the process has stopped.
    void freeze();
    void thaw();

    // Why start() failed, with what the program printed.
    const std::string& errorText() const {
        return error;
    }
    // Everything the program printed so far, standard output and errors interleaved.
    std::string output() const;
    // PDUs the simulator has logged from its clients so far, answered or not; waits until the log has
    // been quiet for a moment (a few seconds at most for a simulator that keeps logging).
    int pdusLogged() const;
    // The number of data attributes the simulator said it serves; 0 before it said so.
    long attributesServed() const;

private:
    bool launch(const std::vector<std::string>& arguments);
    void removeFiles();

    pid_t pid = -1;
    uint16_t listeningPort = 0;
    std::string logPath;
    std::string generatedModel;
    std::string error;
};

}  // namespace korvan::test
