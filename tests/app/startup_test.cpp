#include <QApplication>
#include <QFile>
#include <QImageReader>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include "startup.h"

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup();

    void styleSheetStopsAtTheFirstNul();
    void styleSheetFileThatCannotBeOpenedChangesNothing();
    void emptyStyleSheetFileInstallsAnEmptySheet();
    void shippedStyleSheetIsInstalled();
    void shippedStyleSheetRulesInOrderWithCrLf();
    void shippedIconSizes();

    void windowGoesToTheScreensCorner_data();
    void windowGoesToTheScreensCorner();
};

void StartupTest::cleanup() {
    qApp->setStyleSheet(QString());
}

void StartupTest::styleSheetStopsAtTheFirstNul() {
    QCOMPARE(styleSheetText(QByteArray("QLabel { color: white }\0QWidget { color: red }", 46)),
             QString("QLabel { color: white }"));
    QCOMPARE(styleSheetText(QByteArray("\0QWidget {}", 11)), QString());
    QCOMPARE(styleSheetText(QByteArray("QLabel { font-family: \xc3\x9c }")),
             QString::fromUtf8("QLabel { font-family: Ü }"));
}

void StartupTest::styleSheetFileThatCannotBeOpenedChangesNothing() {
    qApp->setStyleSheet("QLabel { color: white; }");
    QVERIFY(!installStyleSheet(*qApp, ":/files/no-such.css"));
    QCOMPARE(qApp->styleSheet(), QString("QLabel { color: white; }"));
}

void StartupTest::emptyStyleSheetFileInstallsAnEmptySheet() {
    QTemporaryDir dir;
    QFile empty(dir.filePath("empty.css"));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();

    qApp->setStyleSheet("QLabel { color: white; }");
    QVERIFY(installStyleSheet(*qApp, empty.fileName()));
    QCOMPARE(qApp->styleSheet(), QString());
}

void StartupTest::shippedStyleSheetIsInstalled() {
    QVERIFY(installStyleSheet(*qApp, ":/files/style.css"));
    QVERIFY(qApp->styleSheet().startsWith("QWidget{"));

    // The sheet must parse and reach widgets: a group box title turns white, a status bar text too.
    QWidget widget;
    widget.ensurePolished();
    QCOMPARE(widget.font().pointSize(), 8);
    QCOMPARE(widget.font().family(), QString("Tahoma"));
}

void StartupTest::shippedStyleSheetRulesInOrderWithCrLf() {
    QFile file(":/files/style.css");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.contains("\r\n"));
    QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));

    // Later rules override earlier ones of equal weight, so the order is part of the look: the exact-class
    // button rules come before the generic one, the hovered and selected tab after the plain tab.
    QStringList selectors;
    const QRegularExpression rule("([^{}]+)\\{[^{}]*\\}");
    for (auto it = rule.globalMatch(QString::fromUtf8(bytes)); it.hasNext();)
        selectors << it.next().captured(1).remove(QRegularExpression("\\s"));
    QCOMPARE(selectors.size(), 50);
    QCOMPARE(selectors.first(), QString("QWidget"));
    QVERIFY(selectors.indexOf(".QPushButton:disabled") < selectors.indexOf("QPushButton"));
    QVERIFY(selectors.indexOf("QTabBar::tab") <
            selectors.indexOf("QTabBar::tab:selected,QTabBar::tab:hover"));
    QVERIFY(selectors.indexOf("QAbstractScrollArea>QWidget>QWidget") <
            selectors.indexOf("QTabWidget>QWidget,QStackedWidget>QWidget"));
    QVERIFY(selectors.contains("MainWindow,QDialog"));

    // Every image the sheet names must be among the resources.
    const QRegularExpression url("url\\((:/[^)]+)\\)");
    int urls = 0;
    for (auto it = url.globalMatch(QString::fromUtf8(bytes)); it.hasNext(); ++urls) {
        const QString path = it.next().captured(1);
        QVERIFY2(QFile::exists(path), qPrintable(path));
    }
    QCOMPARE(urls, 6);
}

void StartupTest::shippedIconSizes() {
    for (const char* name : {"check", "uncheck", "check_disable", "uncheck_disable"})
        QCOMPARE(QImageReader(QString(":/icons/%1.png").arg(name)).size(), QSize(128, 128));
    for (const char* name : {"downarrow", "downarrow_disable"})
        QCOMPARE(QImageReader(QString(":/icons/%1.png").arg(name)).size(), QSize(120, 60));

    QImageReader icon(":/icons/korvan.ico");
    QCOMPARE(icon.imageCount(), 13);
    QList<int> widths;
    for (int i = 0; i < icon.imageCount(); ++i) {
        QVERIFY(icon.jumpToImage(i));
        const QImage image = icon.read();
        QVERIFY2(!image.isNull(), qPrintable(icon.errorString()));
        QCOMPARE(image.width(), image.height());
        widths << image.width();
    }
    std::sort(widths.begin(), widths.end());
    QCOMPARE(widths.first(), 16);
    QCOMPARE(widths.last(), 256);
}

void StartupTest::windowGoesToTheScreensCorner_data() {
    QTest::addColumn<QRect>("screen");
    QTest::newRow("origin") << QRect(0, 0, 1920, 1080);
    QTest::newRow("right of another screen") << QRect(1920, 0, 2560, 1440);
    QTest::newRow("below another screen") << QRect(0, 1080, 1920, 1080);
    QTest::newRow("left of the origin") << QRect(-1280, -200, 1280, 1024);
    QTest::newRow("smaller than the window") << QRect(0, 0, 800, 600);
}

void StartupTest::windowGoesToTheScreensCorner() {
    QFETCH(QRect, screen);
    QWidget window;
    placeMainWindow(window, screen);
    QCOMPARE(window.pos(), screen.topLeft());
    QCOMPARE(window.size(), QSize(1200, 990));
}

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
