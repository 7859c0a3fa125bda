#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include <memory>

#include "iec61850view.h"
#include "viewdetail.h"

#ifdef KORVAN_WITH_SCL
#include "sclsaver.h"
#endif

namespace iec61850 {

using namespace viewdetail;

void Iec61850View::makeSclSaveButton() {
#ifdef KORVAN_WITH_SCL
    saveSclButton = new QPushButton(tr("Save model as SCL..."));
    saveSclButton->setObjectName("saveSclButton");
    saveSclButton->setToolTip(
        tr("Write the connected device's model as an ICD file, which the simulator can serve"));
    saveSclButton->setEnabled(false);
    static_cast<QGridLayout*>(connectBox->layout())->addWidget(saveSclButton, 0, 12);
    connect(saveSclButton, &QPushButton::clicked, this, &Iec61850View::saveModelAsSclClicked);
    // Only a device whose walk is done has a model to save.
    connect(statusEdit, &QLineEdit::textChanged, this, [this](const QString& state) {
        saveSclButton->setEnabled(state == kStateConnected && sclSaveWorker == nullptr);
    });
#endif
}

void Iec61850View::saveModelAsSclClicked() {
    const QString suggested = sclSavePath.isEmpty()
                                  ? QStringLiteral("%1_%2.icd").arg(ipEdit->text(), portEdit->text())
                                  : sclSavePath;
    const QString path = QFileDialog::getSaveFileName(this, tr("Save model as SCL"), suggested,
                                                      tr("ICD files (*.icd);;All files (*)"));
    if (!path.isEmpty()) {
        saveModelAsScl(path);
    }
}

void Iec61850View::saveModelAsScl(const QString& path) {
#ifdef KORVAN_WITH_SCL
    if (statusEdit->text() != kStateConnected) {
        emit setStatusBarMessage(tr("Save model as SCL: connect to the device first"));
        return;
    }
    if (sclSaveWorker != nullptr) {
        return;
    }
    const QString host = ipEdit->text();
    const int port = portEdit->text().toInt();
    auto outcome = std::make_shared<SclSaveOutcome>();
    saveSclButton->setDisabled(true);
    emit setStatusBarMessage(tr("Saving the model of %1:%2 as %3...").arg(host).arg(port).arg(path));
    sclSaveWorker = startSclWorker(
        [host, port, path, outcome] { *outcome = saveDeviceModelAsScl(host, port, path); },
        [this, host, port, path, outcome] {
            sclSaveWorker = nullptr;
            saveSclButton->setEnabled(statusEdit->text() == kStateConnected);
            if (!outcome->saved) {
                emit setStatusBarMessage(tr("Save model as SCL failed: %1").arg(outcome->error));
                return;
            }
            sclSavePath = path;
            emit logMessage(
                tr("Model of %1:%2 saved as %3: %4").arg(host).arg(port).arg(path, outcome->summary));
            if (!outcome->omissions.isEmpty()) {
                emit setStatusBarMessage(
                    tr("Model saved as %1 without what a file cannot hold: %2")
                        .arg(QFileInfo(path).fileName(), outcome->omissions.join(QStringLiteral("; "))));
            }
        });
#else
    Q_UNUSED(path);
#endif
}

}  // namespace iec61850
