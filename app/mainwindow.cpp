#include "mainwindow.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QScrollArea>
#include <QSettings>
#include <QSharedPointer>
#include <QSpacerItem>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>

#include "appinfo.h"
#include "buildinfo.h"
#include "eventcodetranslator.h"
#include "iec61850view.h"
#include "messagelogdock.h"
#include "protocolviews.h"

namespace {

const char kLastOpenTabKey[] = "lastOpenTab";
constexpr int kStatusBarClearMs = 5000;
// The count wraps so that it never grows wide; a text seen 255 times in a row shows 0.
constexpr int kStatusCountModulus = 255;

// The About tab's only tab looks the same selected or not, so it never seems "open"; hovering alone
// highlights it.
const char kAboutTabStyleSheet[] =
    "QTabBar::tab:selected,QTabBar::tab{    color: white;    background: #454545;    border: 1px solid "
    "#00baff;    border-bottom: 0px;    height: 20px;    padding: 2px;}QTabBar{    background: red;}"
    "QTabBar::tab:hover{    color: black;    background: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1, "
    "stop: 0 #fafafa, stop: 0.4 #f4f4f4, stop: 0.5 #e7e7e7, stop: 1.0 #fafafa);}";

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    auto* centralWidget = new QWidget;

    if (AppInfo::brand() == 0) {
        setWindowTitle("Korvan");
        setWindowIcon(QIcon(":/icons/korvan.ico"));
    }

    statusBarTimer = new QTimer(this);
    statusBarTimer->setSingleShot(true);

    auto translator = QSharedPointer<EventCodeTranslator>::create();
    translator->load(":/files/events.txt", ":/files/english.lan");

    auto* modbusTcpView = new modbustcp::ModbusTcpView(translator, nullptr);
    auto* modbusRtuView = new modbusrtu::ModbusRtuView(translator, nullptr);
    auto* spaView = new spa::SpaView(translator, nullptr);
    auto* iec104View = new iec104::Iec104View(nullptr);
    auto* iec101View = new iec101::Iec101View(nullptr);
    auto* iec103View = new iec103::Iec103View(nullptr);
    auto* iec61850View = new iec61850::Iec61850View(nullptr);
    auto* dnp3TcpView = new dnp3::Dnp3TcpView(nullptr);
    auto* dnp3RtuView = new dnp3::Dnp3RtuView(nullptr);

    // Stack index and tab index are the same number.
    auto* stackedWidget = new QStackedWidget;
    const QList<QWidget*> views{iec61850View, modbusTcpView, modbusRtuView, iec103View, iec101View,
                                iec104View,   spaView,       dnp3TcpView,   dnp3RtuView};
    for (QWidget* view : views)
        stackedWidget->addWidget(view);

    // The whole stack scrolls as one, so a view larger than the window gets scroll bars.
    auto* scrollArea = new QScrollArea;
    scrollArea->setWidget(stackedWidget);
    scrollArea->setWidgetResizable(true);

    tabBar = new QTabBar;
    tabBar->setDrawBase(false);
    for (const char* label :
         {"IEC61850", "ModbusTCP", "ModbusRTU", "IEC103", "IEC101", "IEC104", "SPA", "DNP3TCP", "DNP3"})
        tabBar->addTab(label);

    auto* aboutTabBar = new QTabBar;
    connect(aboutTabBar, &QTabBar::tabBarClicked, this, &MainWindow::showAbout);
    aboutTabBar->setDrawBase(false);
    aboutTabBar->addTab(tr("About"));
    aboutTabBar->setStyleSheet(kAboutTabStyleSheet);

    auto* tabRow = new QHBoxLayout;
    tabRow->addWidget(tabBar);
    tabRow->addSpacerItem(new QSpacerItem(1, 1, QSizePolicy::MinimumExpanding, QSizePolicy::Fixed));
    tabRow->addWidget(aboutTabBar);

    auto* grid = new QGridLayout(centralWidget);
    grid->addLayout(tabRow, 0, 0);
    grid->addWidget(scrollArea, 1, 0);
    grid->setSpacing(0);
    grid->setContentsMargins(0, 0, 0, 0);
    setCentralWidget(centralWidget);

    connect(tabBar, &QTabBar::currentChanged, stackedWidget, &QStackedWidget::setCurrentIndex);
    connect(tabBar, &QTabBar::currentChanged, this, &MainWindow::currentTabChanged);
    connect(statusBarTimer, &QTimer::timeout, this, &MainWindow::statusBarTimerHandler);
    connect(modbusTcpView, &modbustcp::ModbusTcpView::setStatusBarMessage, this,
            &MainWindow::setStatusBarMessage);
    connect(modbusRtuView, &modbusrtu::ModbusRtuView::setStatusBarMessage, this,
            &MainWindow::setStatusBarMessage);
    connect(spaView, &spa::SpaView::setStatusBarMessage, this, &MainWindow::setStatusBarMessage);
    connect(iec101View, &iec101::Iec101View::setStatusBarMessage, this, &MainWindow::setStatusBarMessage);
    connect(iec104View, &iec104::Iec104View::setStatusBarMessage, this, &MainWindow::setStatusBarMessage);
    connect(iec103View, &iec103::Iec103View::setStatusBarMessage, this, &MainWindow::setStatusBarMessage);
    connect(iec61850View, &iec61850::Iec61850View::setStatusBarMessage, this,
            &MainWindow::setStatusBarMessage);

    // Texts that the status bar does not show (the DNP3 views') still reach the log.
    messageLog = new MessageLogDock(this);
    addDockWidget(Qt::BottomDockWidgetArea, messageLog);
    connect(dnp3TcpView, &dnp3::Dnp3TcpView::setStatusBarMessage, this, &MainWindow::logOnly);
    connect(dnp3RtuView, &dnp3::Dnp3RtuView::setStatusBarMessage, this, &MainWindow::logOnly);
    connect(iec61850View, &iec61850::Iec61850View::logMessage, this, &MainWindow::logOnly);

    restoreLastOpenTab();

    // From here the views that took the translator keep it alive; nobody else needs it.
    translator.reset();
}

void MainWindow::restoreLastOpenTab() {
    // An index outside the tab range is ignored by the tab bar: the first tab stays current and the
    // stored value is left for the user's next tab change to overwrite.
    tabBar->setCurrentIndex(QSettings().value(kLastOpenTabKey, 0).toInt());
}

void MainWindow::currentTabChanged(int index) {
    QSettings().setValue(kLastOpenTabKey, index);
}

void MainWindow::logOnly(const QString& text) {
    if (!text.isEmpty())
        messageLog->addMessage(QDateTime::currentDateTime(), sender() ? sender()->objectName() : QString(),
                               text);
}

void MainWindow::setStatusBarMessage(const QString& text) {
    if (text.isEmpty())
        return;
    logOnly(text);
    if (text != lastStatusMessage) {
        statusMessageCount = 0;
        lastStatusMessage = text;
    }
    statusMessageCount = (statusMessageCount + 1) % kStatusCountModulus;

    // One pass for all three fields: a text that itself holds "%1" must come out as it was sent.
    const QString source = sender() ? sender()->objectName() : QString();
    const QString line =
        QString("%1: %2 (count = %3)").arg(source, lastStatusMessage, QString::number(statusMessageCount));
    statusBar()->showMessage(line, 0);
    statusBar()->setStyleSheet("background-color: rgb(255, 0, 0);");
    statusBarTimer->start(kStatusBarClearMs);
}

void MainWindow::statusBarTimerHandler() {
    statusMessageCount = 0;
    statusBar()->showMessage(QString());
    statusBar()->setStyleSheet("background-color: rgba(0, 0, 0, 0);");
}

void MainWindow::showAbout() {
    auto* dialog = new QDialog(this);
    dialog->setWindowFlags(dialog->windowFlags() & ~Qt::WindowContextHelpButtonHint);
    dialog->setFixedSize(320, 80);

    auto* nameLabel = new QLabel(tr("%1 %2").arg(QCoreApplication::applicationName(), buildVersion()));
    nameLabel->setStyleSheet("font-weight: bold; font-size: 9pt;");
    auto* builtLabel = new QLabel(tr("Built on %3 %4").arg(buildDate(), buildTime()));
    for (QLabel* label : {nameLabel, builtLabel}) {
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setCursor(Qt::IBeamCursor);
    }

    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(nameLabel);
    layout->addWidget(builtLabel);

    dialog->exec();
    dialog->deleteLater();
}
