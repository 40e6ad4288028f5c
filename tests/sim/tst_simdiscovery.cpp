// Broadcast discovery, announcements and multicast DNS of the simulator,
// inside a private network namespace (192.0.2.0/24), with a DNS message
// parser written here.
#include "SimProcess.h"

#include <QNetworkDatagram>
#include <QUdpSocket>

namespace {

constexpr quint16 kMdnsPort = 5353;
constexpr quint16 kAnnouncePort = 8783;
const QHostAddress kGroup(QStringLiteral("224.0.0.251"));

struct Rr {
    QString name;
    quint16 type = 0;
    quint16 cls = 0;
    QByteArray data;
    int dataOffset = 0;
};

struct Message {
    QByteArray raw;
    quint16 flags = 0;
    int questions = 0;
    QVector<Rr> answers;
};

quint16 be16(const QByteArray &m, int at)
{
    return quint16((quint8(m[at]) << 8) | quint8(m[at + 1]));
}

// Reads a possibly compressed name; pointers must go backwards.
bool readName(const QByteArray &m, int at, QString *name, int *end)
{
    QStringList labels;
    int pos = at;
    int after = -1;
    for (int hops = 0; hops < 64; ++hops) {
        if (pos >= m.size())
            return false;
        const quint8 len = quint8(m[pos]);
        if (len == 0) {
            *end = after >= 0 ? after : pos + 1;
            *name = labels.join('.');
            return true;
        }
        if (len >= 0xC0) {
            if (pos + 1 >= m.size())
                return false;
            const int target = ((len & 0x3F) << 8) | quint8(m[pos + 1]);
            if (target >= pos)
                return false;
            if (after < 0)
                after = pos + 2;
            pos = target;
            continue;
        }
        if (len > 63 || pos + 1 + len > m.size())
            return false;
        labels.append(QString::fromUtf8(m.mid(pos + 1, len)));
        pos += 1 + len;
    }
    return false;
}

bool parse(const QByteArray &m, Message *out)
{
    if (m.size() < 12)
        return false;
    out->raw = m;
    out->flags = be16(m, 2);
    out->questions = be16(m, 4);
    const int answers = be16(m, 6) + be16(m, 8) + be16(m, 10);
    int pos = 12;
    for (int q = 0; q < out->questions; ++q) {
        QString n;
        if (!readName(m, pos, &n, &pos) || pos + 4 > m.size())
            return false;
        pos += 4;
    }
    for (int i = 0; i < answers; ++i) {
        Rr r;
        if (!readName(m, pos, &r.name, &pos) || pos + 10 > m.size())
            return false;
        r.type = be16(m, pos);
        r.cls = be16(m, pos + 2);
        const int len = be16(m, pos + 8);
        pos += 10;
        if (pos + len > m.size())
            return false;
        r.data = m.mid(pos, len);
        r.dataOffset = pos;
        pos += len;
        out->answers.append(r);
    }
    return pos == m.size();
}

QByteArray query(const QString &name, quint16 type)
{
    QByteArray q("\0\0\0\0\0\1\0\0\0\0\0\0", 12);
    for (const QString &label : name.split('.', Qt::SkipEmptyParts)) {
        q.append(char(label.size()));
        q.append(label.toUtf8());
    }
    q.append('\0');
    q.append(char(type >> 8)).append(char(type & 0xFF)).append('\0').append('\1');
    return q;
}

} // namespace

class TestSimDiscovery : public QObject
{
    Q_OBJECT

private:
    SimProcess m_sim;
    QString m_instance;

    Message ask(QUdpSocket &s, const QString &name, quint16 type)
    {
        s.writeDatagram(query(name, type), kGroup, kMdnsPort);
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 10000) {
            if (!s.hasPendingDatagrams() && !s.waitForReadyRead(500))
                continue;
            Message m;
            // Our own question comes back over the loop too.
            if (parse(s.receiveDatagram().data(), &m) && (m.flags & 0x8000))
                return m;
        }
        return {};
    }

    static QHostAddress addressOf(const Rr &r)
    {
        if (r.data.size() != 4)
            return {};
        return QHostAddress(quint32(quint8(r.data[0])) << 24 | quint32(quint8(r.data[1])) << 16 |
                            quint32(quint8(r.data[2])) << 8 | quint8(r.data[3]));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_sim.start({}, false));
    }

    void mdnsAnswersTheServiceQuestion_data()
    {
        QTest::addColumn<QString>("service");
        QTest::addColumn<bool>("fromMdnsPort");
        QTest::newRow("tcp, one-shot querier") << "_svc_sentrova._tcp.local" << false;
        QTest::newRow("udp, one-shot querier") << "_svc_sentrova._udp.local" << false;
        QTest::newRow("tcp, multicast querier") << "_svc_sentrova._tcp.local" << true;
    }

    void mdnsAnswersTheServiceQuestion()
    {
        QFETCH(QString, service);
        QFETCH(bool, fromMdnsPort);
        QUdpSocket s;
        if (fromMdnsPort) {
            QVERIFY(s.bind(QHostAddress::AnyIPv4, kMdnsPort, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
            QVERIFY(s.joinMulticastGroup(kGroup));
        } else {
            QVERIFY(s.bind(QHostAddress::AnyIPv4, 0));
        }
        const Message m = ask(s, service, 12);
        QCOMPARE(m.flags, quint16(0x8400));
        QCOMPARE(m.questions, 0);
        const QString instance = "[sentrova:0000000000001000]." + service;
        QHash<quint16, Rr> byType;
        for (const Rr &r : m.answers)
            byType.insert(r.type, r);
        QVERIFY(byType.contains(12) && byType.contains(33) && byType.contains(16) && byType.contains(1));

        QCOMPARE(byType[12].name, service);
        // The PTR's and SRV's data are names that may point into the message.
        QString target;
        int end = 0;
        QVERIFY(readName(m.raw, byType[12].dataOffset, &target, &end));
        QCOMPARE(target, instance);
        QVERIFY(readName(m.raw, byType[33].dataOffset + 6, &target, &end));
        QCOMPARE(target, instance);
        QCOMPARE(byType[33].name, instance);
        QCOMPARE(byType[16].name, instance);
        QCOMPARE(byType[1].name, instance);
        QCOMPARE(int(be16(byType[33].data, 4)), int(m_sim.port));
        QVERIFY(byType[16].data.contains("txtvers=1"));
        QVERIFY(addressOf(byType[1]).isInSubnet(QHostAddress("192.0.2.0"), 24));
        QCOMPARE(byType[33].cls & 0x7FFF, 1);
    }

    void mdnsIgnoresOtherServices()
    {
        QUdpSocket s;
        QVERIFY(s.bind(QHostAddress::AnyIPv4, 0));
        s.writeDatagram(query("_http._tcp.local", 12), kGroup, kMdnsPort);
        s.writeDatagram(QByteArray("not dns"), kGroup, kMdnsPort);
        // A question of ours right after: the first answer must be for it.
        const Message m = ask(s, "_svc_sentrova._tcp.local", 12);
        QVERIFY(!m.answers.isEmpty());
        for (const Rr &r : m.answers)
            QVERIFY(r.name.contains("_svc_sentrova._tcp.local"));
    }

    void answersTheBroadcastVersionRequest()
    {
        QUdpSocket s;
        QVERIFY(s.bind(QHostAddress::AnyIPv4, 0));
        s.writeDatagram("{\"command\":\"version\"}\n", QHostAddress("192.0.2.255"), m_sim.port);
        QVERIFY(s.waitForReadyRead(10000));
        const QJsonObject o = QJsonDocument::fromJson(s.receiveDatagram().data()).object();
        QCOMPARE(o.value("response").toString(), QString("version"));
        QCOMPARE(o.value("id").toString(), QString("0x1000"));
    }

    void announcesItself()
    {
        QUdpSocket s;
        QVERIFY(s.bind(QHostAddress::AnyIPv4, kAnnouncePort, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
        QVERIFY(s.waitForReadyRead(15000));
        const QNetworkDatagram d = s.receiveDatagram();
        QCOMPARE(QJsonDocument::fromJson(d.data()).object().value("response").toString(), QString("version"));
        QVERIFY(d.senderAddress().isInSubnet(QHostAddress("192.0.2.0"), 24));
    }

    // On a host with several addresses, a simulator bound to one of them
    // answers from that one, whichever the kernel would pick.
    void boundToOneOfTwoAddressesAnswersFromIt()
    {
        const QHostAddress second(QStringLiteral("192.0.2.3"));
        QCOMPARE(QProcess::execute(QStringLiteral("ip"), {"addr", "add", "192.0.2.3/24", "dev", "vb"}), 0);
        const quint16 announcePort = 18783;
        const quint16 mdnsPort = 15353;
        SimProcess bound;
        QVERIFY(bound.start({"--bind", second.toString(), "--announce-port", QString::number(announcePort),
                             "--mdns-port", QString::number(mdnsPort)},
                            false));

        QUdpSocket s;
        QVERIFY(s.bind(QHostAddress::AnyIPv4, 0));
        s.writeDatagram("{\"command\":\"version\"}\n", QHostAddress("192.0.2.255"), bound.port);
        QVERIFY(s.waitForReadyRead(10000));
        QCOMPARE(s.receiveDatagram().senderAddress(), second);

        s.writeDatagram(query("_svc_sentrova._tcp.local", 12), second, mdnsPort);
        QVERIFY(s.waitForReadyRead(10000));
        const QNetworkDatagram answer = s.receiveDatagram();
        Message m;
        QVERIFY(parse(answer.data(), &m) && (m.flags & 0x8000));
        QCOMPARE(answer.senderAddress(), second);

        QUdpSocket listener;
        QVERIFY(listener.bind(QHostAddress::AnyIPv4, announcePort, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
        QVERIFY(listener.waitForReadyRead(15000));
        QCOMPARE(listener.receiveDatagram().senderAddress(), second);
    }
};

QTEST_GUILESS_MAIN(TestSimDiscovery)
#include "tst_simdiscovery.moc"
