#include "DnsMessageBuilder.h"
#include "FakeHubLink.h"
#include "QMDns.h"
#include "RtlsMdns.h"
#include "RtlsMdnsService.h"

#include <QFile>
#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QPointer>
#include <QProcess>
#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>

#include <memory>

// Discovery on its real ports inside a private network namespace (veth pair
// 192.0.2.1 / 192.0.2.2): the full time line with nobody answering, an
// independent multicast DNS responder (python3-zeroconf), broadcast answers
// from several masters, the simulator, and QMDns against a responder socket.
class TestDiscoveryNetns : public QObject
{
    Q_OBJECT

private slots:
    void nothingOnTheNetwork();
    void zeroconfResponder_data();
    void zeroconfResponder();
    void severalBroadcastAnswers();
    void destroyedWhileSearching();
    void mdnsPortHeldExclusively();
    void qmdnsQuestionAndAnswer();
    void simulator_data();
    void simulator();

private:
    static std::unique_ptr<QProcess> startUntilReady(const QString &program, const QStringList &args);
};

namespace {

const quint32 kVa = 0xC0000201;  // 192.0.2.1
const quint32 kVb = 0xC0000202;  // 192.0.2.2
const char kBroadcastLine[] = "Looking for masters using broadcast";

struct ProcessStopper
{
    void operator()(QProcess *process) const
    {
        process->terminate();
        if (!process->waitForFinished(5000))
            process->kill();
        process->waitForFinished(5000);
        delete process;
    }
};

} // namespace

std::unique_ptr<QProcess> TestDiscoveryNetns::startUntilReady(const QString &program, const QStringList &args)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(program, args);
    if (!process->waitForStarted(10000))
        return nullptr;
    QByteArray output;
    while (!output.contains("READY")) {
        if (!process->waitForReadyRead(20000))
            return nullptr;
        output += process->readAllStandardOutput();
    }
    return process;
}

void TestDiscoveryNetns::nothingOnTheNetwork()
{
    FakeHubLink link;
    RtlsMdnsService service;
    QSignalSpy detected(&service, &RtlsMdnsService::masterDetectedSignal);
    QSignalSpy timedOut(&service, &RtlsMdnsService::scanTimeout);

    service.scanMaster();
    QCOMPARE(link.lines, QStringList{"mDNS query for _svc_sentrova._tcp.local."});
    QTRY_VERIFY_WITH_TIMEOUT(link.lines.contains(kBroadcastLine), 15000);
    QCOMPARE(timedOut.count(), 0);
    QVERIFY(timedOut.wait(15000));
    QCOMPARE(link.lines, (QStringList{"mDNS query for _svc_sentrova._tcp.local.", kBroadcastLine,
                                      "mDNS query timed out"}));
    QCOMPARE(detected.count(), 0);
}

void TestDiscoveryNetns::zeroconfResponder_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("server");
    QTest::addColumn<bool>("found");

    QTest::newRow("address under the instance name") << "[sentrova:0123456789ABCDEF]" << QString() << true;
    QTest::newRow("address under a host name") << "[sentrova:0123456789ABCDEF]" << "sentrova-master.local."
                                               << true;
    QTest::newRow("plain host label") << "master" << "master.local." << false;
}

void TestDiscoveryNetns::zeroconfResponder()
{
    QFETCH(QString, label);
    QFETCH(QString, server);
    QFETCH(bool, found);

    QStringList args{SENTROVA_SOURCE_DIR "/tests/Discovery/zeroconf_responder.py", "--label", label,
                     "--address", "192.0.2.2"};
    if (!server.isEmpty())
        args << "--server" << server;
    // The responder holds port 5353 first, as a system responder would.
    std::unique_ptr<QProcess, ProcessStopper> responder(startUntilReady("/usr/bin/python3", args).release());
    QVERIFY2(responder, "python3-zeroconf responder did not start");

    FakeHubLink link;
    RtlsMdnsService service;
    QSignalSpy detected(&service, &RtlsMdnsService::masterDetectedSignal);
    QSignalSpy timedOut(&service, &RtlsMdnsService::scanTimeout);
    service.scanMaster();
    if (found) {
        QVERIFY(detected.wait(15000));
        QCOMPARE(detected.first().at(0).toUInt(), kVb);
        QVERIFY(!link.lines.contains(kBroadcastLine));
        QVERIFY(!link.lines.join('\n').contains("Unable to create socket"));
    } else {
        QVERIFY(timedOut.wait(20000));
        QCOMPARE(detected.count(), 0);
    }
}

void TestDiscoveryNetns::severalBroadcastAnswers()
{
    // Two masters share the service port; each answers from its own address.
    struct FakeMaster
    {
        QUdpSocket listener;
        QUdpSocket replier;
    };
    FakeMaster masters[2];
    const QHostAddress addresses[2] = {QHostAddress(kVa), QHostAddress(kVb)};
    for (int i = 0; i < 2; ++i) {
        QVERIFY(masters[i].listener.bind(QHostAddress::AnyIPv4, 8784,
                                         QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint));
        QVERIFY(masters[i].replier.bind(addresses[i], 0));
        FakeMaster *m = &masters[i];
        connect(&m->listener, &QUdpSocket::readyRead, &m->listener, [m] {
            while (m->listener.hasPendingDatagrams()) {
                const QNetworkDatagram request = m->listener.receiveDatagram();
                if (request.data() == "{\"command\":\"version\"}\n")
                    m->replier.writeDatagram("{\"response\":\"version\"}", request.senderAddress(),
                                             request.senderPort());
            }
        });
    }
    FakeHubLink link;
    RtlsMdnsService service;
    QSignalSpy detected(&service, &RtlsMdnsService::masterDetectedSignal);
    QVERIFY(QMetaObject::invokeMethod(&service, "mdnsTimeout"));
    QTRY_COMPARE_WITH_TIMEOUT(detected.count(), 2, 10000);
    QList<quint32> got{detected.at(0).at(0).toUInt(), detected.at(1).at(0).toUInt()};
    std::sort(got.begin(), got.end());
    QCOMPARE(got, (QList<quint32>{kVa, kVb}));
}

void TestDiscoveryNetns::destroyedWhileSearching()
{
    FakeHubLink link;
    for (int i = 0; i < 3; ++i) {
        auto service = std::make_unique<RtlsMdnsService>();
        QPointer<RtlsMdns> worker = service->findChild<RtlsMdns *>();
        QVERIFY(worker);
        QTRY_VERIFY_WITH_TIMEOUT(worker->isRunning(), 5000);
        if (i > 0)
            service->scanMaster();
        // The worker is waiting in the engine's sleep or idle; destruction
        // must wake it rather than wait for it. Waiting would take the idle
        // period or the engine's sleep, both a second or more.
        QElapsedTimer clock;
        clock.start();
        service.reset();
        QVERIFY2(clock.elapsed() < 900, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!worker);
    }
}

void TestDiscoveryNetns::mdnsPortHeldExclusively()
{
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress::AnyIPv4, 5353, QAbstractSocket::DontShareAddress));
    FakeHubLink link;
    RtlsMdnsService service;
    QTRY_VERIFY_WITH_TIMEOUT(!link.lines.isEmpty(), 10000);
    QVERIFY2(link.lines.first().startsWith("Unable to create socket: ")
                 && link.lines.first().contains("5353") && link.lines.first().contains("broadcast"),
             qPrintable(link.lines.first()));
    // The search goes on without multicast DNS.
    QSignalSpy timedOut(&service, &RtlsMdnsService::scanTimeout);
    service.scanMaster();
    QVERIFY(timedOut.wait(20000));
    QVERIFY(link.lines.contains(kBroadcastLine));
}

void TestDiscoveryNetns::qmdnsQuestionAndAnswer()
{
    QUdpSocket responder;
    QVERIFY(responder.bind(QHostAddress::AnyIPv4, 5353,
                           QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint));
    QVERIFY(responder.joinMulticastGroup(QHostAddress("224.0.0.251")));

    QMDns mdns;
    QSignalSpy results(&mdns, &QMDns::newResult);
    mdns.query("_svc_sentrova._udp.local");

    const QByteArray question = QMDns::questionMessage("_svc_sentrova._udp.local");
    QNetworkDatagram asked;
    QSignalSpy readable(&responder, &QUdpSocket::readyRead);
    for (int i = 0; i < 10 && asked.data() != question; ++i) {
        if (!responder.hasPendingDatagrams())
            QVERIFY(readable.wait(5000));
        while (responder.hasPendingDatagrams() && asked.data() != question)
            asked = responder.receiveDatagram();
    }
    QCOMPARE(asked.data(), question);
    const QString instance = "[sentrova:0123456789ABCDEF]._svc_sentrova._udp.local";
    DnsMessageBuilder answer(0x8400, 0, 2);
    answer.record("_svc_sentrova._udp.local", 12, 120, DnsMessageBuilder::name(instance));
    answer.pointer(12).fields(16, 120, "\x04" "fw=1");
    responder.writeDatagram(answer.bytes(), asked.senderAddress(), asked.senderPort());

    QVERIFY(results.wait(10000));
    const auto *response = results.first().at(0).value<QMDnsResponse *>();
    QCOMPARE(response->records().size(), 2);
    QCOMPARE(response->records().at(1).name, QStringLiteral("_svc_sentrova._udp.local"));
}

void TestDiscoveryNetns::simulator_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("byBroadcast");

    QTest::newRow("multicast DNS") << QStringList() << false;
    QTest::newRow("broadcast when mDNS is off")
        << QStringList{"--no-mdns", "--announce-port", "8799"} << true;
}

void TestDiscoveryNetns::simulator()
{
    QFETCH(QStringList, options);
    QFETCH(bool, byBroadcast);
    const QString sim = SENTROVA_BIN_DIR "/sim/sentrova-sim";
    if (!QFile::exists(sim))
        QSKIP("the simulator is not built in this tree");

    std::unique_ptr<QProcess, ProcessStopper> peer(
        startUntilReady(sim, QStringList{"--bind", "192.0.2.2", "--quiet"} + options).release());
    QVERIFY2(peer, "sentrova-sim did not start");

    FakeHubLink link;
    RtlsMdnsService service;
    QSignalSpy detected(&service, &RtlsMdnsService::masterDetectedSignal);
    service.scanMaster();
    QVERIFY(detected.wait(15000));
    const quint32 found = detected.first().at(0).toUInt();
    if (byBroadcast) {
        // The answer's source address is the kernel's choice between the
        // namespace's two local addresses.
        QVERIFY2(found == kVa || found == kVb, qPrintable(QHostAddress(found).toString()));
    } else {
        // By multicast DNS the address is the one the simulator publishes.
        QCOMPARE(found, kVb);
    }
    QCOMPARE(link.lines.contains(kBroadcastLine), byBroadcast);
}

QTEST_GUILESS_MAIN(TestDiscoveryNetns)
#include "tst_discoverynetns.moc"
