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

namespace iec61850 {

namespace {

// The status text is the view's connection state.
const QString kStateWaiting = QStringLiteral("Connected. Waiting for data...");
const QString kStateConnected = QStringLiteral("ConnectedState");
const QString kStateUnconnected = QStringLiteral("UnconnectedState");

const QString kSettingIp = QStringLiteral("ip");
const QString kSettingPort = QStringLiteral("port");
const QString kDefaultPort = QStringLiteral("102");

constexpr int kNewValueQuietMs = 200;
constexpr int kReadAfterOperateMs = 1000;

// Select-before-operate attributes are written, never read.
const QString kSelectTag = QStringLiteral("SBO");
const QString kReportEnableTag = QStringLiteral("RptEna");

// Report control block states read from RptEna: a non-zero number means enabled.
QString enableCaption(const QString& rptEnaValue) {
    return rptEnaValue.toInt(nullptr, 10) != 0 ? QStringLiteral("Disable") : QStringLiteral("Enable");
}

QString valueText(const QStandardItem* nameItem) {
    return nameItem->index().siblingAtColumn(1).data().toString();
}

}  // namespace

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

    network->moveToThread(&networkThread);
    networkThread.start(QThread::InheritPriority);
}

Iec61850View::~Iec61850View() {
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
    connect(this, &Iec61850View::readValue, network, &Iec61850Network::readValue);
    connect(this, &Iec61850View::enableDisableReport, network, &Iec61850Network::enableDisableReport);
    connect(controlDialog, &ControlDialog::controlSelect, network, &Iec61850Network::controlSelect);
    connect(controlDialog, &ControlDialog::controlSelectWithValue, network,
            &Iec61850Network::controlSelectWithValue);
    connect(controlDialog, &ControlDialog::controlCancel, network, &Iec61850Network::controlCancel);
    connect(controlDialog, &ControlDialog::controlOperateBool, network, &Iec61850Network::controlOperateBool);
    connect(controlDialog, &ControlDialog::controlOperateBool, this, &Iec61850View::controlOperateDone);
    connect(controlDialog, &ControlDialog::controlOperateInt, network, &Iec61850Network::controlOperateInt);
    connect(controlDialog, &ControlDialog::controlOperateInt, this, &Iec61850View::controlOperateDone);
    connect(this, &Iec61850View::addItem, structureModel, &TreeModel::addItem);
    connect(network, &Iec61850Network::newDataLine, this, &Iec61850View::renameForView);
    connect(network, &Iec61850Network::connectionStateChanged, this, &Iec61850View::connectionStateChanged);
    connect(network, &Iec61850Network::addReport, this, &Iec61850View::addReport);
    connect(network, &Iec61850Network::updateValue, this, &Iec61850View::updateValue);
    connect(network, &Iec61850Network::setStatusBarMessage, this, &Iec61850View::setStatusBarMessage);
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

// --- connection box ---------------------------------------------------------------------------------

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

    connect(ipEdit, &QLineEdit::returnPressed, this, &Iec61850View::connectClicked);
    connect(portEdit, &QLineEdit::returnPressed, this, &Iec61850View::connectClicked);
}

void Iec61850View::getRegistryValue() {
    settings.beginGroup(objectName());
    ipEdit->setText(settings.value(kSettingIp, QString()).toString());
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
    expandCombo->clear();
    expandCombo->addItem("<Select>");
    expandCombo->setDisabled(true);
    readyCheck->setChecked(false);
    controlModel->resetTree();
    structureModel->resetTree();
    reportModel->removeRows(0, reportModel->rowCount());
    packetsEdit->setText("0");
    lastPollLabel->setText("Never poll");

    settings.beginGroup(objectName());
    settings.setValue(kSettingIp, ipEdit->text());
    settings.setValue(kSettingPort, portEdit->text());
    settings.endGroup();

    disableConnectBox(true);
    emit doConnect(ipEdit->text(), portEdit->text().toInt(nullptr, 10));
}

void Iec61850View::disconnectClicked() {
    pollTimer->stop();
    newValueTimer->stop();
    emit doDisconnect();
    disableConnectBox(false);
    controlButton->setDisabled(true);
    enableDisableButton->setDisabled(true);
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
    if (state && status == kStateConnected) {
        return;
    }
    if (state && status == kStateWaiting) {
        statusEdit->setText(kStateConnected);
        statusEdit->setStyleSheet("background-color: lime; color: black;");
        readyCheck->setChecked(true);
        disconnectButton->setEnabled(true);
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
    statusEdit->setText(kStateUnconnected);
    statusEdit->setStyleSheet("background-color: red; color: white;");
    disconnectClicked();
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

// --- structure box ----------------------------------------------------------------------------------

void Iec61850View::makeStructureBox() {
    structureBox = new QGroupBox(tr("Structure"));
    structureBox->setObjectName("structureBox");
    structureModel = new TreeModel(this);
    structureModel->setHorizontalHeaderLabels({"Structure", "Value"});
    structureView = new QTreeView;
    structureView->setObjectName("structureView");
    structureView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    structureView->setModel(structureModel);
    structureView->header()->setStretchLastSection(true);
    structureView->setColumnWidth(0, 200);

    readyCheck = new QCheckBox(tr("Ready"));
    readyCheck->setObjectName("readyCheck");
    readyCheck->setChecked(true);
    readyCheck->setAttribute(Qt::WA_TransparentForMouseEvents);

    auto* expandLabel = new QLabel("Expand:");
    expandCombo = new QComboBox;
    expandCombo->setObjectName("expandCombo");
    expandCombo->setView(new QListView(expandCombo));

    addRemoveButton = new QPushButton(tr("Add to poll"));
    addRemoveButton->setObjectName("addRemoveButton");
    addRemoveButton->setDisabled(true);
    startStopPollButton = new QPushButton(tr("Start polling"));
    startStopPollButton->setObjectName("startStopPollButton");
    startStopPollButton->setDisabled(true);
    openPollListButton = new QPushButton(tr("Open poll list"));
    openPollListButton->setObjectName("openPollListButton");

    auto* packetsLabel = new QLabel("Packets: ");
    packetsEdit = new QLineEdit;
    packetsEdit->setObjectName("packetsEdit");
    packetsEdit->setReadOnly(true);

    auto* topRow = new QGridLayout;
    topRow->setHorizontalSpacing(10);
    topRow->addWidget(expandLabel, 0, 0);
    topRow->addWidget(expandCombo, 0, 1);
    topRow->addWidget(packetsLabel, 0, 2);
    topRow->addWidget(packetsEdit, 0, 3);
    topRow->addWidget(readyCheck, 0, 4, Qt::AlignRight);

    auto* bottomRow = new QGridLayout;
    bottomRow->setHorizontalSpacing(10);
    bottomRow->addWidget(addRemoveButton, 0, 0);
    bottomRow->addWidget(startStopPollButton, 0, 1);
    bottomRow->addWidget(openPollListButton, 0, 2);

    auto* layout = new QGridLayout(structureBox);
    layout->setVerticalSpacing(10);
    layout->addLayout(topRow, 0, 0);
    layout->addWidget(structureView, 1, 0);
    layout->addLayout(bottomRow, 2, 0);
}

void Iec61850View::renameForView(const QString& dataString, const QString& refString, const QString& fcString,
                                 int layer) {
    const QString text = fcString + " " + dataString;
    if (expandCombo->count() == layer) {
        expandCombo->addItem("Layer " + QString::number(layer));
    }
    emit addItem(text, refString, layer);
}

void Iec61850View::updateValue(const QString& refString, const QString& valueString) {
    newValueTimer->start();
    structureModel->setValue(refString, valueString, false);
    controlModel->setValue(refString, valueString, false);
    pollModel->setValue(refString, valueString, false);

    if (statusEdit->text() == kStateConnected) {
        packetsEdit->setText(QString::number(packetsEdit->text().toInt() + 1));
    }

    const QStandardItem* line = structureModel->itemOf(refString);
    if (line != nullptr && line->text().contains(kReportEnableTag) && enableDisableButton->isEnabled()) {
        enableDisableButton->setText(enableCaption(valueString));
    }
}

void Iec61850View::timerNewValueHandler() {
    readyCheck->setChecked(true);
}

void Iec61850View::readClicked() {
    QStandardItem* top = controlModel->item(0, 0);
    if (top == nullptr) {
        return;
    }
    readyCheck->setChecked(false);
    readAllValues(controlModel->referenceOf(top));
}

void Iec61850View::readAllValues(const QString& ref) {
    for (const QString& r : getItemRefWithValue(ref, QString())) {
        if (!r.contains(kSelectTag)) {
            emit readValue(r);
        }
    }
}

QStringList Iec61850View::getItemRefWithValue(const QString& ref, const QString& filter) {
    QStringList result;
    QStandardItem* item = structureModel->itemOf(ref);
    if (item == nullptr) {
        return result;
    }
    if ((filter.isEmpty() || item->text().contains(filter)) && !valueText(item).isEmpty()) {
        result.append(ref);
    }
    for (int row = 0; row < item->rowCount(); ++row) {
        result += getItemRefWithValue(structureModel->referenceOf(item->child(row, 0)), filter);
    }
    return result;
}

void Iec61850View::structureViewClicked() {
    const QModelIndexList rows = structureView->selectionModel()->selectedRows(0);
    if (rows.isEmpty()) {
        return;
    }
    controlModel->resetTree();
    enableDisableButton->setDisabled(true);
    controlButton->setDisabled(true);
    selectedRefs.clear();

    QStandardItem* item = structureModel->itemFromIndex(rows.first());
    updateControlBox(item, 1);

    const QString ref = structureModel->referenceOf(item);
    addRemoveButton->setText(pollModel->itemOf(ref) != nullptr ? "Remove from poll" : "Add to poll");
    addRemoveButton->setEnabled(true);
}

// --- control box ------------------------------------------------------------------------------------

void Iec61850View::makeControlBox() {
    controlBox = new QGroupBox(tr("Control"));
    controlBox->setObjectName("controlBox");
    controlModel = new TreeModel(this);
    controlModel->setHorizontalHeaderLabels({"Structure", "Value"});
    controlView = new QTreeView;
    controlView->setObjectName("controlView");
    controlView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    controlView->setModel(controlModel);
    controlView->header()->setStretchLastSection(true);
    controlView->setColumnWidth(0, 200);

    readAllButton = new QPushButton(tr("Read all"));
    readAllButton->setObjectName("readAllButton");
    enableDisableButton = new QPushButton(tr("Enable/Disable"));
    enableDisableButton->setObjectName("enableDisableButton");
    enableDisableButton->setDisabled(true);
    controlButton = new QPushButton(tr("Control"));
    controlButton->setObjectName("controlButton");
    controlButton->setDisabled(true);

    auto* layout = new QGridLayout(controlBox);
    layout->addWidget(controlView, 0, 0, 1, -1);
    layout->addWidget(controlButton, 1, 0);
    layout->addWidget(enableDisableButton, 1, 1);
    layout->addWidget(readAllButton, 1, 2);
}

void Iec61850View::updateControlBox(QStandardItem* item, int layer) {
    const QString ref = structureModel->referenceOf(item);
    selectedRefs.append(ref);
    const QString text = item->data(Qt::DisplayRole).toString();
    controlModel->addItem(text, ref, layer);
    const QString value = valueText(item);
    controlModel->setValue(ref, value, false);

    if (QStandardItem* copy = controlModel->itemOf(ref)) {
        controlView->setExpanded(copy->index(), structureView->isExpanded(item->index()));
    }

    if (layer == 2 && text.contains(kReportEnableTag)) {
        enableDisableButton->setEnabled(true);
        enableDisableButton->setText(enableCaption(value));
        selectedRcbFc = extractFc(text).mid(1, 2);
    }

    if (layer == 1 && text.contains("[CO] Oper")) {
        controlDialog->setObjectReference(structureModel->referenceOf(item->parent()));
        QStringList parts = ref.split('.', Qt::KeepEmptyParts);
        parts.last() = "ctlModel";
        const QStandardItem* ctlModelLine = structureModel->itemOf(parts.join('.'));
        const QString ctlModelText = ctlModelLine != nullptr ? valueText(ctlModelLine) : QString();
        controlButton->setEnabled(true);
        static const QStringList kModelNames{"Status only", "Direct with normal security",
                                             "Sbo with normal security", "Direct with enhanced security",
                                             "Sbo with enhanced security"};
        for (int code = 0; code < kModelNames.size(); ++code) {
            if (ctlModelText.contains(kModelNames.at(code))) {
                controlDialog->setCtlModel(code);
                break;
            }
        }
    }

    for (int row = 0;; ++row) {
        QStandardItem* child = item->child(row, 0);
        if (child == nullptr) {
            break;
        }
        updateControlBox(child, layer + 1);
    }
}

void Iec61850View::controlOperateDone(const QString& controllableDataObjectRef) {
    readyCheck->setChecked(false);
    const QString nodeRef = controllableDataObjectRef.split('.', Qt::KeepEmptyParts).first();
    QTimer::singleShot(kReadAfterOperateMs, this, [this, nodeRef]() { readAllValues(nodeRef); });
}

// --- report box -------------------------------------------------------------------------------------

void Iec61850View::makeReportBox() {
    reportBox = new QGroupBox(tr("Report"));
    reportBox->setObjectName("reportBox");
    reportModel = new QStandardItemModel(this);
    reportModel->setHorizontalHeaderLabels({"Reference", "Value"});
    reportView = new QTreeView;
    reportView->setObjectName("reportView");
    reportView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    reportView->setModel(reportModel);
    reportView->header()->setSectionResizeMode(QHeaderView::Interactive);
    reportView->setColumnWidth(0, 200);

    auto* layout = new QGridLayout(reportBox);
    layout->addWidget(reportView, 0, 0);
}

void Iec61850View::addReport(const QString& dataSetRef, QString dataRef, QStringList valueList) {
    // Report display comes with the report box's own work.
    Q_UNUSED(dataSetRef)
    Q_UNUSED(dataRef)
    Q_UNUSED(valueList)
}

void Iec61850View::enableDisableClicked() {
    if (selectedRefs.isEmpty()) {
        return;
    }
    readyCheck->setChecked(false);
    // The library names a control block with its constraint before the block's own name:
    // LD0/LLN0.urcbA under RP becomes LD0/LLN0.RP.urcbA.
    QStringList parts = selectedRefs.first().split('.', Qt::KeepEmptyParts);
    const QString blockName = parts.takeLast();
    parts << selectedRcbFc << blockName;
    emit enableDisableReport(parts.join('.'));
    readClicked();
}

// --- polling ----------------------------------------------------------------------------------------

void Iec61850View::makePollDialog() {
    pollDialog = new QDialog(this);
    pollDialog->setObjectName("pollDialog");
    pollDialog->setWindowTitle("Polling list");
    pollDialog->resize(700, 700);
    pollModel = new TreeModel(this);
    pollModel->setHorizontalHeaderLabels({"Structure", "Value"});
    pollView = new QTreeView;
    pollView->setObjectName("pollView");
    pollView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    pollView->setModel(pollModel);
    pollView->header()->setSectionResizeMode(QHeaderView::Interactive);
    pollView->setColumnWidth(0, 350);

    pollIntervalEdit = new QLineEdit;
    pollIntervalEdit->setObjectName("pollIntervalEdit");
    pollIntervalEdit->setValidator(new QIntValidator(100, 10000, pollIntervalEdit));
    pollIntervalEdit->setPlaceholderText(tr("100-10000"));
    pollIntervalEdit->setText("1000");

    dialogRemoveButton = new QPushButton(tr("Remove"));
    dialogRemoveButton->setObjectName("dialogRemoveButton");
    dialogStartStopButton = new QPushButton(tr("Start polling"));
    dialogStartStopButton->setObjectName("dialogStartStopButton");
    dialogStartStopButton->setDisabled(true);
    lastPollLabel = new QLabel("Never poll");
    lastPollLabel->setObjectName("lastPollLabel");

    auto* intervalRow = new QHBoxLayout;
    intervalRow->addWidget(new QLabel(tr("Poll interval (ms)")));
    intervalRow->addWidget(pollIntervalEdit);

    auto* layout = new QGridLayout(pollDialog);
    layout->addLayout(intervalRow, 0, 0, 1, 2);
    layout->addWidget(pollView, 1, 0, 1, 2);
    layout->addWidget(dialogRemoveButton, 2, 0);
    layout->addWidget(dialogStartStopButton, 2, 1);
    layout->addWidget(lastPollLabel, 3, 0, 1, 2, Qt::AlignRight);
}

void Iec61850View::addRemoveButtonClicked() {
    // Editing the polling list comes with the polling work.
}

void Iec61850View::updatePollDialog(QStandardItem* item, int layer) {
    Q_UNUSED(item)
    Q_UNUSED(layer)
}

void Iec61850View::dialogRemoveButtonClicked() {}

void Iec61850View::startStopPollButtonClicked() {
    if (pollTimer->isActive()) {
        pollTimer->stop();
        pollListChanged = false;
        startStopPollButton->setText("Start polling");
        dialogStartStopButton->setText("Start polling");
        return;
    }
    pollListChanged = false;
    pollRefs.clear();
    const QString interval = pollIntervalEdit->text();
    pollTimer->start(interval.isEmpty() ? 1000 : interval.toInt(nullptr, 10));
    startStopPollButton->setText("Stop polling");
    dialogStartStopButton->setText("Stop polling");
}

void Iec61850View::constructPollingLists(QStandardItem* item, bool isRoot) {
    if (!isRoot) {
        pollRefs.append(pollModel->referenceOf(item));
    }
    for (int row = 0; row < item->rowCount(); ++row) {
        constructPollingLists(item->child(row, 0), false);
    }
}

void Iec61850View::timerPollingHandler() {
    // Reading the polling list comes with the polling work.
}

bool Iec61850View::isInvalidRefExist(const QStringList& refs) {
    for (const QString& ref : refs) {
        if (structureModel->itemOf(ref) == nullptr) {
            return true;
        }
    }
    return false;
}

}  // namespace iec61850
