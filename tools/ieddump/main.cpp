// ieddump HOST [PORT]: connects to an IEC 61850 server, walks its model with the engine the view uses
// and prints every line and value as tab-separated text.

#include <QCoreApplication>
#include <QMetaObject>
#include <QStringList>
#include <QThread>

#include <cstdio>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "dumpprinter.h"
#include "iec61850network.h"

namespace {

constexpr int kDefaultPort = 102;

const char* const kUsage =
    "usage: ieddump HOST [PORT]\n"
    "Prints the model and values of the IEC 61850 server at HOST (port 102 unless given) as\n"
    "tab-separated lines; exits 0 when the whole model was read, 1 when the connection failed\n"
    "or was lost (with the reason on standard error), 2 on wrong arguments.\n";

int usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
#if defined(__GLIBC__)
    // One malloc arena for the whole process. Answers are decoded on the receiving thread and freed on
    // the engine's once their lines are out: with an arena per thread, that memory only ever serves
    // the receiving thread again, and each arena keeps its own free room. The threads seldom allocate
    // at the same moment, so sharing one costs no measurable time.
    mallopt(M_ARENA_MAX, 1);
    // The heap grows by what is asked for rather than 128 KiB more each time: a walk's memory rises
    // slowly to its peak, and the pad would stay unused on top of it.
    mallopt(M_TOP_PAD, 0);
#endif
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 1 &&
        (args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (args.isEmpty() || args.size() > 2 || args.first().startsWith(QLatin1Char('-'))) {
        return usage();
    }
    const QString host = args.first();
    int port = kDefaultPort;
    if (args.size() == 2) {
        bool ok = false;
        port = args.at(1).toInt(&ok);
        if (!ok || port < 1 || port > 65535) {
            return usage();
        }
    }

    // The engine alone in its worker thread, as in the view. Lines are written on that thread as they
    // are announced: a queued call per line would cost more than the line, and a model of tens of
    // thousands of lines would wait in memory whenever this thread fell behind.
    QThread worker;
    auto* engine = new iec61850::Iec61850Network;
    ieddump::DumpPrinter printer(stdout);
    QObject::connect(engine, &iec61850::Iec61850Network::newDataLine, &printer,
                     &ieddump::DumpPrinter::newDataLine, Qt::DirectConnection);
    QObject::connect(engine, &iec61850::Iec61850Network::updateValue, &printer,
                     &ieddump::DumpPrinter::updateValue, Qt::DirectConnection);
    QObject::connect(engine, &iec61850::Iec61850Network::connectionStateChanged, &printer,
                     &ieddump::DumpPrinter::connectionStateChanged, Qt::DirectConnection);
    QObject::connect(engine, &iec61850::Iec61850Network::connectFailed, &printer, [](const QString& reason) {
        std::fprintf(stderr, "ieddump: %s\n", reason.toUtf8().constData());
    });
    // How far discovery is, and what it skipped, go to standard error too, apart from the dump.
    QObject::connect(engine, &iec61850::Iec61850Network::setStatusBarMessage, &printer,
                     [](const QString& text) {
                         if (text.startsWith(QLatin1String("Discovery"))) {
                             std::fprintf(stderr, "ieddump: %s\n", text.toUtf8().constData());
                         }
                     });
    QObject::connect(engine, &iec61850::Iec61850Network::discoveryProgress, &printer,
                     [](int done, int total) {
                         std::fprintf(stderr, "ieddump: Discovery: %d of %d logical nodes\n", done, total);
                     });
    QObject::connect(&printer, &ieddump::DumpPrinter::finished, &app, &QCoreApplication::exit);
    QObject::connect(&worker, &QThread::finished, engine, &QObject::deleteLater);
    engine->moveToThread(&worker);
    worker.start();
    QMetaObject::invokeMethod(engine, "doConnect", Qt::QueuedConnection, Q_ARG(QString, host),
                              Q_ARG(int, port));

    const int exitCode = app.exec();
    worker.quit();
    worker.wait();
    return exitCode;
}
