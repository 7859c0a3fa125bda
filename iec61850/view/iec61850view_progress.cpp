#include "iec61850view.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "iec61850network.h"
#include "viewdetail.h"

namespace iec61850 {

using namespace viewdetail;

void Iec61850View::makeProgressBar() {
    progressBar = new QProgressBar;
    progressBar->setObjectName("progressBar");
    progressBar->setVisible(false);
    // Work that can be stopped from the window (opening a configuration file) puts its button beside
    // the bar.
    progressCancelButton = new QPushButton(tr("Cancel"));
    progressCancelButton->setObjectName("progressCancelButton");
    progressCancelButton->setVisible(false);
    auto* row = new QWidget;
    auto* rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->addWidget(progressBar, 1);
    rowLayout->addWidget(progressCancelButton);
    if (auto* layout = qobject_cast<QGridLayout*>(structureBox->layout())) {
        layout->addWidget(row, layout->rowCount(), 0);
    }
    connect(progressCancelButton, &QPushButton::clicked, this, &Iec61850View::cancelSclLoadClicked);
}

void Iec61850View::endProgressWith(bool state) {
    // Called before the state is shown (and before the notice of a lost association waits for the
    // user): a second "true" while waiting for data is the end of the walk.
    if (!state || statusEdit->text() == kStateWaiting) {
        discoveryTotal = 0;
        if (!state) {
            readAllsRunning = 0;
        }
        showProgress();
    }
}

void Iec61850View::discoveryProgress(int done, int total) {
    discoveryDone = done;
    discoveryTotal = done < total ? total : 0;
    showProgress();
}

void Iec61850View::showProgress() {
    if (discoveryTotal > 0) {
        progressBar->setRange(0, discoveryTotal);
        progressBar->setValue(discoveryDone);
        progressBar->setFormat(tr("Discovery: %v of %m logical nodes"));
        progressBar->setVisible(true);
    } else if (readAllsRunning > 0) {
        progressBar->setRange(0, 0);  // the reads' count is the engine's; the bar only says it works
        progressBar->setFormat(tr("Read all"));
        progressBar->setVisible(true);
    } else if (showSclLoadProgress()) {
        progressCancelButton->setVisible(true);
        progressBar->setVisible(true);
        return;
    } else {
        progressBar->setVisible(false);
    }
    progressCancelButton->setVisible(false);
}

}  // namespace iec61850
