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
#include "expansionmemory.h"
#include "iec61850network.h"
#include "naturalorder.h"
#include "objectreference.h"
#include "reportlogmodel.h"
#include "treemodel.h"

#include "viewdetail.h"

namespace iec61850 {

using namespace viewdetail;

// Every part carries its member name as object name, so style sheets and tests can find it.
void Iec61850View::makeConnectBox() {
    connectBox = new QGroupBox(tr("Connection"));
    connectBox->setObjectName("connectBox");
    auto* ipLabel = new QLabel("IP: ");
    ipEdit = new QLineEdit;
    ipEdit->setObjectName("ipEdit");
    auto* portLabel = new QLabel("Port: ");
    portEdit = new QLineEdit(kDefaultPort);
    portEdit->setObjectName("portEdit");
    portEdit->setValidator(new QIntValidator(0, 65535, this));
    connectButton = new QPushButton(tr("Connect"));
    connectButton->setObjectName("connectButton");
    disconnectButton = new QPushButton(tr("Disconnect"));
    disconnectButton->setObjectName("disconnectButton");
    auto* statusLabel = new QLabel("Status: ");
    statusEdit = new QLineEdit;
    statusEdit->setObjectName("statusEdit");
    statusEdit->setPlaceholderText("Status");
    statusEdit->setReadOnly(true);

    auto* layout = new QGridLayout(connectBox);
    layout->addWidget(connectButton, 0, 0);
    layout->addWidget(disconnectButton, 0, 1);
    layout->addWidget(ipLabel, 0, 2);
    layout->addWidget(ipEdit, 0, 3);
    layout->addWidget(portLabel, 0, 4);
    layout->addWidget(portEdit, 0, 5);
    layout->addWidget(statusLabel, 0, 6);
    layout->addWidget(statusEdit, 0, 7);
    filesButton = new QPushButton(tr("Files"));
    filesButton->setObjectName("filesButton");
    logsButton = new QPushButton(tr("Logs"));
    logsButton->setObjectName("logsButton");
    layout->addWidget(filesButton, 0, 8);
    layout->addWidget(logsButton, 0, 9);
    connect(filesButton, &QPushButton::clicked, this, &Iec61850View::filesClicked);
    connect(logsButton, &QPushButton::clicked, this, &Iec61850View::logsClicked);

    connect(ipEdit, &QLineEdit::returnPressed, this, &Iec61850View::connectClicked);
    connect(portEdit, &QLineEdit::returnPressed, this, &Iec61850View::connectClicked);
}

void Iec61850View::getRegistryValue() {
    settings.beginGroup(objectName());
    ipEdit->setText(settings.value(kSettingIp, QString()).toString());
    naturalOrderCheck->setChecked(settings.value(kSettingNaturalOrder, false).toBool());
    portEdit->setText(settings.value(kSettingPort, kDefaultPort).toString());
    settings.endGroup();
}

void Iec61850View::disableConnectBox(bool disable) {
    connectButton->setDisabled(disable);
    ipEdit->setDisabled(disable);
    portEdit->setDisabled(disable);
    disconnectButton->setDisabled(disable);
}

void Iec61850View::connectClicked() {
    stopFilingSclLines();
    expandCombo->clear();
    expandCombo->addItem("<Select>");
    expandCombo->setDisabled(true);
    readyCheck->setChecked(false);
    controlModel->resetTree();
    expansionMemory->connecting(ipEdit->text() + QLatin1Char(':') + portEdit->text());
    structureModel->resetTree();
    reportLog->clear();
    showHeldCount();
    packetsEdit->setText("0");
    lastPollLabel->setText("Never poll");
    achievedPeriodLabel->clear();

    settings.beginGroup(objectName());
    settings.setValue(kSettingIp, ipEdit->text());
    settings.setValue(kSettingPort, portEdit->text());
    settings.endGroup();

    disableConnectBox(true);
    // A long discovery can be stopped: Disconnect ends the walk and the association.
    disconnectButton->setEnabled(true);
    emit doConnect(ipEdit->text(), portEdit->text().toInt(nullptr, 10));
}

void Iec61850View::disconnectClicked() {
    pollTimer->stop();
    newValueTimer->stop();
    // Reads of a Read all not yet asked for would only wait behind the association's end.
    unsentReadAlls.clear();
    emit doDisconnect();
    disableConnectBox(false);
    controlButton->setDisabled(true);
    enableDisableButton->setDisabled(true);
    readAllButton->setDisabled(true);
    addRemoveButton->setDisabled(true);
    addRemoveButton->setText("Add to poll");
    startStopPollButton->setDisabled(true);
    startStopPollButton->setText("Start polling");
    dialogStartStopButton->setDisabled(true);
    dialogStartStopButton->setText("Start polling");
    controlDialog->hide();
}

void Iec61850View::connectionStateChanged(bool state) {
    const QString status = statusEdit->text();
    endProgressWith(state);
    if (state) {
        readAllButton->setEnabled(true);
    }
    if (state && status == kStateConnected) {
        return;
    }
    if (state && status == kStateWaiting) {
        statusEdit->setText(kStateConnected);
        statusEdit->setStyleSheet("background-color: lime; color: black;");
        // The walk's values all came before its end: Ready, unless reads asked for meanwhile are still
        // out (their end sets it).
        if (nothingPending()) {
            readyCheck->setChecked(true);
        }
        disconnectButton->setEnabled(true);
        if (naturalOrderCheck->isChecked()) {
            NaturalOrder::apply(structureModel, true);
        }
        // A list emptied since it was last polled has nothing to resume.
        if (pollModel->invisibleRootItem()->rowCount() == 0) {
            pollRefs.clear();
        }
        if (!pollRefs.isEmpty()) {
            if (isInvalidRefExist(pollRefs)) {
                pollRefs.clear();
                pollModel->resetTree();
            } else {
                startStopPollButton->setEnabled(true);
                dialogStartStopButton->setEnabled(true);
                startStopPollButtonClicked();
            }
        }
        return;
    }
    if (state) {
        expandCombo->setEnabled(true);
        statusEdit->setText(kStateWaiting);
        statusEdit->setStyleSheet("background-color: yellow; color: black;");
        return;
    }
    // The quiet timer may have been about to set Ready after the last values of a connected device; it
    // stops with the association, and no answer is awaited any more, so Ready is set here instead.
    const bool readyDue = newValueTimer->isActive() && status == kStateConnected;
    statusEdit->setText(kStateUnconnected);
    statusEdit->setStyleSheet("background-color: red; color: white;");
    disconnectClicked();
    if (readyDue && nothingPending()) {
        readyCheck->setChecked(true);
    }
    QMessageBox::information(this, tr("Notice"), tr("IEC61850 disconnected."), QMessageBox::Ok,
                             QMessageBox::NoButton);
}

void Iec61850View::paintEvent(QPaintEvent* event) {
    // Lets a style-sheet background set on the view show.
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    QWidget::paintEvent(event);
}

}  // namespace iec61850
