#include "dumpprinter.h"

#include "dumpline.h"

namespace ieddump {

DumpPrinter::DumpPrinter(std::FILE* out, QObject* parent) : QObject(parent), out(out) {
    // Reserved, so that truncating it for the next line keeps the allocation.
    line.reserve(1024);
}

void DumpPrinter::newDataLine(const QString& data_string, const QString& ref_string, const QString& fc_string,
                              int layer) {
    print({QStringLiteral("newDataLine"), data_string, ref_string, fc_string, QString::number(layer)});
}

void DumpPrinter::updateValue(const QString& ref_string, const QString& value_string) {
    // The engine announces a value without a text form with an empty update, which names nothing.
    if (ref_string.isEmpty()) {
        return;
    }
    print({QStringLiteral("updateValue"), ref_string, value_string});
}

void DumpPrinter::connectionStateChanged(bool state) {
    print(
        {QStringLiteral("connectionStateChanged"), state ? QStringLiteral("true") : QStringLiteral("false")});
    if (done) {
        return;
    }
    // The first true is the association, the second the end of the walk.
    if (!state || ++connectedCount == 2) {
        done = true;
        std::fflush(out);
        emit finished(state ? 0 : 1);
    }
}

void DumpPrinter::print(std::initializer_list<QString> fields) {
    if (done) {
        return;
    }
    line.truncate(0);
    appendDumpLine(line, fields);
    std::fwrite(line.constData(), 1, size_t(line.size()), out);
}

}  // namespace ieddump
