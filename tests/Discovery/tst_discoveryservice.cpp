#include "FakeHubLink.h"
#include "RtlsMdnsService.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>

// Broadcast search and announcements on loopback, with a fake master that
// answers the version request: which answers count as a master, and what
// happens when the announcement port is taken.
class TestDiscoveryService : public QObject
{
    Q_OBJECT

private slots:
    void versionAnswers_data();
    void versionAnswers();
    void answerStopsTheTimeout();
    void announcement();
    void announcementPortTaken();

private:
    static RtlsMdnsService::Options loopbackOptions(quint16 masterPort);
};

namespace {
const quint32 kLoopback = 0x7F000001;
const QByteArray kValidAnswer = "{\"response\":\"version\",\"version\":\"1.0\"}\n";
} // namespace

RtlsMdnsService::Options TestDiscoveryService::loopbackOptions(quint16 masterPort)
{
    RtlsMdnsService::Options options;
    options.servicePort = masterPort;
    options.announcePort = 0;
    options.broadcastAddress = QHostAddress::LocalHost;
    options.multicastDns = false;
    return options;
}

void TestDiscoveryService::versionAnswers_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("master");

    QTest::newRow("version answer") << kValidAnswer << true;
    QTest::newRow("without line feed") << QByteArray("{\"response\":\"version\"}") << true;
    QTest::newRow("other case") << QByteArray("{\"response\":\"Version\"}") << false;
    QTest::newRow("number") << QByteArray("{\"response\":1}") << false;
    QTest::newRow("other response") << QByteArray("{\"response\":\"listAnchors\"}") << false;
    QTest::newRow("our own request") << QByteArray("{\"command\":\"version\"}\n") << false;
    QTest::newRow("array") << QByteArray("[\"response\",\"version\"]") << false;
    QTest::newRow("not JSON") << QByteArray("response version") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestDiscoveryService::versionAnswers()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, master);

    FakeHubLink link;
    QUdpSocket fakeMaster;
    QVERIFY(fakeMaster.bind(QHostAddress::LocalHost, 0));
    RtlsMdnsService service(loopbackOptions(fakeMaster.localPort()), nullptr);
    QSignalSpy detected(&service, &RtlsMdnsService::masterDetectedSignal);

    QVERIFY(QMetaObject::invokeMethod(&service, "mdnsTimeout"));
    QCOMPARE(link.lines, QStringList{"Looking for masters using broadcast"});
    QTRY_VERIFY_WITH_TIMEOUT(fakeMaster.hasPendingDatagrams(), 5000);
    const QNetworkDatagram request = fakeMaster.receiveDatagram();
    QCOMPARE(request.data(), QByteArray("{\"command\":\"version\"}\n"));

    // The valid answer that follows tells when the one under test was read.
    fakeMaster.writeDatagram(answer, request.senderAddress(), request.senderPort());
    fakeMaster.writeDatagram(kValidAnswer, request.senderAddress(), request.senderPort());
    QTRY_VERIFY_WITH_TIMEOUT(detected.count() >= 1, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(detected.count(), master ? 2 : 1, 5000);
    for (const QList<QVariant> &args : qAsConst(detected))
        QCOMPARE(args.at(0).toUInt(), kLoopback);
}

void TestDiscoveryService::answerStopsTheTimeout()
{
    FakeHubLink link;
    QUdpSocket fakeMaster;
    QVERIFY(fakeMaster.bind(QHostAddress::LocalHost, 0));
    connect(&fakeMaster, &QUdpSocket::readyRead, &fakeMaster, [&fakeMaster] {
        const QNetworkDatagram request = fakeMaster.receiveDatagram();
        fakeMaster.writeDatagram(kValidAnswer, request.senderAddress(), request.senderPort());
    });
    RtlsMdnsService service(loopbackOptions(fakeMaster.localPort()), nullptr);
    QSignalSpy detected(&service, &RtlsMdnsService::masterDetectedSignal);
    QSignalSpy timedOut(&service, &RtlsMdnsService::scanTimeout);

    service.scanMaster();
    QCOMPARE(link.lines, QStringList{"mDNS query for _svc_sentrova._tcp.local."});
    QVERIFY(detected.wait(15000));
    QCOMPARE(link.lines.last(), QStringLiteral("Looking for masters using broadcast"));
    // The pending broadcast time-out is cancelled by the answer.
    QVERIFY(!timedOut.wait(7000));
    QVERIFY(!link.lines.contains("mDNS query timed out"));
}

void TestDiscoveryService::announcement()
{
    FakeHubLink link;
    RtlsMdnsService service(loopbackOptions(1), nullptr);
    QVERIFY(service.announcePort() != 0);
    QSignalSpy detected(&service, &RtlsMdnsService::masterDetectedSignal);
    QUdpSocket master;
    master.writeDatagram("{\"response\":\"ping\"}", QHostAddress::LocalHost, service.announcePort());
    master.writeDatagram(kValidAnswer, QHostAddress::LocalHost, service.announcePort());
    QVERIFY(detected.wait(5000));
    QCOMPARE(detected.count(), 1);
    QCOMPARE(detected.at(0).at(0).toUInt(), kLoopback);
}

void TestDiscoveryService::announcementPortTaken()
{
    FakeHubLink link;
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress::AnyIPv4, 0, QAbstractSocket::DontShareAddress));
    RtlsMdnsService::Options options = loopbackOptions(1);
    options.announcePort = holder.localPort();
    RtlsMdnsService service(options, nullptr);
    QCOMPARE(service.announcePort(), quint16(0));
    QCOMPARE(link.lines.size(), 1);
    QVERIFY2(link.lines.first().startsWith(
                 QStringLiteral("Service UDP listener port failed to bind: Unable to bind to port: %1")
                     .arg(holder.localPort())),
             qPrintable(link.lines.first()));
}

QTEST_GUILESS_MAIN(TestDiscoveryService)
#include "tst_discoveryservice.moc"
