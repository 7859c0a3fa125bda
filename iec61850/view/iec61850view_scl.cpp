#include "iec61850view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QTreeView>

#include <atomic>

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
// Longest stretch the window spends filing a file's lines before it lets other events in.
constexpr qint64 kFilingSliceMs = 8;
// How often the bar shows how far a worker is.
constexpr int kWorkerProgressMs = 100;

}  // namespace

#ifdef KORVAN_WITH_SCL
// One "Open SCL..." under way. Its workers touch nothing else, so the view can give it up (another
// file opened, Cancel, the view closed) while they still run; it is set on the window's thread before a
// worker starts and read there after the worker has finished, except the flags and counts.
struct SclLoad {
    QString path, fileName, iedName;
    std::atomic<bool> cancelled{false};
    enum class Phase { Reading, Building, Filing };
    Phase phase = Phase::Reading;
    std::shared_ptr<const SclModel> file;
    QVector<SclIed> ieds;
    QString error;
    QString chosen, address;  // the IED shown and its address from the file
    bool built = false;
    std::atomic<int> done{0}, total{0};  // logical nodes walked while building
    QVector<SclLine> lines;
    int filed = 0;             // lines in the tree so far
    bool thenCompare = false;  // opened by "Compare with SCL", which goes on once the file is read
};
#endif

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
    // A file opened while another is still being opened replaces it.
    dropSclLoad();
    auto load = std::make_shared<SclLoad>();
    load->path = path;
    load->fileName = QFileInfo(path).fileName();
    load->iedName = iedName;
    sclLoad = load;
    if (sclLoadTimer == nullptr) {
        sclLoadTimer = new QTimer(this);
        sclLoadTimer->setInterval(kWorkerProgressMs);
        connect(sclLoadTimer, &QTimer::timeout, this, [this] { showProgress(); });
    }
    sclLoadTimer->start();
    showProgress();
    startSclWorker(
        [load] {
            if (load->cancelled) {
                return;
            }
            load->file = SclModel::open(load->path, &load->error);
            if (load->file) {
                load->ieds = load->file->ieds();
            }
        },
        [this, load] { sclFileRead(load); });
#else
    Q_UNUSED(path);
    Q_UNUSED(iedName);
#endif
}

#ifdef KORVAN_WITH_SCL

QThread* Iec61850View::startSclWorker(std::function<void()> work, std::function<void()> then) {
    QThread* worker = QThread::create(std::move(work));
    sclThreads.append(worker);
    connect(worker, &QThread::finished, this, [this, worker, then] {
        sclThreads.removeOne(worker);
        worker->wait();  // finished comes just before the thread ends
        delete worker;
        then();
    });
    worker->start();
    return worker;
}

void Iec61850View::sclFileRead(const std::shared_ptr<SclLoad>& load) {
    if (load != sclLoad) {
        return;  // given up or replaced meanwhile
    }
    const QString& path = load->path;
    QString error = load->error;
    const QVector<SclIed>& ieds = load->ieds;
    if (load->file && ieds.isEmpty()) {
        error = path + tr(": the file describes no IED with a data model");
    }
    if (!load->file || !error.isEmpty()) {
        endSclLoad();
        emit setStatusBarMessage(tr("SCL file not loaded: %1").arg(error));
        QMessageBox::warning(this, tr("Open SCL"), tr("The file was not loaded:\n%1").arg(error));
        return;
    }
    QString chosen = load->iedName;
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
        const QString item = QInputDialog::getItem(this, tr("Open SCL"), tr("IED of %1:").arg(load->fileName),
                                                   items, 0, false, &ok);
        if (load != sclLoad) {
            return;
        }
        if (!ok) {
            endSclLoad();
            return;
        }
        chosen = ieds.at(items.indexOf(item)).name;
    }
    load->chosen = chosen;
    for (const SclIed& ied : ieds) {
        if (ied.name == chosen) {
            load->address = ied.ipAddress;
        }
    }
    load->phase = SclLoad::Phase::Building;
    showProgress();
    startSclWorker(
        [load] {
            SclLoad* state = load.get();
            state->built =
                state->file->lines(state->chosen, &state->lines, &state->error, [state](int done, int total) {
                    state->done = done;
                    state->total = total;
                    return !state->cancelled;
                });
        },
        [this, load] { sclLinesMade(load); });
}

void Iec61850View::sclLinesMade(const std::shared_ptr<SclLoad>& load) {
    if (load != sclLoad) {
        return;
    }
    if (!load->built) {
        endSclLoad();
        emit setStatusBarMessage(tr("SCL file not loaded: %1").arg(load->error));
        QMessageBox::warning(this, tr("Open SCL"), tr("The file was not loaded:\n%1").arg(load->error));
        return;
    }
    sclPath = load->path;
    sclIed = load->chosen;
    if (!connectButton->isEnabled()) {
        endSclLoad();
        emit setStatusBarMessage(tr("SCL file %1 (IED %2) chosen for comparing with the device")
                                     .arg(load->fileName, load->chosen));
        if (load->thenCompare) {
            compareSclClicked();
        }
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
    statusEdit->setText(kStateOffline + load->fileName + QStringLiteral(" (") + load->chosen + ')');
    statusEdit->setStyleSheet(QString());
    load->phase = SclLoad::Phase::Filing;
    fileSclLines(load);
}

void Iec61850View::fileSclLines(const std::shared_ptr<SclLoad>& load) {
    if (load != sclLoad) {
        return;
    }
    QElapsedTimer clock;
    clock.start();
    const QVector<SclLine>& lines = load->lines;
    while (load->filed < lines.size() && clock.elapsed() < kFilingSliceMs) {
        const SclLine& line = lines.at(load->filed++);
        renameForView(line.data, line.ref, line.fc, line.layer);
        if (line.hasValue) {
            structureModel->setValue(line.ref, line.value, false);
        }
    }
    if (load->filed < lines.size()) {
        showProgress();
        // The rest after the window has drawn and taken its input; dropped with the view.
        QMetaObject::invokeMethod(
            this, [this, load] { fileSclLines(load); }, Qt::QueuedConnection);
        return;
    }
    showProgress();  // the bar's last step before it goes
    endSclLoad();
    expandCombo->setEnabled(true);
    readyCheck->setChecked(true);
    QString message = tr("Showing %1 (IED %2) offline").arg(load->fileName, load->chosen);
    if (!load->address.isEmpty()) {
        ipEdit->setText(load->address);
        message += tr("; its address %1 is in the connection box").arg(load->address);
    }
    emit setStatusBarMessage(message);
}

void Iec61850View::endSclLoad() {
    sclLoad.reset();
    if (sclLoadTimer != nullptr) {
        sclLoadTimer->stop();
    }
    showProgress();
}

bool Iec61850View::showSclLoadProgress() {
    if (!sclLoad) {
        return false;
    }
    const SclLoad& load = *sclLoad;
    switch (load.phase) {
        case SclLoad::Phase::Reading:
            progressBar->setRange(0, 0);
            progressBar->setFormat(tr("Reading %1").arg(load.fileName));
            break;
        case SclLoad::Phase::Building:
            // Nothing to count while the model is built; then its logical nodes as they are walked.
            progressBar->setRange(0, load.total);
            progressBar->setValue(load.done);
            progressBar->setFormat(tr("Building the model of %1: %v of %m logical nodes").arg(load.fileName));
            break;
        case SclLoad::Phase::Filing:
            progressBar->setRange(0, load.lines.size());
            progressBar->setValue(load.filed);
            progressBar->setFormat(tr("Showing %1: %v of %m lines").arg(load.fileName));
            break;
    }
    return true;
}

#else

QThread* Iec61850View::startSclWorker(std::function<void()>, std::function<void()>) {
    return nullptr;
}
void Iec61850View::sclFileRead(const std::shared_ptr<SclLoad>&) {}
void Iec61850View::sclLinesMade(const std::shared_ptr<SclLoad>&) {}
void Iec61850View::fileSclLines(const std::shared_ptr<SclLoad>&) {}
void Iec61850View::endSclLoad() {}
bool Iec61850View::showSclLoadProgress() {
    return false;
}

#endif

void Iec61850View::cancelSclLoadClicked() {
#ifdef KORVAN_WITH_SCL
    if (!sclLoad) {
        return;
    }
    const QString fileName = sclLoad->fileName;
    dropSclLoad();
    emit setStatusBarMessage(tr("Opening %1 cancelled").arg(fileName));
#endif
}

void Iec61850View::dropSclLoad() {
#ifdef KORVAN_WITH_SCL
    const std::shared_ptr<SclLoad> load = sclLoad;
    if (!load) {
        return;
    }
    load->cancelled = true;
    endSclLoad();
    if (load->phase == SclLoad::Phase::Filing) {
        // Part of the file is in the tree and the view showed something else before: nothing is shown.
        expandCombo->clear();
        expandCombo->addItem("<Select>");
        controlModel->resetTree();
        structureModel->resetTree();
        statusEdit->setText(kStateUnconnected);
        statusEdit->setStyleSheet(QString());
    }
#endif
}

void Iec61850View::stopFilingSclLines() {
#ifdef KORVAN_WITH_SCL
    if (sclLoad && sclLoad->phase == SclLoad::Phase::Filing) {
        dropSclLoad();
    }
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
        // The file is opened off the window's thread; the comparison follows once it is.
        const std::shared_ptr<SclLoad> before = sclLoad;
        openSclClicked();
        if (sclLoad && sclLoad != before) {
            sclLoad->thenCompare = true;
        }
        return;
    }
    const QString path = sclPath;
    const QString host = ipEdit->text();
    const int port = portEdit->text().toInt();
    const QString ied = sclIed;
    const QString title =
        QStringLiteral("%1:%2 with %3 (%4)").arg(host).arg(port).arg(QFileInfo(sclPath).fileName(), ied);
    auto result = std::make_shared<QVector<SclDifference>>();
    auto failure = std::make_shared<QString>();
    auto notLoaded = std::make_shared<QString>();
    // A large file takes a while to read as well: that too happens off the window's thread.
    compareSclButton->setDisabled(true);
    emit setStatusBarMessage(tr("Comparing %1...").arg(title));
    sclWorker = startSclWorker(
        [path, host, port, ied, result, failure, notLoaded] {
            const std::shared_ptr<const SclModel> file = SclModel::open(path, notLoaded.get());
            if (file) {
                file->compareWithDevice(host, port, ied, result.get(), failure.get());
            }
        },
        [this, title, result, failure, notLoaded] {
            sclWorker = nullptr;
            compareSclButton->setEnabled(true);
            if (!notLoaded->isEmpty()) {
                emit setStatusBarMessage(tr("SCL file not loaded: %1").arg(*notLoaded));
                return;
            }
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
#endif
}

void Iec61850View::finishSclWork() {
#ifdef KORVAN_WITH_SCL
    // An open under way stops at its next logical node; one given up earlier may still be reading.
    if (sclLoad) {
        sclLoad->cancelled = true;
        sclLoad.reset();
    }
#endif
    for (QThread* worker : sclThreads) {
        QObject::disconnect(worker, nullptr, this, nullptr);
        worker->wait();
        delete worker;
    }
    sclThreads.clear();
    sclWorker = nullptr;
    sclSaveWorker = nullptr;
}

}  // namespace iec61850
