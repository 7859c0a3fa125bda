#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include "closedport.h"
#include "dumpline.h"
#include "simulatorprocess.h"

using korvan::test::ClosedPort;
using korvan::test::SimulatorProcess;

namespace {

const QString kModel = QStringLiteral(KORVAN_SOURCE_DIR "/tests/iec61850/engine/small_model.icd");

struct Run {
    int exitCode = -1;
    QStringList lines;
    QString errors;
};

Run runDump(const QStringList& arguments) {
    QProcess dump;
    dump.start(QStringLiteral(KORVAN_IEDDUMP), arguments);
    Run run;
    if (!dump.waitForFinished(120000)) {
        dump.kill();
        dump.waitForFinished();
        return run;
    }
    run.exitCode = dump.exitStatus() == QProcess::NormalExit ? dump.exitCode() : -1;
    run.errors = QString::fromUtf8(dump.readAllStandardError());
    const QByteArray output = dump.readAllStandardOutput();
    run.lines = QString::fromUtf8(output.constData(), output.size()).split('\n');
    if (run.lines.last().isEmpty()) {
        run.lines.removeLast();
    }
    return run;
}

}  // namespace

class IeddumpTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("TZ", "UTC"); }
    // A value with a line break or a tab must not split its record.
    void fieldsStayOnOneLine();
    void dumpsTheWholeModel();
    // Texts in the device's own language and arrays show as values, not as blank lines.
    void mmsStringsAndArraysShowTheirValues();
    void failedConnectionExitsWithOne();
    // A device that stops answering ends the dump with a lost connection after one unanswered request.
    void silentDeviceExitsWithOne_data();
    void silentDeviceExitsWithOne();
    void badArguments();
};

void IeddumpTest::fieldsStayOnOneLine() {
    QCOMPARE(ieddump::dumpLine({"updateValue", "LD/LN.DO.q", "QUALITY_VALIDITY_GOOD\n(0b0 0000)"}),
             QString("updateValue\tLD/LN.DO.q\tQUALITY_VALIDITY_GOOD\\n(0b0 0000)"));
    QCOMPARE(ieddump::dumpLine({"a\tb", "c\\n", "\r"}), QString("a\\tb\tc\\\\n\t\\r"));
    QCOMPARE(ieddump::dumpLine({"newDataLine", "LD0", "LD0", "", "1"}),
             QString("newDataLine\tLD0\tLD0\t\t1"));
    // The line the printer writes takes plain fields a shorter way: it must still say the same, in
    // UTF-8, whatever follows a field that needs escaping or encoding.
    QByteArray line = "stale";
    line.truncate(0);
    const QString accented = QString::fromUtf8("Gr\xc3\xbc\xc3\x9f");
    const QString controls = QStringLiteral("a") + QChar(0x7f) + QChar(0x01) + QStringLiteral("\\");
    ieddump::appendDumpLine(line, {"updateValue", accented, "", controls, "plain text", "x\ty"});
    QCOMPARE(
        line,
        (ieddump::dumpLine({"updateValue", accented, "", controls, "plain text", "x\ty"}) + '\n').toUtf8());
    QCOMPARE(line, QByteArray("updateValue\tGr\xc3\xbc\xc3\x9f\t\ta\\x7f\\x01\\\\\tplain text\tx\\ty\n"));
}

void IeddumpTest::dumpsTheWholeModel() {
    if (!SimulatorProcess::available()) {
        QSKIP("simulator not built");
    }
    SimulatorProcess simulator;
    QVERIFY2(simulator.start(kModel), simulator.errorText().c_str());
    const Run run = runDump({"127.0.0.1", QString::number(simulator.port())});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.lines.first(), QString("connectionStateChanged\ttrue"));
    QCOMPARE(run.lines.last(), QString("connectionStateChanged\ttrue"));
    QCOMPARE(run.lines.count("connectionStateChanged\ttrue"), 2);
    QVERIFY(run.lines.contains("newDataLine\tKCTRLGGIO1\tKCTRL/KCTRLGGIO1\t\t2"));
    QVERIFY(run.lines.contains("newDataLine\tctlModel\tKCTRL/LLN0.Mod.ctlModel\t[CF]\t4"));
    QVERIFY(run.lines.contains("updateValue\tKCTRL/LLN0.Mod.stVal\tOn (1)"));
    QVERIFY(
        run.lines.contains("updateValue\tKCTRL/LLN0.Mod.q\tQUALITY_VALIDITY_GOOD\\n(0b0 0000 0000 0000)"));
    QVERIFY(run.lines.contains("updateValue\tKCTRL/MMXU1.TotW.mag.f\t230.5"));
    QVERIFY(run.lines.contains("updateValue\tKCTRL/LLN0.EvBuf01.EntryID\t" + QString("\\x00").repeated(8) +
                               "\\n0x 00 00 00 00 00 00 00 00 "));
    // Every record has its fixed number of fields.
    for (const QString& line : run.lines) {
        const QString kind = line.section('\t', 0, 0);
        const int fields = line.count('\t') + 1;
        QVERIFY2((kind == "newDataLine" && fields == 5) || (kind == "updateValue" && fields == 3) ||
                     (kind == "connectionStateChanged" && fields == 2),
                 qPrintable(line));
    }
}

void IeddumpTest::mmsStringsAndArraysShowTheirValues() {
    if (!SimulatorProcess::available()) {
        QSKIP("simulator not built");
    }
    SimulatorProcess simulator;
    QVERIFY2(simulator.start(QStringLiteral(KORVAN_SOURCE_DIR "/tests/tools/ieddump/texts_and_arrays.icd")),
             simulator.errorText().c_str());
    const Run run = runDump({"127.0.0.1", QString::number(simulator.port())});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.lines.contains(QString::fromUtf8(
        "updateValue\tTLD/GGIO1.Ind1.dU\tLeistungsschalter \u00d6ffner \u2013 \u65ad\u8def\u5668")));
    QVERIFY(run.lines.contains("updateValue\tTLD/GGIO1.Har.vals\t[1.5, 2, -0.25]"));
    for (const QString& line : run.lines) {
        QVERIFY2(!line.startsWith("updateValue\t\t"), qPrintable(line));
    }
}

void IeddumpTest::failedConnectionExitsWithOne() {
    const ClosedPort closed;
    QVERIFY(closed.port() != 0);
    const Run run = runDump({"127.0.0.1", QString::number(closed.port())});
    QCOMPARE(run.exitCode, 1);
    // Standard output as before; the reason in one line on standard error.
    QCOMPARE(run.lines, QStringList{"connectionStateChanged\tfalse"});
    QVERIFY2(run.errors.startsWith("ieddump: connection to 127.0.0.1:" + QString::number(closed.port()) +
                                   " refused") &&
                 run.errors.count('\n') == 1 && run.errors.endsWith('\n'),
             qPrintable(run.errors));

    // A server that answers, but not in MMS.
    QTcpServer web;
    QVERIFY(web.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&web, &QTcpServer::newConnection, [&web]() {
        QTcpSocket* client = web.nextPendingConnection();
        QObject::connect(client, &QTcpSocket::readyRead, client, [client]() {
            client->readAll();
            client->write("HTTP/1.1 400 Bad Request\r\n\r\n");
            client->disconnectFromHost();
        });
    });
    QProcess dump;
    dump.start(QStringLiteral(KORVAN_IEDDUMP), {"127.0.0.1", QString::number(web.serverPort())});
    QTRY_COMPARE_WITH_TIMEOUT(dump.state(), QProcess::NotRunning, 30000);
    QCOMPARE(dump.exitCode(), 1);
    QCOMPARE(QString::fromUtf8(dump.readAllStandardError()),
             "ieddump: 127.0.0.1:" + QString::number(web.serverPort()) + " is not an IEC 61850/MMS server\n");
}

void IeddumpTest::silentDeviceExitsWithOne_data() {
    QTest::addColumn<int>("answered");
    QTest::newRow("association only") << 0;
    QTest::newRow("in the walk") << 3;
}

void IeddumpTest::silentDeviceExitsWithOne() {
    if (!SimulatorProcess::available()) {
        QSKIP("simulator not built");
    }
    QFETCH(int, answered);
    SimulatorProcess simulator;
    QVERIFY2(simulator.start(kModel, {"--silent-after", QString::number(answered)}),
             simulator.errorText().c_str());
    const Run run = runDump({"127.0.0.1", QString::number(simulator.port())});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.lines.first(), QString("connectionStateChanged\ttrue"));
    QCOMPARE(run.lines.last(), QString("connectionStateChanged\tfalse"));
    QCOMPARE(run.lines.count("connectionStateChanged\ttrue"), 1);
    if (answered == 0) {
        QCOMPARE(run.lines.size(), 2);
    }
    // Requests in flight when the device fell silent: at most the agreed five, and nothing after them.
    QVERIFY(simulator.pdusLogged() > answered && simulator.pdusLogged() <= answered + 5);
}

void IeddumpTest::badArguments() {
    QProcess help;
    help.start(QStringLiteral(KORVAN_IEDDUMP), {"--help"});
    QVERIFY(help.waitForFinished(30000));
    QCOMPARE(help.exitCode(), 0);
    QVERIFY(QString::fromUtf8(help.readAllStandardOutput()).startsWith("usage: ieddump HOST [PORT]"));

    QCOMPARE(runDump({}).exitCode, 2);
    QCOMPARE(runDump({"127.0.0.1", "70000"}).exitCode, 2);
    QCOMPARE(runDump({"127.0.0.1", "port"}).exitCode, 2);
    QCOMPARE(runDump({"127.0.0.1", "102", "extra"}).exitCode, 2);
}

QTEST_GUILESS_MAIN(IeddumpTest)
#include "ieddump_test.moc"
