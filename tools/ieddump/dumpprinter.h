#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <initializer_list>

#include <cstdio>

namespace ieddump {

// Writes every engine signal as one line, in arrival order, and decides when the dump is over: after
// the second connectionStateChanged(true) (the model has been walked) or at the first false. Its slots
// may run on the engine's thread (direct connections): a line is written as it is announced, so
// nothing waits in memory to be printed.
class DumpPrinter : public QObject {
    Q_OBJECT

public:
    explicit DumpPrinter(std::FILE* out, QObject* parent = nullptr);

signals:
    // 0 once the model is complete, 1 when the connection failed or was lost.
    void finished(int exitCode);

public slots:
    void newDataLine(const QString& data_string, const QString& ref_string, const QString& fc_string,
                     int layer);
    void updateValue(const QString& ref_string, const QString& value_string);
    void connectionStateChanged(bool state);

private:
    void print(std::initializer_list<QString> fields);

    std::FILE* out;
    QByteArray line;  // reused for every line
    int connectedCount = 0;
    bool done = false;
};

}  // namespace ieddump
