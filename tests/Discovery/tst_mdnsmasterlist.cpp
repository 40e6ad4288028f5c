#include "DnsMessageBuilder.h"
#include "MdnsMasterList.h"
#include "QMDnsResponse.h"

#include <QtTest>

namespace {

const QString kService = QStringLiteral("_svc_sentrova._udp.local");
const QString kInstance = QStringLiteral("[sentrova:0000000000001000]._svc_sentrova._udp.local");

QMDnsResponse response(const QByteArray &message)
{
    QMDnsResponse r(message);
    r.readRecords();
    return r;
}

} // namespace

class TestMdnsMasterList : public QObject
{
    Q_OBJECT

private slots:
    void mastersFromRecords_data();
    void mastersFromRecords();
    void laterAnswersUpdateAndDoNotDuplicate();
    void instanceId_data();
    void instanceId();
};

void TestMdnsMasterList::mastersFromRecords_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");

    QTest::newRow("PTR, SRV, A as the masters answer")
        << DnsMessageBuilder()
               .record(kService, 12, 120, DnsMessageBuilder::name(kInstance))
               .record(kInstance, 33, 120, DnsMessageBuilder::srv(8784, kInstance))
               .record(kInstance, 1, 120, DnsMessageBuilder::ipv4(0xC0000201))
               .bytes()
        << 1 << "192.0.2.1" << 8784;
    QTest::newRow("SRV with another port") << DnsMessageBuilder()
                                                  .record(kInstance, 1, 120, DnsMessageBuilder::ipv4(0x0A000005))
                                                  .record(kInstance, 33, 120, DnsMessageBuilder::srv(9000, kInstance))
                                                  .bytes()
                                           << 1 << "10.0.0.5" << 9000;
    QTest::newRow("A alone: the service port")
        << DnsMessageBuilder().record(kInstance + ".", 1, 120, DnsMessageBuilder::ipv4(0x0A000006)).bytes() << 1
        << "10.0.0.6" << 8784;
    QTest::newRow("A with a compressed owner") << [] {
        DnsMessageBuilder b;
        const int at = b.size();
        b.record(kInstance, 33, 120, DnsMessageBuilder::srv(8784, kInstance));
        b.pointer(at).fields(1, 120, DnsMessageBuilder::ipv4(0xC0000202));
        return b.bytes();
    }() << 1 << "192.0.2.2" << 8784;
    QTest::newRow("SRV alone: no address yet")
        << DnsMessageBuilder().record(kInstance, 33, 120, DnsMessageBuilder::srv(8784, kInstance)).bytes() << 0
        << "" << 0;
    QTest::newRow("another service") << DnsMessageBuilder()
                                            .record(QStringLiteral("printer._ipp._tcp.local"), 1, 120,
                                                    DnsMessageBuilder::ipv4(0x0A000007))
                                            .bytes()
                                     << 0 << "" << 0;
    QTest::newRow("the service name itself is no instance")
        << DnsMessageBuilder().record(kService, 1, 120, DnsMessageBuilder::ipv4(0x0A000008)).bytes() << 0 << "" << 0;
    QTest::newRow("A with a short address") << DnsMessageBuilder()
                                                   .record(kInstance, 1, 120, QByteArray("\x0a\x00\x00", 3))
                                                   .bytes()
                                            << 0 << "" << 0;
    QTest::newRow("SRV cut short") << DnsMessageBuilder()
                                          .record(kInstance, 1, 120, DnsMessageBuilder::ipv4(0x0A000009))
                                          .record(kInstance, 33, 120, QByteArray("\0\0\0", 3))
                                          .bytes()
                                   << 1 << "10.0.0.9" << 8784;
}

void TestMdnsMasterList::mastersFromRecords()
{
    QFETCH(QByteArray, message);
    QFETCH(int, count);
    QFETCH(QString, address);
    QFETCH(int, port);

    MdnsMasterList list(kService, 8784);
    QCOMPARE(list.add(response(message)), count > 0);
    const QVector<MdnsMasterList::Master> masters = list.masters();
    QCOMPARE(masters.size(), count);
    if (count == 0)
        return;
    QCOMPARE(masters[0].address, QHostAddress(address));
    QCOMPARE(int(masters[0].port), port);
    QCOMPARE(masters[0].instance, kInstance);
    QCOMPARE(masters[0].id, quint64(0x1000));
}

void TestMdnsMasterList::laterAnswersUpdateAndDoNotDuplicate()
{
    MdnsMasterList list(kService, 8784);
    const QByteArray first = DnsMessageBuilder().record(kInstance, 1, 120, DnsMessageBuilder::ipv4(0xC0000201)).bytes();
    QVERIFY(list.add(response(first)));
    // The same answer again (it came in on a second interface) changes nothing.
    QVERIFY(!list.add(response(first)));
    // Its answer to a question from another interface names that interface's
    // address: the master stays where it was first found.
    QVERIFY(!list.add(response(
        DnsMessageBuilder().record(kInstance.toUpper(), 1, 120, DnsMessageBuilder::ipv4(0xC0000202)).bytes())));
    QVERIFY(list.add(response(
        DnsMessageBuilder().record(kInstance, 33, 120, DnsMessageBuilder::srv(9000, kInstance)).bytes())));
    const QString second = QStringLiteral("[sentrova:0000000000002000]._svc_sentrova._udp.local");
    QVERIFY(list.add(response(DnsMessageBuilder().record(second, 1, 120, DnsMessageBuilder::ipv4(0xC0000203)).bytes())));
    const QVector<MdnsMasterList::Master> masters = list.masters();
    QCOMPARE(masters.size(), 2);
    QCOMPARE(masters[0].address, QHostAddress(QStringLiteral("192.0.2.1")));
    QCOMPARE(masters[0].port, quint16(9000));
    QCOMPARE(masters[1].id, quint64(0x2000));
}

void TestMdnsMasterList::instanceId_data()
{
    QTest::addColumn<QString>("instance");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<quint64>("id");

    QTest::newRow("sentrova pattern") << kInstance << true << quint64(0x1000);
    QTest::newRow("bare pattern") << "[00000001DEADBEEF]._sentrova._svc_sentrova._tcp.local" << true
                                  << quint64(0x1DEADBEEF);
    QTest::newRow("lower case digits") << "[sentrova:00000000abcdef01].x" << true << quint64(0xABCDEF01);
    QTest::newRow("host label") << "master1._svc_sentrova._udp.local" << false << quint64(0);
    QTest::newRow("too few digits") << "[sentrova:1000].x" << false << quint64(0);
}

void TestMdnsMasterList::instanceId()
{
    QFETCH(QString, instance);
    QFETCH(bool, ok);
    QFETCH(quint64, id);
    quint64 got = 0;
    QCOMPARE(MdnsMasterList::instanceId(instance, &got), ok);
    QCOMPARE(got, id);
}

QTEST_APPLESS_MAIN(TestMdnsMasterList)
#include "tst_mdnsmasterlist.moc"
