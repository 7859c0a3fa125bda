#include "simulatorprocess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>

#include <csignal>
#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

void SimulatorProcess::ChildProcess::setupChildProcess() {
#ifdef Q_OS_LINUX
    prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
}

SimulatorProcess::~SimulatorProcess() {
    kill();
}

bool SimulatorProcess::start(const QString& program, const QStringList& arguments, int timeoutMs) {
    if (!logFile.open()) {
        return false;
    }
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardOutputFile(logFile.fileName());
    process.start(program, arguments + QStringList{"--port", "0"});
    if (!process.waitForStarted(timeoutMs)) {
        return false;
    }
    static const QRegularExpression announce(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"));
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        const QRegularExpressionMatch match = announce.match(output());
        if (match.hasMatch()) {
            listenPort = match.captured(1).toUShort();
            return listenPort != 0;
        }
        if (process.waitForFinished(50)) {
            return false;
        }
    }
    return false;
}

QString SimulatorProcess::output() {
    QFile file(logFile.fileName());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void SimulatorProcess::kill() {
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
}
