// sclload_bench [LOGICAL_NODES] [RUNS]: opens a generated configuration file (iedsim --generate) the way
// Korvan's "Open SCL..." does and prints how long loading and building its lines took, then how long
// the whole open takes in the IEC 61850 view (lines filed into the tree). Run with
// QT_QPA_PLATFORM=offscreen where there is no display.

#include <QApplication>
#include <QElapsedTimer>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "iec61850view.h"
#include "sclmodel.h"

namespace {

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
    }
    iec61850::Iec61850View view;
    QElapsedTimer clock;
    clock.start();
    QMetaObject::invokeMethod(&view, "openSclFile", Q_ARG(QString, QString::fromStdString(path)),
                              Q_ARG(QString, QString()));
    std::printf("open in the view, lines filed into the tree: %lld ms\n",
                static_cast<long long>(clock.elapsed()));
    return 0;
}
