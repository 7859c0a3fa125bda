#include "iec61850view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QThread>
#include <QTreeView>

#include "treemodel.h"
#include "viewdetail.h"

#ifdef KORVAN_WITH_SCL
#include "sclcomparedialog.h"
#include "sclmodel.h"
#endif

namespace iec61850 {

using namespace viewdetail;

namespace {

// The status field while the tree shows a file's model rather than a device's.
const QString kStateOffline = QStringLiteral("Offline: ");
// Progress of filing a file's lines into the tree: this many lines per step, and a dialog once it
// has taken this long.
constexpr int kProgressLines = 1000;
constexpr int kProgressAfterMs = 500;

}  // namespace

void Iec61850View::makeSclButtons() {
#ifdef KORVAN_WITH_SCL
    openSclButton = new QPushButton(tr("Open SCL..."));
    openSclButton->setObjectName("openSclButton");
    openSclButton->setToolTip(
        tr("Browse an ICD, CID or SCD file offline; while connected, choose it for comparing"));
    static_cast<QGridLayout*>(connectBox->layout())->addWidget(openSclButton, 0, 10);
    connect(openSclButton, &QPushButton::clicked, this, &Iec61850View::openSclClicked);
    compareSclButton = new QPushButton(tr("Compare with SCL"));
    compareSclButton->setObjectName("compareSclButton");
    compareSclButton->setToolTip(tr("List how the connected device differs from the SCL file opened"));
    static_cast<QGridLayout*>(connectBox->layout())->addWidget(compareSclButton, 0, 11);
    connect(compareSclButton, &QPushButton::clicked, this, &Iec61850View::compareSclClicked);
    // A file's model is for looking at: nothing is read, polled, enabled or operated until a device is
    // connected. Runs after structureViewClicked, which enables what the line allows.
    connect(structureView, &QTreeView::clicked, this, [this] {
        if (showsOfflineModel()) {
            addRemoveButton->setDisabled(true);
            enableDisableButton->setDisabled(true);
            controlButton->setDisabled(true);
            readAllButton->setDisabled(true);
        }
    });
#endif
}

bool Iec61850View::showsOfflineModel() const {
    return statusEdit->text().startsWith(kStateOffline);
}

void Iec61850View::openSclClicked() {
    const QString path =
        QFileDialog::getOpenFileName(this, tr("Open SCL file"), QFileInfo(sclPath).path(),
                                     tr("SCL files (*.icd *.cid *.scd *.iid *.xml);;All files (*)"));
    if (!path.isEmpty()) {
        openSclFile(path);
    }
}

void Iec61850View::openSclFile(const QString& path, const QString& iedName) {
#ifdef KORVAN_WITH_SCL
    QString error;
    const std::shared_ptr<const SclModel> file = SclModel::open(path, &error);
    const QVector<SclIed> ieds = file ? file->ieds() : QVector<SclIed>();
    if (file && ieds.isEmpty()) {
        error = path + tr(": the file describes no IED with a data model");
    }
    if (!error.isEmpty()) {
        emit setStatusBarMessage(tr("SCL file not loaded: %1").arg(error));
        QMessageBox::warning(this, tr("Open SCL"), tr("The file was not loaded:\n%1").arg(error));
        return;
    }
    QString chosen = iedName;
    QString address;
    if (chosen.isEmpty() && ieds.size() == 1) {
        chosen = ieds.first().name;
    }
    if (chosen.isEmpty()) {
        QStringList items;
        for (const SclIed& ied : ieds) {
            items << (ied.ipAddress.isEmpty() ? ied.name
                                              : ied.name + QStringLiteral(" (") + ied.ipAddress + ')');
        }
        bool ok = false;
        const QString item = QInputDialog::getItem(
            this, tr("Open SCL"), tr("IED of %1:").arg(QFileInfo(path).fileName()), items, 0, false, &ok);
        if (!ok) {
            return;
        }
        chosen = ieds.at(items.indexOf(item)).name;
    }
    for (const SclIed& ied : ieds) {
        if (ied.name == chosen) {
            address = ied.ipAddress;
        }
    }
    QVector<SclLine> lines;
    if (!file->lines(chosen, &lines, &error)) {
        emit setStatusBarMessage(tr("SCL file not loaded: %1").arg(error));
        QMessageBox::warning(this, tr("Open SCL"), tr("The file was not loaded:\n%1").arg(error));
        return;
    }
    sclPath = path;
    sclIed = chosen;
    if (!connectButton->isEnabled()) {
        emit setStatusBarMessage(tr("SCL file %1 (IED %2) chosen for comparing with the device")
                                     .arg(QFileInfo(path).fileName(), chosen));
        return;
    }

    expandCombo->clear();
    expandCombo->addItem("<Select>");
    controlModel->resetTree();
    structureModel->resetTree();
    readyCheck->setChecked(false);
    readAllButton->setDisabled(true);
    addRemoveButton->setDisabled(true);
    enableDisableButton->setDisabled(true);
    controlButton->setDisabled(true);
    statusEdit->setText(kStateOffline + QFileInfo(path).fileName() + QStringLiteral(" (") + chosen + ')');
    statusEdit->setStyleSheet(QString());
    // A large file takes a while to file into the tree: the progress shows in a window-modal dialog
    // (which keeps the window drawn and its buttons out of reach meanwhile) and on the status bar.
    const QString fileName = QFileInfo(path).fileName();
    QProgressDialog progress(tr("Showing %1...").arg(fileName), QString(), 0, lines.size(), this);
    progress.setObjectName("sclProgress");
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(kProgressAfterMs);
    for (int i = 0; i < lines.size(); ++i) {
        const SclLine& line = lines.at(i);
        renameForView(line.data, line.ref, line.fc, line.layer);
        if (line.hasValue) {
            structureModel->setValue(line.ref, line.value, false);
        }
        if ((i + 1) % kProgressLines == 0) {
            progress.setValue(i + 1);
            emit setStatusBarMessage(
                tr("Showing %1: %2 of %3 lines").arg(fileName).arg(i + 1).arg(lines.size()));
        }
    }
    progress.setValue(lines.size());
    expandCombo->setEnabled(true);
    readyCheck->setChecked(true);
    QString message = tr("Showing %1 (IED %2) offline").arg(QFileInfo(path).fileName(), chosen);
    if (!address.isEmpty()) {
        ipEdit->setText(address);
        message += tr("; its address %1 is in the connection box").arg(address);
    }
    emit setStatusBarMessage(message);
#else
    Q_UNUSED(path);
    Q_UNUSED(iedName);
#endif
}

void Iec61850View::compareSclClicked() {
#ifdef KORVAN_WITH_SCL
    if (statusEdit->text() != kStateConnected) {
        emit setStatusBarMessage(tr("Compare with SCL: connect to the device first"));
        return;
    }
    if (sclWorker != nullptr) {
        return;
    }
    if (sclPath.isEmpty()) {
        openSclClicked();
        if (sclPath.isEmpty()) {
            return;
        }
    }
    QString error;
    const std::shared_ptr<const SclModel> file = SclModel::open(sclPath, &error);
    if (!file) {
        emit setStatusBarMessage(tr("SCL file not loaded: %1").arg(error));
        return;
    }
    const QString host = ipEdit->text();
    const int port = portEdit->text().toInt();
    const QString ied = sclIed;
    const QString title =
        QStringLiteral("%1:%2 with %3 (%4)").arg(host).arg(port).arg(QFileInfo(sclPath).fileName(), ied);
    auto result = std::make_shared<QVector<SclDifference>>();
    auto failure = std::make_shared<QString>();
    sclWorker = QThread::create([file, host, port, ied, result, failure] {
        file->compareWithDevice(host, port, ied, result.get(), failure.get());
    });
    compareSclButton->setDisabled(true);
    emit setStatusBarMessage(tr("Comparing %1...").arg(title));
    connect(sclWorker, &QThread::finished, this, [this, title, result, failure] {
        sclWorker->deleteLater();
        sclWorker = nullptr;
        compareSclButton->setEnabled(true);
        if (!failure->isEmpty()) {
            emit setStatusBarMessage(tr("Compare with SCL failed: %1").arg(*failure));
            return;
        }
        emit setStatusBarMessage(result->isEmpty()
                                     ? tr("%1: no differences").arg(title)
                                     : tr("%1: %2 difference(s)").arg(title).arg(result->size()));
        if (sclCompareDialog == nullptr) {
            sclCompareDialog = new SclCompareDialog(this);
        }
        sclCompareDialog->showDifferences(title, *result);
        sclCompareDialog->show();
    });
    sclWorker->start();
#endif
}

void Iec61850View::finishSclWork() {
    if (sclWorker != nullptr) {
        QObject::disconnect(sclWorker, nullptr, this, nullptr);
        sclWorker->wait();
        delete sclWorker;
        sclWorker = nullptr;
    }
}

}  // namespace iec61850
