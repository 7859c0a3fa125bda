#include "simulatorprocess.h"

#include <signal.h>

#include <QDeadlineTimer>
#include <QRegularExpression>

SimulatorProcess::~SimulatorProcess() {
    kill();
}

bool SimulatorProcess::available() {
#ifdef KORVAN_IEDSIM
    return true;
#else
    return false;
#endif
}

bool SimulatorProcess::start(const QString& sclFile, const QStringList& extraArguments) {
#ifdef KORVAN_IEDSIM
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setReadChannel(QProcess::StandardOutput);
    process.start(QStringLiteral(KORVAN_IEDSIM),
                  QStringList{"--scl", sclFile, "--port", "0"} + extraArguments);
    if (!process.waitForStarted(10000)) {
        error = process.errorString();
        return false;
    }
    static const QRegularExpression listening(QStringLiteral("iedsim listening on 127\\.0\\.0\\.1:(\\d+)"));
    QByteArray seen;
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired() && process.state() == QProcess::Running) {
        if (!process.canReadLine() && !process.waitForReadyRead(int(deadline.remainingTime()))) {
            continue;
        }
        while (process.canReadLine()) {
            const QByteArray line = process.readLine();
            seen += line;
            const QRegularExpressionMatch match = listening.match(QString::fromUtf8(line));
            if (match.hasMatch()) {
                listeningPort = quint16(match.captured(1).toUInt());
                // Reading the request log keeps the pipe from filling up.
                QObject::connect(&process, &QProcess::readyReadStandardOutput, &process,
                                 [this] { log += process.readAllStandardOutput(); });
                QObject::connect(&process, &QProcess::readyReadStandardError, &process,
                                 [this] { process.readAllStandardError(); });
                return true;
            }
        }
    }
    error = QStringLiteral("simulator did not come up: ") +
            QString::fromUtf8(seen + process.readAllStandardError());
    kill();
    return false;
#else
    Q_UNUSED(sclFile)
    Q_UNUSED(extraArguments)
    error = QStringLiteral("the simulator is not part of this build");
    return false;
#endif
}

int SimulatorProcess::pdusLogged() {
    // A line per PDU, tagged with its association: "12:00:00.000 [1 127.0.0.1:4711] read ...".
    // Until the log has been quiet for a moment; a simulator that keeps logging is read for a few
    // seconds at most.
    const QDeadlineTimer deadline(3000);
    while (process.state() == QProcess::Running && !deadline.hasExpired() && process.waitForReadyRead(300)) {
    }
    log += process.readAllStandardOutput();
    static const QRegularExpression pduLine(QStringLiteral("^\\S+ \\[[^]]*\\] (?!associat)"));
    int count = 0;
    for (const QByteArray& line : log.split('\n')) {
        count += pduLine.match(QString::fromUtf8(line)).hasMatch() ? 1 : 0;
    }
    return count;
}

void SimulatorProcess::kill() {
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(10000);
    }
    listeningPort = 0;
}

void SimulatorProcess::freeze() {
    if (process.state() == QProcess::Running) {
        ::kill(static_cast<pid_t>(process.processId()), SIGSTOP);
    }
}

void SimulatorProcess::thaw() {
    if (process.state() == QProcess::Running) {
        ::kill(static_cast<pid_t>(process.processId()), SIGCONT);
    }
}
