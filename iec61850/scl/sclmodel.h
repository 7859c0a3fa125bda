#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <memory>

namespace iec61850 {

// A line of a configuration file's model, as the structure tree takes it from a discovery walk.
struct SclLine {
    QString data, ref, fc;
    int layer = 0;
    bool hasValue = false;  // the walk would read it and the value has a text
    QString value;
    // The value is or holds a time, which a device sets when it starts rather than taking it from the file.
    bool timeValue = false;
};

struct SclIed {
    QString name, description;
    QString ipAddress;  // from the Communication section; empty when it gives none
};

// A configuration file opened offline, for the window: its IEDs and, per IED, the lines and value texts
// discovery gives for a device serving it. Only plain Qt types cross this header, so the view needs
// nothing of the stack's model to use it.
// One way a device differs from the file.
struct SclDifference {
    int kind = 0;  // index into SclModel::differenceKinds()
    QString reference, detail;
    QString line;  // the whole difference as one line of text
};

class SclModel {
public:
    // Null with `error` ("file:line: problem") when the file does not load.
    static std::shared_ptr<const SclModel> open(const QString& path, QString* error);

    QString fileName() const;
    // The IEDs that serve a model, in file order.
    QVector<SclIed> ieds() const;
    // False with `error` when the IED's model cannot be built (dangling types, unknown IED). An empty
    // name picks the only IED of the file.
    bool lines(const QString& iedName, QVector<SclLine>* out, QString* error) const;
    // The same for a caller off the window's thread: `step` hears how many of the model's logical
    // nodes are done (total 0 while the model is built) and stops the work by returning false, which
    // makes this return false with `error` left empty.
    using Step = std::function<bool(int done, int total)>;
    bool lines(const QString& iedName, QVector<SclLine>* out, QString* error, const Step& step) const;

    // Reads the model of the device at host:port over an association of its own and compares it with
    // the IED's model from the file. Blocks for as long as that takes: call it off the window's thread.
    // False with `error` when the device could not be read.
    bool compareWithDevice(const QString& host, int port, const QString& iedName, QVector<SclDifference>* out,
                           QString* error) const;
    // The kinds of difference, in the order a comparison groups them: "only in the device", ...
    static QStringList differenceKinds();

    struct Parts;

private:
    explicit SclModel(std::shared_ptr<const Parts> parts) : parts_(std::move(parts)) {}

    std::shared_ptr<const Parts> parts_;
};

}  // namespace iec61850
