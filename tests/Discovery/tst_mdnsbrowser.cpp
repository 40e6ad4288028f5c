#include "DnsMessageBuilder.h"
#include "MdnsBrowser.h"
#include "QMDnsResponse.h"

#include <QtTest>

// The multicast DNS engine and the master-following logic, fed with
// messages written here: which answers lead to a master's address and which
// do not, whatever order the records come in.
class TestMdnsBrowser : public QObject
{
    Q_OBJECT

private slots:
    void question();
    void answers_data();
    void answers();
    void wireCheck_data();
    void wireCheck();
    void masterFoundAgainOnNewSearch();
};

namespace {

const QByteArray kService = "_svc_sentrova._tcp.local.";
const QString kServiceName = "_svc_sentrova._tcp.local";
const QString kInstance = "[sentrova:0123456789ABCDEF]._svc_sentrova._tcp.local";
const quint32 kMasterIp = 0xC0000202;  // 192.0.2.2
const quint32 kOtherIp = 0xC0000203;
const quint32 kTtl = 120;
constexpr int kPtr = 12;
constexpr int kSrv = 33;
constexpr int kTxt = 16;
constexpr int kA = 1;

QByteArray fullAnswer(const QString &instance, const QString &target, quint32 ip, quint32 ptrTtl = kTtl)
{
    DnsMessageBuilder b(0x8400, 0, 1, 3);
    b.record(kServiceName, kPtr, ptrTtl, DnsMessageBuilder::name(instance));
    b.record(instance, kSrv, kTtl, DnsMessageBuilder::srv(8784, target));
    b.record(instance, kTxt, kTtl, "\x07" "fw=1.00");
    b.record(target, kA, kTtl, DnsMessageBuilder::ipv4(ip));
    return b.bytes();
}

} // namespace

void TestMdnsBrowser::question()
{
    MdnsBrowser browser(kService);
    browser.restartQuery();
    QByteArray datagram;
    quint32 ip = 0;
    quint16 port = 0;
    QVERIFY(browser.nextMessage(&datagram, &ip, &port));
    QCOMPARE(ip, 0xE00000FBu);
    QCOMPARE(port, quint16(5353));
    QString name;
    int used = 0;
    QVERIFY(QMDnsResponse::readName(datagram, 12, &name, &used));
    QCOMPARE(name, kServiceName);
    QCOMPARE(datagram.mid(12 + used, 2).toHex(), QByteArray("000c"));
}

void TestMdnsBrowser::answers_data()
{
    QTest::addColumn<QList<QByteArray>>("messages");
    QTest::addColumn<QList<quint32>>("found");

    QTest::newRow("instance with sentrova prefix")
        << QList<QByteArray>{fullAnswer(kInstance, kInstance, kMasterIp)} << QList<quint32>{kMasterIp};
    const QString second = "[0123456789ABCDEF]._sentrova._svc_sentrova._tcp.local";
    QTest::newRow("instance with _sentrova label")
        << QList<QByteArray>{fullAnswer(second, second, kMasterIp)} << QList<quint32>{kMasterIp};
    QTest::newRow("address under the SRV target host")
        << QList<QByteArray>{fullAnswer(kInstance, "master-1.local", kMasterIp)} << QList<quint32>{kMasterIp};
    QTest::newRow("plain host label ignored")
        << QList<QByteArray>{fullAnswer("master._svc_sentrova._tcp.local", "master._svc_sentrova._tcp.local",
                                        kMasterIp)}
        << QList<quint32>();
    QTest::newRow("lower-case identifier ignored")
        << QList<QByteArray>{fullAnswer("[sentrova:0123456789abcdef]._svc_sentrova._tcp.local", "m.local", kMasterIp)}
        << QList<quint32>();
    QTest::newRow("short identifier ignored")
        << QList<QByteArray>{fullAnswer("[sentrova:0123456789ABCDE]._svc_sentrova._tcp.local", "m.local", kMasterIp)}
        << QList<quint32>();
    QTest::newRow("goodbye PTR ignored") << QList<QByteArray>{fullAnswer(kInstance, "m.local", kMasterIp, 0)}
                                         << QList<quint32>();
    {
        DnsMessageBuilder b(0x8400, 0, 1);
        b.record("m.local", kA, kTtl, DnsMessageBuilder::ipv4(kMasterIp));
        QTest::newRow("address of an unknown host") << QList<QByteArray>{b.bytes()} << QList<quint32>();
    }
    {
        // SRV first, PTR last: the SRV is already cached when the PTR
        // arrives; the address comes in a later message.
        DnsMessageBuilder first(0x8400, 0, 2);
        first.record(kInstance, kSrv, kTtl, DnsMessageBuilder::srv(8784, "late.local"));
        first.record(kServiceName, kPtr, kTtl, DnsMessageBuilder::name(kInstance));
        DnsMessageBuilder later(0x8400, 0, 1);
        later.record("late.local", kA, kTtl, DnsMessageBuilder::ipv4(kOtherIp));
        QTest::newRow("records out of order, address later")
            << QList<QByteArray>{first.bytes(), later.bytes()} << QList<quint32>{kOtherIp};
    }
    {
        const QString other = "[sentrova:FEDCBA9876543210]._svc_sentrova._tcp.local";
        QTest::newRow("two masters")
            << QList<QByteArray>{fullAnswer(kInstance, "a.local", kMasterIp), fullAnswer(other, "b.local", kOtherIp)}
            << QList<quint32>{kMasterIp, kOtherIp};
    }
    {
        const QByteArray good = fullAnswer(kInstance, kInstance, kMasterIp);
        QTest::newRow("truncated answer rejected")
            << QList<QByteArray>{good.left(good.size() - 3)} << QList<quint32>();
    }
}

void TestMdnsBrowser::answers()
{
    QFETCH(QList<QByteArray>, messages);
    QFETCH(QList<quint32>, found);
    MdnsBrowser browser(kService);
    browser.restartQuery();
    QVector<quint32> got;
    for (const QByteArray &m : messages) {
        browser.receive(m, kMasterIp, 5353);
        got += browser.takeFound();
    }
    QCOMPARE(QList<quint32>(got.begin(), got.end()), found);
}

void TestMdnsBrowser::wireCheck_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<bool>("accepted");

    const QByteArray good = fullAnswer(kInstance, kInstance, kMasterIp);
    QTest::newRow("real answer") << good << true;
    QByteArray moreRecords = good;
    moreRecords[11] = 9;
    QTest::newRow("more records than bytes") << moreRecords << false;
    QByteArray manyQuestions = good;
    manyQuestions[4] = 1;
    QTest::newRow("question count far beyond the limit") << manyQuestions << false;
    {
        DnsMessageBuilder b(0x8400, 0, 1);
        b.labels("m.local").put16(kA).put16(1).put32(kTtl).put16(400).put32(kMasterIp);
        QTest::newRow("data length past the end") << b.bytes() << false;
    }
    {
        DnsMessageBuilder b(0x8400, 0, 1);
        b.record("m.local", kA, kTtl, QByteArray(3, 'x'));
        QTest::newRow("short address") << b.bytes() << false;
    }
    {
        DnsMessageBuilder b(0x8400, 0, 1);
        b.record(kInstance, kSrv, kTtl, QByteArray::fromHex("00000000"));
        QTest::newRow("SRV without target") << b.bytes() << false;
    }
    {
        DnsMessageBuilder b(0x8400, 0, 1);
        b.record(kServiceName, kPtr, kTtl, QByteArray("\x05" "abc", 4));
        QTest::newRow("PTR target running out of its data") << b.bytes() << false;
    }
    {
        DnsMessageBuilder b(0x8400, 0, 1);
        b.labels("x", false).pointer(12).fields(kA, kTtl, DnsMessageBuilder::ipv4(kMasterIp));
        QTest::newRow("pointer loop") << b.bytes() << false;
    }
    {
        DnsMessageBuilder b(0x8400, 0, 1);
        for (int i = 0; i < 5; ++i)
            b.put8(60).raw(QByteArray(60, 'n'));
        b.put8(0).fields(kA, kTtl, DnsMessageBuilder::ipv4(kMasterIp));
        QTest::newRow("name longer than 255") << b.bytes() << false;
    }
    QTest::newRow("header cut short") << good.left(11) << false;
}

void TestMdnsBrowser::wireCheck()
{
    QFETCH(QByteArray, message);
    QFETCH(bool, accepted);
    MdnsBrowser browser(kService);
    QCOMPARE(browser.receive(message, kMasterIp, 5353), accepted);
}

void TestMdnsBrowser::masterFoundAgainOnNewSearch()
{
    MdnsBrowser browser(kService);
    const QByteArray answer = fullAnswer(kInstance, "m.local", kMasterIp);
    for (int search = 0; search < 3; ++search) {
        browser.restartQuery();
        QByteArray datagram;
        quint32 ip = 0;
        quint16 port = 0;
        QVERIFY(browser.nextMessage(&datagram, &ip, &port));
        QVERIFY(browser.receive(answer, kMasterIp, 5353));
        QCOMPARE(browser.takeFound(), QVector<quint32>{kMasterIp});
    }
}

QTEST_GUILESS_MAIN(TestMdnsBrowser)
#include "tst_mdnsbrowser.moc"
