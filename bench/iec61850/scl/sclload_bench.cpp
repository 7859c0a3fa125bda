// sclload_bench [LOGICAL_NODES] [RUNS]: opens a generated configuration file (iedsim --generate) the way
// Korvan's "Open SCL..." does and prints how long loading and building its lines took, then how long
// the whole open takes in the IEC 61850 view (lines filed into the tree). Run with
// QT_QPA_PLATFORM=offscreen where there is no display. CPU times are printed beside the wall-clock ones.

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProgressBar>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/resource.h>

#include "iec61850view.h"
#include "sclmodel.h"

namespace {

// CPU time of the whole program, in milliseconds.
double processCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

bool generate(unsigned logicalNodes, const std::string& path) {
    const std::string command =
        std::string(KORVAN_IEDSIM) + " --generate " + std::to_string(logicalNodes) + " > '" + path + "'";
    return std::system(command.c_str()) == 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const unsigned logicalNodes = argc > 1 ? static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)) : 2500;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("generated.icd")).toStdString();
    if (!generate(logicalNodes, path)) {
        std::fprintf(stderr, "sclload_bench: iedsim --generate failed\n");
        return 1;
    }
    for (int run = 0; run < runs; ++run) {
        const double cpuBefore = processCpuMs();
        QElapsedTimer clock;
        clock.start();
        QString error;
        const auto model = iec61850::SclModel::open(QString::fromStdString(path), &error);
        const qint64 loadedMs = clock.elapsed();
        QVector<iec61850::SclLine> lines;
        if (!model || !model->lines(QString(), &lines, &error)) {
            std::fprintf(stderr, "sclload_bench: %s\n", error.toUtf8().constData());
            return 1;
        }
        int attributes = 0;
        for (const auto& line : lines) {
            attributes += line.hasValue ? 1 : 0;
        }
        std::printf(
            "%u logical nodes, %d lines, %d attributes with values: file read %lld ms, model and lines "
            "%lld ms, total %lld ms\n",
            logicalNodes, lines.size(), attributes, static_cast<long long>(loadedMs),
            static_cast<long long>(clock.elapsed() - loadedMs), static_cast<long long>(clock.elapsed()));
        std::printf("  CPU %.0f ms (the machine's load stretches wall-clock figures, not this one)\n",
                    processCpuMs() - cpuBefore);
    }
    // The view opens the file off its thread and files the lines in slices: the figure is the time
    // until it is shown, beside the longest the window's event loop was kept from running meanwhile.
    iec61850::Iec61850View view;
    auto* bar = view.findChild<QProgressBar*>(QStringLiteral("progressBar"));
    QTimer ticker;
    QElapsedTimer sinceTick;
    qint64 longestStallMs = 0;
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longestStallMs = qMax(longestStallMs, sinceTick.restart()); });
    const double cpuBefore = processCpuMs();
    QElapsedTimer clock;
    clock.start();
    sinceTick.start();
    ticker.start(1);
    QMetaObject::invokeMethod(&view, "openSclFile", Q_ARG(QString, QString::fromStdString(path)),
                              Q_ARG(QString, QString()));
    // Waits in the event loop, as the window would, rather than spinning beside the worker.
    QEventLoop shown;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (bar == nullptr || bar->isHidden()) {
            shown.quit();
        }
    });
    look.start(10);
    shown.exec();
    ticker.stop();
    longestStallMs = qMax(longestStallMs, sinceTick.elapsed());  // an open that held the window to the end
    std::printf(
        "open in the view, lines filed into the tree: %lld ms (CPU %.0f ms), longest window stall %lld ms\n",
        static_cast<long long>(clock.elapsed()), processCpuMs() - cpuBefore,
        static_cast<long long>(longestStallMs));
    return 0;
}
