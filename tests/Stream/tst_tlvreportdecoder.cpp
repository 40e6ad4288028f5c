#include "FakeHubLink.h"
#include "RtlsIMU.h"
#include "RtlsMeas.h"
#include "RtlsPos.h"
#include "TlvReportDecoder.h"

#include <QtEndian>
#include <QtTest>

#include <cmath>
#include <cstring>

// Datagrams are built byte by byte here, independently of any encoder.
namespace {

QByteArray element(quint8 type, const QByteArray &value)
{
    QByteArray e;
    e.append(char(type));
    e.append(char(value.size()));
    return e + value;
}

template<typename T>
QByteArray le(T v)
{
    QByteArray b(int(sizeof(T)), Qt::Uninitialized);
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray f32(float v)
{
    quint32 bits;
    std::memcpy(&bits, &v, 4);
    return le(bits);
}

QByteArray f64(double v)
{
    quint64 bits;
    std::memcpy(&bits, &v, 8);
    return le(bits);
}

QByteArray nodeId(quint64 id) { return element(1, le(id)); }
QByteArray timeStamp(double s) { return element(2, f64(s)); }
QByteArray reportNumber(quint32 n) { return element(3, le(n)); }
QByteArray endCode(quint8 code) { return element(11, QByteArray(1, char(code))); }

QByteArray measurement(quint64 anchor, float dist)
{
    return element(4, element(0x28, le(anchor)) + element(0x29, f32(dist)) + element(0x2A, QByteArray(1, char(90)))
                          + element(0x2B, f32(-80.5f)));
}

QByteArray measurements(int count)
{
    QByteArray m;
    for (int i = 0; i < count; ++i)
        m += measurement(0x100 + i, 1.0f + i);
    return m;
}

QByteArray position(float x, float y, float z)
{
    return element(8, element(0x50, f32(x)) + element(0x51, f32(y)) + element(0x52, f32(z)) + element(0x54, "\x40"));
}

} // namespace

class tst_TlvReportDecoder : public QObject
{
    Q_OBJECT

private slots:
    void announcements_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<int>("result");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QList<quint64>>("held");

        using L = QList<quint64>;
        const QStringList none;
        const QStringList endOfA = {"added 0x000A", "updated 0x000A"};

        QTest::newRow("only an id: announced at the end")
            << nodeId(0xA) << 0 << endOfA << L{0xA};
        QTest::newRow("first of two with 3 measurements: held, not announced")
            << nodeId(0xB) + measurements(3) + nodeId(0xA) << 0 << endOfA << L{0xA, 0xB};
        QTest::newRow("first of two with 4 measurements: announced")
            << nodeId(0xB) + measurements(4) + nodeId(0xA) << 0
            << QStringList{"added 0x000B", "added 0x000A", "updated 0x000A"} << L{0xA, 0xB};
        QTest::newRow("last node announced whatever its count")
            << nodeId(0xA) + measurements(1) << 0 << endOfA << L{0xA};
        QTest::newRow("empty datagram") << QByteArray() << 0 << none << L{};
        QTest::newRow("one byte is a decoding error") << QByteArray(1, char(1)) << -1 << none << L{};
        QTest::newRow("zero-length element uses two bytes")
            << element(0x30, QByteArray()) + nodeId(0xA) + element(0x31, QByteArray()) << 0 << endOfA << L{0xA};
        QTest::newRow("lone discard changes nothing") << endCode(2) << 0 << none << L{};
        QTest::newRow("discarded new node is dropped") << nodeId(0xA) + measurements(4) + endCode(2) << 0 << none << L{};
        QTest::newRow("end code other than discard keeps the node")
            << nodeId(0xA) + endCode(1) << 0 << endOfA << L{0xA};
        QTest::newRow("elements after a discard have no node")
            << nodeId(0xB) + endCode(2) + measurements(2) + position(1, 2, 3) << 0 << none << L{};
        QTest::newRow("elements before the first id are skipped")
            << timeStamp(1.5) + measurements(2) + position(1, 2, 3) + nodeId(0xA) << 0 << endOfA << L{0xA};
        QTest::newRow("truncated current node is neither finished nor kept")
            << nodeId(0xA) + measurements(4) + QByteArray("\x04\x09\x28", 3) << -1 << none << L{};
        QTest::newRow("truncation keeps the nodes finished before")
            << nodeId(0xB) + measurements(4) + nodeId(0xA) + QByteArray(1, char(8)) << -1
            << QStringList{"added 0x000B"} << L{0xB};
        QTest::newRow("length byte beyond the datagram")
            << nodeId(0xA) + QByteArray("\x08\xff\x50\x04", 4) << -1 << none << L{};
        QTest::newRow("id element shorter than an id is skipped")
            << element(1, le(quint32(0xC))) + nodeId(0xA) << 0 << endOfA << L{0xA};
        QTest::newRow("unknown types are skipped")
            << nodeId(0xA) + element(0x99, "abc") + element(5, "xyz") << 0 << endOfA << L{0xA};
    }

    void announcements()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(int, result);
        QFETCH(QStringList, events);
        QFETCH(QList<quint64>, held);

        FakeHubLink hub;
        TlvReportDecoder decoder(&hub);
        QCOMPARE(decoder.decode(datagram.constData(), datagram.size()), result);
        QCOMPARE(hub.events, events);
        QList<quint64> keys;
        for (uint64_t id : hub.nonAnchors.keys())
            keys.append(id);
        std::sort(keys.begin(), keys.end());
        QCOMPARE(keys, held);
        QCOMPARE(hub.registry.size(), held.size());
    }

    void newNodeIsATag()
    {
        FakeHubLink hub;
        TlvReportDecoder decoder(&hub);
        const QByteArray d = nodeId(0x1A2);
        decoder.decode(d.constData(), d.size());
        RtlsObject *node = hub.findNode(0x1A2);
        QVERIFY(node);
        QCOMPARE(node->category(), QStringLiteral("tag"));
        QCOMPARE(node->mode(), QStringLiteral("tag"));
    }

    // A node's details are asked for once it is heard again: an id heard
    // once (a corrupt datagram, a device sending random ids) asks nothing.
    void detailsAskedOnceHeardAgain_data()
    {
        QTest::addColumn<quint32>("knownFlags"); // ~0: the node is new
        QTest::addColumn<int>("reports");
        QTest::addColumn<int>("requests");
        QTest::newRow("new, heard once") << ~0u << 1 << 0;
        QTest::newRow("new, heard twice") << ~0u << 2 << 1;
        QTest::newRow("new, heard five times") << ~0u << 5 << 1;
        QTest::newRow("known without details") << 0u << 1 << 1;
        QTest::newRow("known, details asked") << 0x02000000u << 3 << 0;
        QTest::newRow("known, details known") << 0x01000000u << 3 << 0;
    }

    void detailsAskedOnceHeardAgain()
    {
        QFETCH(quint32, knownFlags);
        QFETCH(int, reports);
        QFETCH(int, requests);
        FakeHubLink hub;
        if (knownFlags != ~0u)
            hub.addTag(0x1A2)->setMsgFlags(knownFlags);
        TlvReportDecoder decoder(&hub);
        // Between other nodes' reports, too.
        const QByteArray d = nodeId(0x1A2) + measurements(4) + nodeId(0x1A3);
        for (int i = 0; i < reports; ++i)
            decoder.decode(d.constData(), d.size());
        QCOMPARE(hub.detailsRequested.count(0x1A2), requests);
        const uint32_t flags = hub.findNode(0x1A2)->msgFlags();
        if (requests > 0)
            QVERIFY(flags & 0x02000000u);
        // Made by this one report: the views wait for the next.
        QCOMPARE(bool(flags & 0x04000000u), knownFlags == ~0u && reports == 1);
    }

    void knownNodeIsUpdatedInPlace()
    {
        FakeHubLink hub;
        RtlsObject *known = hub.addTag(0xA);
        known->setMode(QStringLiteral("offline"));
        TlvReportDecoder decoder(&hub);
        const QByteArray d = nodeId(0xA) + measurements(1);
        QCOMPARE(decoder.decode(d.constData(), d.size()), 0);
        QCOMPARE(hub.findNode(0xA), known);
        QCOMPARE(known->mode(), QStringLiteral("offline"));
        // Heard again, and its details were never asked for.
        QCOMPARE(hub.detailsRequested, QList<uint64_t>{0xA});
        QCOMPARE(hub.events, QStringList{"updated 0x000A"});
    }

    // Every finished report marks its node as heard, so a tag that only
    // ever sends TLV can still be found silent by the inactivity check.
    void finishedReportsMarkTheNodeHeard()
    {
        FakeHubLink hub;
        TlvReportDecoder decoder(&hub);
        const quint64 before = quint64(QDateTime::currentMSecsSinceEpoch());
        const QByteArray d = nodeId(0xB1) + measurements(1) + nodeId(0xB2);
        QCOMPARE(decoder.decode(d.constData(), d.size()), 0);
        for (uint64_t id : {uint64_t(0xB1), uint64_t(0xB2)}) {
            RtlsObject *node = hub.findNode(id);
            QVERIFY(node);
            QVERIFY(node->lastUpdate() >= before);
        }
    }

    void reportFillsTheRecord()
    {
        FakeHubLink hub;
        TlvReportDecoder decoder(&hub);
        const QByteArray d = nodeId(0xA) + timeStamp(1700000000.25) + reportNumber(7) + position(1.5f, -2.0f, 0.25f)
            + measurement(0x1111, 3.5f) + element(6, element(0x3C, "\xfe") + element(0x44, f32(21.5f)))
            + element(62, "\x02") + element(63, le(qint32(3700)));
        QCOMPARE(decoder.decode(d.constData(), d.size()), 0);
        RtlsObject *node = hub.findNode(0xA);
        QVERIFY(node);
        QCOMPARE(node->msgTime(), 1700000000.25);
        QCOMPARE(node->pos()->x(), 1.5f);
        QCOMPARE(node->pos()->y(), -2.0f);
        QCOMPARE(node->pos()->z(), 0.25f);
        QCOMPARE(node->pos()->pqf(), quint8(0x40));
        QCOMPARE(node->pos()->avg(), quint8(40));
        QCOMPARE(node->msgFlags() & 0x5u, 0x5u);
        const RtlsMeas::Table meas = node->meas()->current();
        QCOMPARE(meas.size(), 1);
        QCOMPARE(meas.value(0x1111).kind, 1);
        QCOMPARE(meas.value(0x1111).value, 3.5f);
        QCOMPARE(meas.value(0x1111).tqf, 90);
        QCOMPARE(meas.value(0x1111).rssi, -80.5f);
        QCOMPARE(node->imu()->am(), -2.0f);
        QCOMPARE(node->imu()->temperature(), 21.5f);
        QCOMPARE(node->imu()->io(), quint8(2));
        QCOMPARE(node->imu()->vbat(), 3700.0f);
    }

    void nextReportShiftsMeasurementsAndClearsFlags()
    {
        FakeHubLink hub;
        TlvReportDecoder decoder(&hub);
        const QByteArray first = nodeId(0xA) + position(1, 1, 1) + measurement(0x1111, 3.5f);
        const QByteArray second = nodeId(0xA);
        decoder.decode(first.constData(), first.size());
        decoder.decode(second.constData(), second.size());
        RtlsObject *node = hub.findNode(0xA);
        QCOMPARE(node->msgFlags() & 0x5u, 0u);
        QVERIFY(node->meas()->current().isEmpty());
        QCOMPARE(node->meas()->previous().value(0x1111).value, 3.5f);
    }

    void nanPositionKeepsCoordinatesButMarksPosition()
    {
        FakeHubLink hub;
        RtlsObject *node = hub.addTag(0xA);
        node->pos()->setPos(1, 2, 3);
        TlvReportDecoder decoder(&hub);
        const QByteArray d = nodeId(0xA) + position(std::nanf(""), 5, 6);
        QCOMPARE(decoder.decode(d.constData(), d.size()), 0);
        QCOMPARE(node->pos()->x(), 1.0f);
        QCOMPARE(node->pos()->y(), 2.0f);
        QCOMPARE(node->pos()->z(), 3.0f);
        QVERIFY(node->msgFlags() & 0x1u);
    }

    void echoLine_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QStringList>("lines");

        const QString stamp = QDateTime::fromMSecsSinceEpoch(1700000000250LL).toString("yyyy-MM-dd HH:mm:ss.zzz");
        QTest::newRow("end of datagram")
            << timeStamp(1700000000.25) + reportNumber(7) + nodeId(0x12) + measurements(4)
            << QStringList{QStringLiteral("LS_IN TLV (%1): 7) for node 0x0012 with 4 measurements").arg(stamp)};
        QTest::newRow("between nodes only with a time stamp")
            << nodeId(0x12) + nodeId(0x13) + timeStamp(1700000000.25) + nodeId(0x14)
            << QStringList{QStringLiteral("LS_IN TLV (%1): 0) for node 0x0013 with 0 measurements").arg(stamp),
                           QStringLiteral("LS_IN TLV (%1): 0) for node 0x0014 with 0 measurements").arg(stamp)};
    }

    void echoLine()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(QStringList, lines);
        FakeHubLink hub;
        TlvReportDecoder decoder(&hub);
        decoder.decode(datagram.constData(), datagram.size());
        QVERIFY(hub.messages.isEmpty());
        decoder.setEchoEnabled(true);
        decoder.decode(datagram.constData(), datagram.size());
        QCOMPARE(hub.messages, lines);
    }

    void echoWithoutTimeStampShowsArrivalTime()
    {
        FakeHubLink hub;
        TlvReportDecoder decoder(&hub);
        decoder.setEchoEnabled(true);
        const QByteArray d = nodeId(0x12);
        decoder.decode(d.constData(), d.size());
        QCOMPARE(hub.messages.size(), 1);
        const QString today = QDate::currentDate().toString("yyyy-MM-dd");
        QVERIFY2(hub.messages.first().startsWith("LS_IN TLV (" + today), qPrintable(hub.messages.first()));
    }
};

QTEST_GUILESS_MAIN(tst_TlvReportDecoder)
#include "tst_tlvreportdecoder.moc"
