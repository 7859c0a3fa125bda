// The Files and Logs dialogs: made on first use, wired to the engine with queued connections.
#include "filesdialog.h"
#include "iec61850network.h"
#include "iec61850view.h"
#include "logsdialog.h"

namespace iec61850 {

void Iec61850View::filesClicked() {
    if (filesDialog == nullptr) {
        filesDialog = new FilesDialog(this);
        filesDialog->setObjectName("filesDialog");
        connect(filesDialog, &FilesDialog::listFiles, network, &Iec61850Network::listFiles);
        connect(filesDialog, &FilesDialog::downloadFiles, network, &Iec61850Network::downloadFiles);
        connect(filesDialog, &FilesDialog::deleteRemoteFile, network, &Iec61850Network::deleteRemoteFile);
        // Downloads run beside the engine's thread; the cancel reaches the one under way through a flag.
        Iec61850Network* engine = network;
        connect(filesDialog, &FilesDialog::cancelRequested, this, [engine] { engine->cancelDownloads(); });
        connect(network, &Iec61850Network::fileEntryListed, filesDialog, &FilesDialog::fileEntryListed);
        connect(network, &Iec61850Network::fileListingDone, filesDialog, &FilesDialog::fileListingDone);
        connect(network, &Iec61850Network::fileProgress, filesDialog, &FilesDialog::fileProgress);
        connect(network, &Iec61850Network::fileDownloadDone, filesDialog, &FilesDialog::fileDownloadDone);
        connect(network, &Iec61850Network::fileDeleteDone, filesDialog, &FilesDialog::fileDeleteDone);
    }
    filesDialog->show();
    filesDialog->raise();
    filesDialog->refresh();
}

void Iec61850View::logsClicked() {
    if (logsDialog == nullptr) {
        logsDialog = new LogsDialog(this);
        logsDialog->setObjectName("logsDialog");
        connect(logsDialog, &LogsDialog::findLogControlBlocks, network,
                &Iec61850Network::findLogControlBlocks);
        connect(logsDialog, &LogsDialog::queryLogByTime, network, &Iec61850Network::queryLogByTime);
        connect(logsDialog, &LogsDialog::queryLogAfter, network, &Iec61850Network::queryLogAfter);
        connect(network, &Iec61850Network::logControlBlockFound, logsDialog,
                &LogsDialog::logControlBlockFound);
        connect(network, &Iec61850Network::logEntryReceived, logsDialog, &LogsDialog::logEntryReceived);
        connect(network, &Iec61850Network::logQueryDone, logsDialog, &LogsDialog::logQueryDone);
    }
    logsDialog->show();
    logsDialog->raise();
    emit logsDialog->findLogControlBlocks();
}

}  // namespace iec61850
