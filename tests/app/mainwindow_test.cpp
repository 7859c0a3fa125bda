#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QScrollArea>
#include <QSettings>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "appinfo.h"
#include "eventcodetranslator.h"
#include "iec61850view.h"
#include "mainwindow.h"
#include "messagelogdock.h"
#include "protocolviews.h"

namespace {

// The window's parts, found the way a user would see them.
struct WindowParts {
    explicit WindowParts(MainWindow& window) {
        // Only the window's own parts: the views may hold tab bars, stacks and timers of their own.
        QWidget* central = window.centralWidget();
        for (QTabBar* bar : central->findChildren<QTabBar*>(QString(), Qt::FindDirectChildrenOnly))
            (bar->count() == 1 ? aboutTabBar : tabBar) = bar;
        auto* scrollArea = central->findChild<QScrollArea*>(QString(), Qt::FindDirectChildrenOnly);
        stack = scrollArea ? qobject_cast<QStackedWidget*>(scrollArea->widget()) : nullptr;
        statusBarTimer = window.findChild<QTimer*>(QString(), Qt::FindDirectChildrenOnly);
    }

    QTabBar* tabBar = nullptr;
    QTabBar* aboutTabBar = nullptr;
    QStackedWidget* stack = nullptr;
    QTimer* statusBarTimer = nullptr;
};

const char kLastOpenTab[] = "lastOpenTab";

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void tabsAndViewsInOrder();
    void translatorOutlivesTheWindowsConstructor();
    void tabChangeSwitchesViewAndIsStored();
    void lastOpenTabRestored_data();
    void lastOpenTabRestored();

    void noStatusBarBeforeTheFirstText();
    void repeatedTextIsCounted();
    void countWrapsAfter254();
    void prefixNamesTheSendingView();
    void emptyTextChangesNothing();
    void statusBarClearsFiveSecondsAfterTheLastText();
    // Texts the status bar has cleared stay in the log, with time and tab, newest last; copy and clear.
    void messageLogKeepsEveryTextOfEveryTab();

    void aboutBox();

private:
    QTemporaryDir settingsDir;
};

void MainWindowTest::initTestCase() {
    // Never the user's own settings: everything the window stores goes into a directory that is removed
    // when the test ends.
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QCoreApplication::setOrganizationName("Veltra");
    QCoreApplication::setApplicationName("Korvan");
    AppInfo::setBrand(0);
}

void MainWindowTest::init() {
    QSettings settings;
    settings.clear();
    settings.sync();
}

void MainWindowTest::tabsAndViewsInOrder() {
    MainWindow window;
    WindowParts parts(window);
    QCOMPARE(window.windowTitle(), QString("Korvan"));
    QVERIFY(!window.windowIcon().isNull());

    QVERIFY(parts.tabBar && parts.stack);
    const QStringList labels{"IEC61850", "ModbusTCP", "ModbusRTU", "IEC103", "IEC101",
                             "IEC104",   "SPA",       "DNP3TCP",   "DNP3"};
    const QStringList classes{
        "iec61850::Iec61850View", "modbustcp::ModbusTcpView", "modbusrtu::ModbusRtuView",
        "iec103::Iec103View",     "iec101::Iec101View",       "iec104::Iec104View",
        "spa::SpaView",           "dnp3::Dnp3TcpView",        "dnp3::Dnp3RtuView"};
    QCOMPARE(parts.tabBar->count(), labels.size());
    QCOMPARE(parts.stack->count(), labels.size());
    for (int i = 0; i < labels.size(); ++i) {
        QCOMPARE(parts.tabBar->tabText(i), labels.at(i));
        QCOMPARE(parts.stack->widget(i)->metaObject()->className(), qPrintable(classes.at(i)));
    }
    QCOMPARE(parts.stack->widget(0)->objectName(), QString("IEC61850"));

    QVERIFY(parts.aboutTabBar);
    QCOMPARE(parts.aboutTabBar->tabText(0), QString("About"));
    QVERIFY(parts.aboutTabBar->styleSheet().startsWith("QTabBar::tab:selected,QTabBar::tab{"));
    QVERIFY(parts.tabBar->styleSheet().isEmpty());

    // The protocol tabs sit at the left, the About tab at the right end of the row.
    window.resize(1200, 990);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(parts.tabBar->mapTo(&window, QPoint()).x(), 0);
    const QPoint aboutEnd = parts.aboutTabBar->mapTo(&window, QPoint(parts.aboutTabBar->width(), 0));
    QCOMPARE(aboutEnd.x(), window.width());
}

void MainWindowTest::translatorOutlivesTheWindowsConstructor() {
    MainWindow window;
    auto* modbusTcp = window.findChild<modbustcp::ModbusTcpView*>();
    auto* spa = window.findChild<spa::SpaView*>();
    QVERIFY(modbusTcp && spa);
    QVERIFY(modbusTcp->translator());
    QCOMPARE(modbusTcp->translator(), spa->translator());
    QCOMPARE(spa->translator()->translate(1), QString("SYSTEM Power on"));
}

void MainWindowTest::tabChangeSwitchesViewAndIsStored() {
    MainWindow window;
    WindowParts parts(window);
    QVERIFY(!QSettings().contains(kLastOpenTab));

    parts.tabBar->setCurrentIndex(3);
    QCOMPARE(parts.stack->currentIndex(), 3);
    QCOMPARE(QSettings().value(kLastOpenTab), QVariant(3));

    parts.tabBar->setCurrentIndex(0);
    QCOMPARE(parts.stack->currentIndex(), 0);
    QCOMPARE(QSettings().value(kLastOpenTab), QVariant(0));
}

void MainWindowTest::lastOpenTabRestored_data() {
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("current");
    QTest::addColumn<QVariant>("storedAfterwards");
    QTest::newRow("first run") << QVariant() << 0 << QVariant();
    QTest::newRow("SPA") << QVariant(6) << 6 << QVariant(6);
    QTest::newRow("last tab") << QVariant(8) << 8 << QVariant(8);
    QTest::newRow("past the last tab") << QVariant(42) << 0 << QVariant(42);
    QTest::newRow("negative") << QVariant(-1) << 0 << QVariant(-1);
    QTest::newRow("not a number") << QVariant("abc") << 0 << QVariant("abc");
}

void MainWindowTest::lastOpenTabRestored() {
    QFETCH(QVariant, stored);
    QFETCH(int, current);
    QFETCH(QVariant, storedAfterwards);
    if (stored.isValid())
        QSettings().setValue(kLastOpenTab, stored);

    MainWindow window;
    WindowParts parts(window);
    QCOMPARE(parts.tabBar->currentIndex(), current);
    QCOMPARE(parts.stack->currentIndex(), current);

    // Settings read back from the store come as text; compare what a later run would read.
    QSettings settings;
    QCOMPARE(settings.contains(kLastOpenTab), storedAfterwards.isValid());
    if (storedAfterwards.isValid())
        QCOMPARE(settings.value(kLastOpenTab).toString(), storedAfterwards.toString());
}

void MainWindowTest::noStatusBarBeforeTheFirstText() {
    MainWindow window;
    auto* view = window.findChild<iec61850::Iec61850View*>();
    QVERIFY(!window.findChild<QStatusBar*>());
    emit view->setStatusBarMessage(QString());
    // The two DNP3 views are not relayed.
    emit window.findChild<dnp3::Dnp3TcpView*>()->setStatusBarMessage("Link up");
    emit window.findChild<dnp3::Dnp3RtuView*>()->setStatusBarMessage("Link up");
    QVERIFY(!window.findChild<QStatusBar*>());
    emit view->setStatusBarMessage("Connected");
    QVERIFY(window.findChild<QStatusBar*>());
}

void MainWindowTest::repeatedTextIsCounted() {
    MainWindow window;
    WindowParts parts(window);
    auto* view = window.findChild<iec61850::Iec61850View*>();

    for (int count = 1; count <= 3; ++count) {
        emit view->setStatusBarMessage("Select fail: timeout");
        QCOMPARE(window.statusBar()->currentMessage(),
                 QString("IEC61850: Select fail: timeout (count = %1)").arg(count));
    }
    QCOMPARE(window.statusBar()->styleSheet(), QString("background-color: rgb(255, 0, 0);"));
    QVERIFY(parts.statusBarTimer->isActive());
    QVERIFY(parts.statusBarTimer->isSingleShot());
    QCOMPARE(parts.statusBarTimer->interval(), 5000);

    emit view->setStatusBarMessage("Operate fail: timeout");
    QCOMPARE(window.statusBar()->currentMessage(), QString("IEC61850: Operate fail: timeout (count = 1)"));
    // Returning to an earlier text starts over as well.
    emit view->setStatusBarMessage("Select fail: timeout");
    QCOMPARE(window.statusBar()->currentMessage(), QString("IEC61850: Select fail: timeout (count = 1)"));
}

void MainWindowTest::countWrapsAfter254() {
    MainWindow window;
    auto* view = window.findChild<iec61850::Iec61850View*>();
    for (int i = 0; i < 254; ++i)
        emit view->setStatusBarMessage("tick");
    QCOMPARE(window.statusBar()->currentMessage(), QString("IEC61850: tick (count = 254)"));
    emit view->setStatusBarMessage("tick");
    QCOMPARE(window.statusBar()->currentMessage(), QString("IEC61850: tick (count = 0)"));
    emit view->setStatusBarMessage("tick");
    QCOMPARE(window.statusBar()->currentMessage(), QString("IEC61850: tick (count = 1)"));
}

void MainWindowTest::prefixNamesTheSendingView() {
    MainWindow window;
    auto* iec61850View = window.findChild<iec61850::Iec61850View*>();
    auto* modbusTcpView = window.findChild<modbustcp::ModbusTcpView*>();

    // The same text from a second view continues the count under the second view's name.
    emit iec61850View->setStatusBarMessage("Port busy");
    emit modbusTcpView->setStatusBarMessage("Port busy");
    QCOMPARE(window.statusBar()->currentMessage(), QString("ModbusTCP: Port busy (count = 2)"));

    modbusTcpView->setObjectName(QString());
    emit modbusTcpView->setStatusBarMessage("Link down");
    QCOMPARE(window.statusBar()->currentMessage(), QString(": Link down (count = 1)"));

    // Texts carry references and device messages; placeholders in them must not swallow the count.
    emit iec61850View->setStatusBarMessage("Read LD0/%1 failed at 100%2");
    QCOMPARE(window.statusBar()->currentMessage(),
             QString("IEC61850: Read LD0/%1 failed at 100%2 (count = 1)"));
    iec61850View->setObjectName("IEC%1");
    emit iec61850View->setStatusBarMessage("x");
    QCOMPARE(window.statusBar()->currentMessage(), QString("IEC%1: x (count = 1)"));
}

void MainWindowTest::emptyTextChangesNothing() {
    MainWindow window;
    WindowParts parts(window);
    auto* view = window.findChild<iec61850::Iec61850View*>();
    emit view->setStatusBarMessage("Connected");
    QTest::qWait(100);
    const int remaining = parts.statusBarTimer->remainingTime();
    emit view->setStatusBarMessage(QString());
    QCOMPARE(window.statusBar()->currentMessage(), QString("IEC61850: Connected (count = 1)"));
    QVERIFY(parts.statusBarTimer->remainingTime() <= remaining);
    emit view->setStatusBarMessage("Connected");
    QCOMPARE(window.statusBar()->currentMessage(), QString("IEC61850: Connected (count = 2)"));
}

void MainWindowTest::statusBarClearsFiveSecondsAfterTheLastText() {
    MainWindow window;
    auto* view = window.findChild<iec61850::Iec61850View*>();
    emit view->setStatusBarMessage("Connected");
    emit view->setStatusBarMessage("Connected");
    QTRY_VERIFY_WITH_TIMEOUT(window.statusBar()->currentMessage().isEmpty(), 8000);
    QCOMPARE(window.statusBar()->styleSheet(), QString("background-color: rgba(0, 0, 0, 0);"));

    // The text is remembered, but its count starts again after the bar was cleared.
    emit view->setStatusBarMessage("Connected");
    QCOMPARE(window.statusBar()->currentMessage(), QString("IEC61850: Connected (count = 1)"));
}

void MainWindowTest::aboutBox() {
    MainWindow window;
    WindowParts parts(window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QStringList texts;
    QSize size;
    Qt::WindowFlags flags;
    QString titleStyle;
    bool selectable = true;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        for (QLabel* label : dialog->findChildren<QLabel*>()) {
            texts << label->text();
            selectable = selectable && label->textInteractionFlags() == Qt::TextSelectableByMouse;
        }
        titleStyle = dialog->findChild<QLabel*>()->styleSheet();
        size = dialog->size();
        flags = dialog->windowFlags();
        dialog->accept();
    });
    QTest::mousePress(parts.aboutTabBar, Qt::LeftButton, {}, parts.aboutTabBar->tabRect(0).center());
    QTest::mouseRelease(parts.aboutTabBar, Qt::LeftButton, {}, parts.aboutTabBar->tabRect(0).center());

    QCOMPARE(texts.size(), 2);
    QVERIFY2(
        QRegularExpression("^Korvan v\\d+\\.\\d+\\.\\d+-\\d+-g[0-9a-f]{7,}$").match(texts.at(0)).hasMatch(),
        qPrintable(texts.at(0)));
    QVERIFY2(QRegularExpression("^Built on [A-Z][a-z]{2} [ 1-3]\\d \\d{4} \\d{2}:\\d{2}:\\d{2}$")
                 .match(texts.at(1))
                 .hasMatch(),
             qPrintable(texts.at(1)));
    QCOMPARE(titleStyle, QString("font-weight: bold; font-size: 9pt;"));
    QVERIFY(selectable);
    QCOMPARE(size, QSize(320, 80));
    QVERIFY(!(flags & Qt::WindowContextHelpButtonHint));

    // The box is released once closed; the window keeps no dialog around.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(window.findChildren<QDialog*>(QString(), Qt::FindDirectChildrenOnly).isEmpty());
}

void MainWindowTest::messageLogKeepsEveryTextOfEveryTab() {
    MainWindow window;
    WindowParts parts(window);
    auto* log = window.findChild<MessageLogDock*>("messageLogDock");
    QVERIFY(log != nullptr);
    auto* iec61850View = window.findChild<iec61850::Iec61850View*>();
    const QDateTime before = QDateTime::currentDateTime().addMSecs(-1);
    emit iec61850View->setStatusBarMessage("Select fail: timeout");
    emit iec61850View->setStatusBarMessage("Select fail: timeout");
    emit window.findChild<modbustcp::ModbusTcpView*>()->setStatusBarMessage("Port busy\nretrying");
    // Not on the status bar, yet kept.
    emit window.findChild<dnp3::Dnp3TcpView*>()->setStatusBarMessage("Link up");
    emit iec61850View->logMessage("Operate ok");
    emit iec61850View->setStatusBarMessage(QString());
    // A success is no alert: the status bar keeps the last status text.
    QVERIFY(window.statusBar()->currentMessage().startsWith("ModbusTCP: Port busy"));

    parts.statusBarTimer->start(1);
    QTRY_COMPARE(window.statusBar()->currentMessage(), QString());
    const QStringList lines = log->text().split('\n');
    QCOMPARE(lines.size(), 6);
    const QStringList expected{"IEC61850: Select fail: timeout",
                               "IEC61850: Select fail: timeout",
                               "ModbusTCP: Port busy",
                               "    retrying",
                               "DNP3TCP: Link up",
                               "IEC61850: Operate ok"};
    QDateTime previous = before;
    for (int i = 0; i < lines.size(); ++i) {
        QVERIFY2(lines.at(i).endsWith(expected.at(i)), qPrintable(lines.at(i)));
        if (i == 3) {
            continue;
        }
        const QDateTime shown = QDateTime::fromString(lines.at(i).left(23), "yyyy-MM-dd hh:mm:ss.zzz");
        QVERIFY2(shown.isValid() && shown >= previous, qPrintable(lines.at(i)));
        previous = shown;
    }

    log->copyToClipboard();
    QCOMPARE(QApplication::clipboard()->text(), log->text());

    // Saved for a test record: every line as shown; a place that cannot be written is refused.
    QTemporaryDir dir;
    const QString saved = dir.filePath("messages.txt");
    QVERIFY(log->saveTo(saved));
    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()), log->text() + '\n');
    QVERIFY(!log->saveTo(dir.filePath("missing/messages.txt")));
    log->clear();
    QCOMPARE(log->text(), QString());
}

QTEST_MAIN(MainWindowTest)
#include "mainwindow_test.moc"
