#include "sclmodel.h"

#include "iec61850_client.h"
#include "modelassociation.h"
#include "modelcompare.h"
#include "modellines.h"
#include "sclfile.h"
#include "valuerenderer.h"

namespace iec61850 {

namespace {

bool holdsTime(const MmsValue& value) {
    if (value.type() == MMS_UTC_TIME || value.type() == MMS_BINARY_TIME) {
        return true;
    }
    for (const MmsValue& element : value.elements()) {
        if (holdsTime(element)) {
            return true;
        }
    }
    return false;
}

}  // namespace

struct SclModel::Parts {
    korvan::scl::SclFile file;
};

std::shared_ptr<const SclModel> SclModel::open(const QString& path, QString* error) {
    auto file = korvan::scl::SclFile::open(path.toStdString());
    if (!file) {
        *error = QString::fromStdString(file.error().message);
        return nullptr;
    }
    auto parts = std::make_shared<const Parts>(Parts{std::move(file).value()});
    return std::shared_ptr<const SclModel>(new SclModel(std::move(parts)));
}

QString SclModel::fileName() const {
    return QString::fromStdString(parts_->file.fileName());
}

QVector<SclIed> SclModel::ieds() const {
    QVector<SclIed> ieds;
    for (const auto& ied : parts_->file.ieds()) {
        ieds.append({QString::fromStdString(ied.name), QString::fromStdString(ied.description),
                     QString::fromStdString(ied.ipAddress)});
    }
    return ieds;
}

bool SclModel::lines(const QString& iedName, QVector<SclLine>* out, QString* error) const {
    return lines(iedName, out, error, Step());
}

bool SclModel::lines(const QString& iedName, QVector<SclLine>* out, QString* error, const Step& step) const {
    const auto goOn = [&step](size_t done, size_t total) {
        return !step || step(static_cast<int>(done), static_cast<int>(total));
    };
    if (!goOn(0, 0)) {
        return false;
    }
    auto model = parts_->file.model(iedName.toStdString());
    if (!model) {
        *error = QString::fromStdString(model.error().message);
        return false;
    }
    bool stopped = false;
    size_t nodes = 0;
    std::vector<korvan::scl::ModelLine> lines =
        korvan::scl::discoveryLines(**model, [&](size_t done, size_t total) {
            nodes = total;
            stopped = !goOn(done, total);
            return !stopped;
        });
    if (stopped) {
        return false;
    }
    out->clear();
    out->reserve(static_cast<int>(lines.size()));
    // Texts are made here too, so a caller off the window's thread leaves the window only the filing.
    constexpr size_t kLinesPerStep = 4096;
    for (size_t i = 0; i < lines.size(); ++i) {
        korvan::scl::ModelLine& line = lines[i];
        if (i % kLinesPerStep == kLinesPerStep - 1 && !goOn(nodes, nodes)) {
            out->clear();
            return false;
        }
        SclLine shown;
        shown.data = QString::fromStdString(line.name);
        shown.ref = QString::fromStdString(line.reference);
        shown.fc = QString::fromStdString(line.fc);
        shown.layer = line.layer;
        if (line.hasValue) {
            const RenderedValue rendered = renderValue(&line.value, shown.ref, false);
            if (!rendered.texts.isEmpty()) {
                shown.hasValue = true;
                shown.value = rendered.texts.first();
                shown.timeValue = holdsTime(line.value);
            }
        }
        out->append(std::move(shown));
    }
    return true;
}

bool SclModel::compareWithDevice(const QString& host, int port, const QString& iedName,
                                 QVector<SclDifference>* out, QString* error) const {
    auto model = parts_->file.model(iedName.toStdString());
    if (!model) {
        *error = QString::fromStdString(model.error().message);
        return false;
    }
    const ModelAssociation connection = openModelAssociation(host, port, error);
    if (!connection) {
        return false;
    }
    auto device = korvan::scl::readSnapshot(connection.get());
    IedConnection_close(connection.get());
    if (!device) {
        *error = QStringLiteral("reading the device failed at %1")
                     .arg(QString::fromStdString(device.error().message));
        return false;
    }
    out->clear();
    for (const korvan::scl::Difference& difference :
         korvan::scl::compareModels(*device, korvan::scl::snapshotOf(**model))) {
        out->append({static_cast<int>(difference.kind), QString::fromStdString(difference.reference),
                     QString::fromStdString(difference.detail),
                     QString::fromStdString(korvan::scl::differenceLine(difference))});
    }
    return true;
}

QStringList SclModel::differenceKinds() {
    using Kind = korvan::scl::Difference::Kind;
    QStringList kinds;
    for (const Kind kind : {Kind::OnlyInDevice, Kind::OnlyInFile, Kind::Type, Kind::DataSet,
                            Kind::ReportControl, Kind::Value}) {
        kinds << QString::fromLatin1(korvan::scl::kindName(kind));
    }
    return kinds;
}

}  // namespace iec61850
