// Why a connect failed, as the engine tells the status bar and ieddump: against a closed port, a server
// that never answers, one that answers something other than MMS and one that ends the association
// before it is up. Each peer is a real socket on the loopback interface.

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

#include "closedport.h"
#include "connectfailure.h"
#include "enginerig.h"

using iec61850::Iec61850Network;
using korvan::test::ClosedPort;
using korvan::test::EngineRig;

namespace {

// A TCP server on a free loopback port that treats the client's first bytes in one of a few ways.
class FakePeer : public QObject {
public:
    enum class Manner { Silent, AnswersHttp, ClosesAtOnce };

    explicit FakePeer(Manner manner) {
        server.listen(QHostAddress::LocalHost, 0);
        connect(&server, &QTcpServer::newConnection, this, [this, manner]() {
            while (QTcpSocket* client = server.nextPendingConnection()) {
                client->setParent(this);
                connect(client, &QTcpSocket::readyRead, client, [client, manner]() {
                    client->readAll();
                    if (manner == Manner::AnswersHttp) {
                        client->write("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n");
                        client->disconnectFromHost();
                    } else if (manner == Manner::ClosesAtOnce) {
                        client->abort();
                    }
                });
            }
        });
    }
    quint16 port() const { return server.serverPort(); }

private:
    QTcpServer server;
};

}  // namespace

class ConnectFailureTest : public QObject {
    Q_OBJECT

private slots:
    // Each failure ends in one reason, after the notice that a connect is under way, and before the
    // connection state turns false (ieddump exits on that and must have printed the reason first).
    void reasonsThroughTheEngine_data();
    void reasonsThroughTheEngine();
    // Reasons that need no peer at all.
    void addressesThatCannotWork();
    // A refusal reads after what was asked; the association's failures read alike for all, and no
    // failure reads as the empty text that means success to the files and logs dialogs.
    void requestRefusalsAreWordedAfterTheirSubject();
};

void ConnectFailureTest::reasonsThroughTheEngine_data() {
    QTest::addColumn<int>("manner");  // -1: nothing listens
    QTest::addColumn<QString>("reason");
    QTest::newRow("closed port") << -1 << "refused";
    QTest::newRow("silent server") << int(FakePeer::Manner::Silent)
                                   << "no answer from 127.0.0.1:%1 within 10 s";
    QTest::newRow("not MMS") << int(FakePeer::Manner::AnswersHttp) << "is not an IEC 61850/MMS server";
    QTest::newRow("association refused") << int(FakePeer::Manner::ClosesAtOnce) << "rejected the association";
}

void ConnectFailureTest::reasonsThroughTheEngine() {
    QFETCH(int, manner);
    QFETCH(QString, reason);
    std::unique_ptr<FakePeer> peer;
    std::unique_ptr<ClosedPort> closed;
    quint16 port = 0;
    if (manner < 0) {
        closed = std::make_unique<ClosedPort>();
        port = closed->port();
    } else {
        peer = std::make_unique<FakePeer>(FakePeer::Manner(manner));
        port = peer->port();
    }
    reason = reason.arg(port);

    EngineRig rig;
    QStringList events;
    QObject::connect(rig.engine(), &Iec61850Network::setStatusBarMessage, this,
                     [&events](const QString& text) { events << "status: " + text; });
    QObject::connect(rig.engine(), &Iec61850Network::connectFailed, this,
                     [&events](const QString& text) { events << "failed: " + text; });
    QObject::connect(rig.engine(), &Iec61850Network::connectionStateChanged, this,
                     [&events](bool state) { events << (state ? "state: true" : "state: false"); });
    rig.doConnect(port);
    QTRY_COMPARE_WITH_TIMEOUT(events.size(), 4, 30000);

    const QString where = QStringLiteral("127.0.0.1:%1").arg(port);
    QCOMPARE(events.at(0), "status: connecting to " + where + "...");
    QVERIFY2(events.at(1).startsWith("status: Connect failed: ") && events.at(1).contains(reason),
             qPrintable(events.at(1)));
    QCOMPARE(events.at(2), "failed: " + events.at(1).mid(QStringLiteral("status: Connect failed: ").size()));
    QCOMPARE(events.at(3), QString("state: false"));
    // One line: ieddump prints it as such.
    QVERIFY(!events.at(2).contains('\n'));
}

void ConnectFailureTest::addressesThatCannotWork() {
    // A name under a reserved top-level domain never resolves.
    QCOMPARE(iec61850::connectFailureReason(IED_ERROR_CONNECTION_REJECTED, "ied.invalid", 102, 10000),
             QString("ied.invalid: name not found"));
    QCOMPARE(iec61850::connectFailureReason(IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT, "127.0.0.1", 0, 10000),
             QString("0 is not a port number"));
}

void ConnectFailureTest::requestRefusalsAreWordedAfterTheirSubject() {
    using iec61850::requestFailureReason;
    using iec61850::RequestSubject;
    const RequestSubject subjects[] = {RequestSubject::DataSet, RequestSubject::ReportControlBlock,
                                       RequestSubject::File};
    QCOMPARE(requestFailureReason(IED_ERROR_ACCESS_DENIED, RequestSubject::DataSet),
             QString("the device keeps it"));
    QCOMPARE(requestFailureReason(IED_ERROR_ACCESS_DENIED, RequestSubject::ReportControlBlock),
             QString("access denied (reserved by another client?)"));
    QCOMPARE(requestFailureReason(IED_ERROR_ACCESS_DENIED, RequestSubject::File), QString("access denied"));
    QCOMPARE(requestFailureReason(IED_ERROR_OBJECT_EXISTS, RequestSubject::DataSet),
             QString("the name is taken"));
    QCOMPARE(requestFailureReason(IED_ERROR_TEMPORARILY_UNAVAILABLE, RequestSubject::File), QString("busy"));
    for (const RequestSubject subject : subjects) {
        QCOMPARE(requestFailureReason(IED_ERROR_CONNECTION_LOST, subject), QString("connection lost"));
        QCOMPARE(requestFailureReason(IED_ERROR_NOT_CONNECTED, subject), QString("connection lost"));
        QCOMPARE(requestFailureReason(IED_ERROR_TIMEOUT, subject), QString("no answer in time"));
        QCOMPARE(requestFailureReason(IED_ERROR_MALFORMED_MESSAGE, subject),
                 QString("error %1").arg(int(IED_ERROR_MALFORMED_MESSAGE)));
    }
    QCOMPARE(requestFailureReason(IED_ERROR_OK, RequestSubject::File), QString());
}

QTEST_GUILESS_MAIN(ConnectFailureTest)
#include "connectfailure_test.moc"
