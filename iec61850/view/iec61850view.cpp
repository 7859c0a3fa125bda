#include "iec61850view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QStandardItem>
#include <QStandardItemModel>
#include <QStyleOption>
#include <QTimer>
#include <QTreeView>

#include "controldialog.h"
#include "iec61850network.h"
#include "objectreference.h"
#include "treemodel.h"

#include "viewdetail.h"

namespace iec61850 {

using namespace viewdetail;

Iec61850View::Iec61850View(QWidget* parent) : QWidget(parent) {
    setObjectName("IEC61850");

    network = new Iec61850Network(nullptr);
    pollTimer = new QTimer(nullptr);
    newValueTimer = new QTimer(nullptr);
    newValueTimer->setInterval(kNewValueQuietMs);
    newValueTimer->setSingleShot(true);

    controlDialog = new ControlDialog(this);

    makeConnectBox();
    makeStructureBox();
    makeProgressBar();
    makeControlBox();
    makeReportBox();
    makePollDialog();
    getRegistryValue();

    auto* layout = new QGridLayout(this);
    layout->addWidget(connectBox, 0, 0, 1, 2);
    layout->addWidget(structureBox, 1, 0, -1, 1);
    layout->addWidget(controlBox, 1, 1);
    layout->addWidget(reportBox, 2, 1);
    connectBox->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    connectSignals();
    makeWriteActions();
    makeSclButtons();
    makeSclSaveButton();

    network->moveToThread(&networkThread);
    networkThread.start(QThread::InheritPriority);
}

Iec61850View::~Iec61850View() {
    // Closing the window does not wait for a device that has stopped answering.
    network->abandonAssociation();
    finishSclWork();
    networkThread.quit();
    networkThread.wait();
    // The thread has ended, so the engine can be destroyed here. Its destructor ends an open
    // association and announces it; that announcement must not reach this half-destroyed view.
    QObject::disconnect(network, nullptr, this, nullptr);
    delete network;
    delete pollTimer;
    delete newValueTimer;
}

void Iec61850View::connectSignals() {
    // First, so that its closing of a batch comes before every other connection to the engine.
    connectAnnouncements();
    connect(connectButton, &QPushButton::clicked, this, &Iec61850View::connectClicked);
    connect(disconnectButton, &QPushButton::clicked, this, &Iec61850View::disconnectClicked);
    connect(readAllButton, &QPushButton::clicked, this, &Iec61850View::readClicked);
    connect(enableDisableButton, &QPushButton::clicked, this, &Iec61850View::enableDisableClicked);
    connect(addRemoveButton, &QPushButton::clicked, this, &Iec61850View::addRemoveButtonClicked);
    connect(dialogRemoveButton, &QPushButton::clicked, this, &Iec61850View::dialogRemoveButtonClicked);
    connect(startStopPollButton, &QPushButton::clicked, this, &Iec61850View::startStopPollButtonClicked);
    connect(dialogStartStopButton, &QPushButton::clicked, this, &Iec61850View::startStopPollButtonClicked);
    connect(controlButton, &QPushButton::clicked, controlDialog, &QDialog::show);
    connect(openPollListButton, &QPushButton::clicked, pollDialog, &QDialog::show);

    connect(this, &Iec61850View::doConnect, network, &Iec61850Network::doConnect);
    connect(this, &Iec61850View::doDisconnect, network, &Iec61850Network::disconnect);
    // A Disconnect must not wait behind reads queued for a device that has stopped answering: they are
    // dropped here and now, on this thread, and the queued disconnect() then ends the association.
    Iec61850Network* engine = network;
    connect(
        this, &Iec61850View::doDisconnect, network, [engine] { engine->abandonAssociation(); },
        Qt::DirectConnection);
    connect(this, &Iec61850View::readValue, network, &Iec61850Network::readValue);
    connect(this, &Iec61850View::enableDisableReport, network, &Iec61850Network::enableDisableReport);
    connect(controlDialog, &ControlDialog::controlSelect, network, &Iec61850Network::controlSelect);
    connect(controlDialog, &ControlDialog::controlSelectWithValue, network,
            &Iec61850Network::controlSelectWithValue);
    connect(controlDialog, &ControlDialog::controlSelectWithValueInt, network,
            &Iec61850Network::controlSelectWithValueInt);
    connect(controlDialog, &ControlDialog::controlCancel, network, &Iec61850Network::controlCancel);
    connect(controlDialog, &ControlDialog::controlChecks, network, &Iec61850Network::setControlChecks);
    connect(network, &Iec61850Network::controlResult, this, &Iec61850View::controlResultArrived);
    connect(controlDialog, &ControlDialog::controlOperateBool, network, &Iec61850Network::controlOperateBool);
    connect(controlDialog, &ControlDialog::controlOperateBool, this, &Iec61850View::controlOperateDone);
    connect(controlDialog, &ControlDialog::controlOperateInt, network, &Iec61850Network::controlOperateInt);
    connect(controlDialog, &ControlDialog::controlOperateInt, this, &Iec61850View::controlOperateDone);
    connect(this, &Iec61850View::addItem, structureModel, &TreeModel::addItem);
    connect(structureView, &QTreeView::clicked, this, &Iec61850View::structureViewClicked);
    connect(expandCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), structureView,
            [this](int index) {
                if (index > 0) {
                    structureView->expandToDepth(index - 1);
                }
            });
    connect(pollTimer, &QTimer::timeout, this, &Iec61850View::timerPollingHandler);
    connect(newValueTimer, &QTimer::timeout, this, &Iec61850View::timerNewValueHandler);
}

}  // namespace iec61850
