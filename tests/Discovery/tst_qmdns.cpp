#include "DnsMessageBuilder.h"
#include "QMDns.h"
#include "QMDnsResponse.h"

#include <QSignalSpy>
#include <QtTest>

// The firmware dialog's multicast DNS client: the question it writes and the
// way it walks the records of a response, with its guards against names
// that point anywhere.
class TestQMDns : public QObject
{
    Q_OBJECT

private slots:
    void questionMessage_data();
    void questionMessage();
    void readName_data();
    void readName();
    void parse_data();
    void parse();
    void keptResponsesAreBounded();
};

void TestQMDns::questionMessage_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray header = QByteArray::fromHex("000000000001000000000000");
    const QByteArray udpLabels = QByteArray("\x0d_svc_sentrova\x04_udp\x05local\x00", 26);
    const QByteArray ptrIn = QByteArray::fromHex("000c0001");
    QTest::newRow("firmware service") << "_svc_sentrova._udp.local" << header + udpLabels + ptrIn;
    QTest::newRow("trailing dot") << "_svc_sentrova._udp.local." << header + udpLabels + ptrIn;
    QTest::newRow("label of 63") << QString(63, QLatin1Char('a')) + ".local"
                                 << header + char(63) + QByteArray(63, 'a') + "\x05local" + '\0' + ptrIn;
    QTest::newRow("label of 64 refused") << QString(64, QLatin1Char('a')) + ".local" << QByteArray();
}

void TestQMDns::questionMessage()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, expected);
    QCOMPARE(QMDns::questionMessage(name).toHex(), expected.toHex());
}

void TestQMDns::readName_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<int>("pos");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("used");

    const QByteArray first = DnsMessageBuilder().labels("master._svc_sentrova._tcp.local").bytes();
    const int second = first.size();

    QTest::newRow("plain labels") << first << 12 << true << "master._svc_sentrova._tcp.local" << second - 12;
    {
        DnsMessageBuilder b;
        b.raw(first.mid(12)).pointer(12);
        QTest::newRow("whole name by pointer") << b.bytes() << second << true
                                               << "master._svc_sentrova._tcp.local" << 2;
    }
    {
        // "svc._tcp.local" at 12, then "a.b" + pointer to "_tcp.local".
        DnsMessageBuilder b;
        b.labels("svc._tcp.local");
        const int at = b.size();
        b.labels("a.b", false).pointer(12 + 4);
        QTest::newRow("labels then pointer") << b.bytes() << at << true << "a.b._tcp.local" << 4 + 2;
    }
    {
        DnsMessageBuilder b;
        const int at = b.size();
        b.pointer(at);
        QTest::newRow("pointer to itself") << b.bytes() << at << false << QString() << 0;
    }
    {
        DnsMessageBuilder b;
        const int at = b.size();
        b.pointer(at + 2).labels("later");
        QTest::newRow("pointer forwards") << b.bytes() << at << false << QString() << 0;
    }
    {
        DnsMessageBuilder b;
        const int at = b.size();
        b.pointer(4);
        QTest::newRow("pointer into the header") << b.bytes() << at << false << QString() << 0;
    }
    {
        // A pointer back into the labels of its own name would repeat them
        // for ever, although it points backwards.
        DnsMessageBuilder b;
        b.labels("x", false);
        b.pointer(12);
        QTest::newRow("pointer loop through own labels") << b.bytes() << 12 << false << QString() << 0;
    }
    {
        // Two pointers bouncing between two names.
        DnsMessageBuilder b;
        b.labels("a", false).pointer(16);
        b.labels("b", false).pointer(12);
        QTest::newRow("pointer ping-pong") << b.bytes() << 16 << false << QString() << 0;
    }
    QTest::newRow("label past the end") << DnsMessageBuilder().put8(10).raw("abc").bytes() << 12 << false
                                        << QString() << 0;
    QTest::newRow("no zero byte") << DnsMessageBuilder().labels("abc", false).bytes() << 12 << false
                                  << QString() << 0;
    QTest::newRow("half a pointer") << DnsMessageBuilder().put8(0xC0).bytes() << 12 << false << QString() << 0;
    QTest::newRow("reserved length 64") << DnsMessageBuilder().put8(64).raw(QByteArray(64, 'a')).put8(0).bytes()
                                        << 12 << false << QString() << 0;
    QTest::newRow("position past the end") << DnsMessageBuilder().bytes() << 12 << false << QString() << 0;
    QTest::newRow("root name") << DnsMessageBuilder().put8(0).bytes() << 12 << true << QString() << 1;
}

void TestQMDns::readName()
{
    QFETCH(QByteArray, message);
    QFETCH(int, pos);
    QFETCH(bool, readable);
    QString name;
    int used = -1;
    QCOMPARE(QMDnsResponse::readName(message, pos, &name, &used), readable);
    if (readable) {
        QTEST(name, "name");
        QTEST(used, "used");
    }
}

void TestQMDns::parse_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<bool>("emitted");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<int>>("types");
    QTest::addColumn<QList<QByteArray>>("data");

    const QString instance = "[sentrova:0123456789ABCDEF]._svc_sentrova._udp.local";
    {
        DnsMessageBuilder b(0x8400, 0, 2);
        b.record("_svc_sentrova._udp.local", 12, 120, DnsMessageBuilder::name(instance));
        const QByteArray firstData = b.bytes().mid(12 + 26 + 10);
        b.pointer(12).fields(16, 120, "\x05" "a=b1");
        QTest::newRow("answer with compressed second name")
            << b.bytes() << true
            << QStringList{"_svc_sentrova._udp.local", "_svc_sentrova._udp.local"} << QList<int>{12, 16}
            << QList<QByteArray>{firstData, "\x05" "a=b1"};
    }
    {
        DnsMessageBuilder b(0x8400, 0, 1);
        b.labels("host.local").put16(1).put16(1).put32(120).put16(8).raw(QByteArray("\xc0\x00\x02", 3));
        QTest::newRow("data cut short by the end")
            << b.bytes() << true << QStringList{"host.local"} << QList<int>{1}
            << QList<QByteArray>{QByteArray("\xc0\x00\x02", 3)};
    }
    {
        DnsMessageBuilder b(0x8400, 0, 1);
        b.labels("host.local").put8(0).put8(1);
        QTest::newRow("fixed fields cut short read as zero")
            << b.bytes() << true << QStringList{"host.local"} << QList<int>{1} << QList<QByteArray>{QByteArray()};
    }
    {
        DnsMessageBuilder b(0x8400, 0, 2);
        b.record("good.local", 1, 120, DnsMessageBuilder::ipv4(0xC0000202));
        const int at = b.size();
        b.pointer(at).fields(1, 120, DnsMessageBuilder::ipv4(1));
        QTest::newRow("unreadable name ends the walk")
            << b.bytes() << true << QStringList{"good.local"} << QList<int>{1}
            << QList<QByteArray>{DnsMessageBuilder::ipv4(0xC0000202)};
    }
    QTest::newRow("header only") << DnsMessageBuilder().bytes() << true << QStringList() << QList<int>()
                                 << QList<QByteArray>();
    QTest::newRow("three bytes, flags 0x84 then missing")
        << QByteArray::fromHex("000084") << true << QStringList() << QList<int>() << QList<QByteArray>();
    QTest::newRow("query flags") << DnsMessageBuilder(0x0000).labels("x.local").fields(12, 1, "").bytes() << false
                                 << QStringList() << QList<int>() << QList<QByteArray>();
    QTest::newRow("response without authority")
        << DnsMessageBuilder(0x8000).bytes() << false << QStringList() << QList<int>() << QList<QByteArray>();
    QTest::newRow("truncated response flag")
        << DnsMessageBuilder(0x8600).bytes() << false << QStringList() << QList<int>() << QList<QByteArray>();
    QTest::newRow("two bytes") << QByteArray::fromHex("0000") << false << QStringList() << QList<int>()
                               << QList<QByteArray>();
    QTest::newRow("empty") << QByteArray() << false << QStringList() << QList<int>() << QList<QByteArray>();
}

void TestQMDns::parse()
{
    QFETCH(QByteArray, message);
    QFETCH(bool, emitted);
    QFETCH(QStringList, names);
    QFETCH(QList<int>, types);
    QFETCH(QList<QByteArray>, data);

    QMDns mdns;
    QSignalSpy spy(&mdns, &QMDns::newResult);
    QVERIFY(QMetaObject::invokeMethod(&mdns, "parse", Qt::DirectConnection, Q_ARG(QByteArray, message)));
    QCOMPARE(spy.count(), emitted ? 1 : 0);
    QCOMPARE(mdns.responses().size(), emitted ? 1 : 0);
    if (!emitted)
        return;
    auto *response = spy.at(0).at(0).value<QMDnsResponse *>();
    QCOMPARE(response, mdns.responses().first());
    QCOMPARE(response->message(), message);
    QStringList gotNames;
    QList<int> gotTypes;
    QList<QByteArray> gotData;
    for (const QMDnsResponse::Record &r : response->records()) {
        gotNames << r.name;
        gotTypes << r.type;
        gotData << r.data;
    }
    QCOMPARE(gotNames, names);
    QCOMPARE(gotTypes, types);
    QCOMPARE(gotData, data);
}

// A flood of answers (or of junk with the response flags) keeps memory
// bounded; a repeated answer is the one already kept.
void TestQMDns::keptResponsesAreBounded()
{
    QMDns mdns;
    QSignalSpy spy(&mdns, &QMDns::newResult);
    auto message = [](int i) {
        DnsMessageBuilder b(0x8400, 0, 1);
        b.record(QStringLiteral("m%1.local").arg(i), 1, 120, DnsMessageBuilder::ipv4(quint32(i)));
        return b.bytes();
    };
    const int total = QMDns::kMaxKeptResponses * 3;
    for (int i = 0; i < total; ++i)
        QVERIFY(QMetaObject::invokeMethod(&mdns, "parse", Qt::DirectConnection, Q_ARG(QByteArray, message(i))));
    QCOMPARE(spy.count(), total);
    QCOMPARE(mdns.responses().size(), QMDns::kMaxKeptResponses);
    QCOMPARE(mdns.responses().first()->message(), message(total - QMDns::kMaxKeptResponses));
    QCOMPARE(mdns.responses().last()->message(), message(total - 1));

    QMDnsResponse *last = mdns.responses().last();
    QVERIFY(QMetaObject::invokeMethod(&mdns, "parse", Qt::DirectConnection, Q_ARG(QByteArray, message(total - 1))));
    QCOMPARE(mdns.responses().size(), QMDns::kMaxKeptResponses);
    QCOMPARE(spy.last().at(0).value<QMDnsResponse *>(), last);
}

QTEST_GUILESS_MAIN(TestQMDns)
#include "tst_qmdns.moc"
