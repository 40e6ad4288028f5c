// The location stream of the running simulator, received on loopback and
// decoded here independently of both the simulator's and the manager's code.
#include "SimProcess.h"

#include <QJsonArray>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <cstring>

namespace {

// One decoded TLV report.
struct Report {
    quint64 id = 0;
    double timestamp = 0;
    int ranges = 0;
    bool positioned = false;
    float x = 0, y = 0, z = 0;
    int vbatMilli = 0;
};

template <typename T> T le(const QByteArray &b, int at)
{
    T v;
    std::memcpy(&v, b.constData() + at, sizeof(T));
    return v;
}

// Walks a run of type/length/value elements; false if any element runs
// past the end.
bool walk(const QByteArray &run, const std::function<bool(quint8, const QByteArray &)> &visit)
{
    int at = 0;
    while (at < run.size()) {
        if (at + 2 > run.size())
            return false;
        const quint8 type = quint8(run[at]);
        const int len = quint8(run[at + 1]);
        if (at + 2 + len > run.size())
            return false;
        if (!visit(type, run.mid(at + 2, len)))
            return false;
        at += 2 + len;
    }
    return true;
}

bool decodeTlv(const QByteArray &datagram, QVector<Report> *out)
{
    return walk(datagram, [out](quint8 type, const QByteArray &v) {
        if (type == 1) {
            if (v.size() != 8)
                return false;
            out->append(Report{});
            out->last().id = le<quint64>(v, 0);
            return true;
        }
        if (out->isEmpty())
            return false;
        Report &r = out->last();
        switch (type) {
        case 2:
            r.timestamp = le<double>(v, 0);
            return v.size() == 8;
        case 4:
            ++r.ranges;
            return walk(v, [](quint8 t, const QByteArray &m) {
                return (t == 0x28 && m.size() == 8) || (t == 0x29 && m.size() == 4) || (t == 0x2A && m.size() == 1) ||
                       (t == 0x2B && m.size() == 4);
            });
        case 8:
            r.positioned = true;
            return walk(v, [&r](quint8 t, const QByteArray &p) {
                if (t == 0x50)
                    r.x = le<float>(p, 0);
                else if (t == 0x51)
                    r.y = le<float>(p, 0);
                else if (t == 0x52)
                    r.z = le<float>(p, 0);
                return t == 0x54 ? p.size() == 1 : p.size() == 4;
            });
        case 63:
            r.vbatMilli = le<qint32>(v, 0);
            return v.size() == 4;
        default:
            return true;
        }
    });
}

QVector<QJsonObject> decodeJson(const QByteArray &datagram)
{
    QVector<QJsonObject> out;
    const QList<QByteArray> lines = datagram.split('\n');
    for (const QByteArray &l : lines)
        if (!l.isEmpty())
            out.append(QJsonDocument::fromJson(l).object());
    return out;
}

} // namespace

class TestSimStream : public QObject
{
    Q_OBJECT

private:
    QUdpSocket m_rx;

    QByteArray nextDatagram(int ms = 10000)
    {
        if (!m_rx.hasPendingDatagrams() && !m_rx.waitForReadyRead(ms))
            return {};
        return m_rx.receiveDatagram().data();
    }

    QString streamTo() const { return QStringLiteral("127.0.0.1:%1").arg(m_rx.localPort()); }

private slots:
    void init()
    {
        m_rx.close();
        QVERIFY(m_rx.bind(QHostAddress::LocalHost, 0));
        m_rx.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 8 * 1024 * 1024);
    }

    void jsonReportsCarryTheNodeKeys()
    {
        SimProcess sim;
        QVERIFY(sim.start({"--stream-to", streamTo()}));
        int checked = 0;
        while (checked < 30) {
            const QByteArray d = nextDatagram();
            QVERIFY(!d.isEmpty());
            QCOMPARE(d.at(0), '{');
            QVERIFY(d.endsWith('\n'));
            for (const QJsonObject &r : decodeJson(d)) {
                QVERIFY(r.value("id").toString().startsWith("0x2"));
                QCOMPARE(r.value("mode").toString(), QString("tag"));
                QVERIFY(r.value("timestamp").toDouble() > 1.0e9);
                const QJsonObject c = r.value("coordinates").toObject();
                // Inside the hall, give or take the noise.
                QVERIFY(c.value("x").toDouble() > -1.0 && c.value("x").toDouble() < 21.0);
                QVERIFY(c.value("y").toDouble() > -1.0 && c.value("y").toDouble() < 16.0);
                QVERIFY(c.value("pqf").isDouble());
                QVERIFY(r.value("meas").toArray().size() >= 4);
                QVERIFY(r.value("meas").toArray().first().toObject().value("dist").isDouble());
                QVERIFY(r.value("vbat").isDouble());
                ++checked;
            }
        }
    }

    void switchesFormatOnCommand()
    {
        SimProcess sim;
        QVERIFY(sim.start({"--stream-to", streamTo()}));
        LineClient c;
        QVERIFY(c.connectTo(sim.port));
        QCOMPARE(nextDatagram().at(0), '{');
        QCOMPARE(c.request(QByteArray("{\"command\":\"setOutDataFormat\",\"outDataFormat\":\"tlv\"}")).value("status").toString(),
                 QString("ok"));
        // Drain what was sent before the switch.
        QByteArray d;
        for (int i = 0; i < 200 && (d.isEmpty() || d.at(0) == '{'); ++i)
            d = nextDatagram();
        QVERIFY(!d.isEmpty() && d.at(0) != '{');
        QVector<Report> reports;
        QVERIFY(decodeTlv(d, &reports));
        QVERIFY(!reports.isEmpty());
        for (const Report &r : reports) {
            QVERIFY(r.id >= 0x2001 && r.id <= 0x200A);
            QVERIFY(r.ranges >= 4);
            QVERIFY(r.positioned);
            QVERIFY(r.x > -1.0f && r.x < 21.0f && r.y > -1.0f && r.y < 16.0f);
            QVERIFY(r.vbatMilli > 3000 && r.vbatMilli < 4500);
        }
        QCOMPARE(c.request(QByteArray("{\"command\":\"setOutDataFormat\",\"outDataFormat\":\"json\"}")).value("status").toString(),
                 QString("ok"));
        for (int i = 0; i < 200 && d.at(0) != '{'; ++i)
            d = nextDatagram();
        QCOMPARE(d.at(0), '{');
    }

    void loadModeSwitchesFormatOnCommand()
    {
        SimProcess sim;
        QVERIFY(sim.start({"--stream-to", streamTo(), "--tags", "10", "--rate", "10"}));
        LineClient c;
        QVERIFY(c.connectTo(sim.port));
        QCOMPARE(nextDatagram().at(0), '{');
        QCOMPARE(c.request(QByteArray("{\"command\":\"setOutDataFormat\",\"outDataFormat\":\"tlv\"}")).value("status").toString(),
                 QString("ok"));
        QByteArray d;
        for (int i = 0; i < 200 && (d.isEmpty() || d.at(0) == '{'); ++i)
            d = nextDatagram();
        QVector<Report> reports;
        QVERIFY(decodeTlv(d, &reports));
        QVERIFY(!reports.isEmpty());
        for (const Report &r : reports)
            QVERIFY(r.id >= 0x4000 && r.id < 0x400A);
    }

    void nodeConfigShapesTheReports_data()
    {
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<bool>("positioned");
        QTest::addColumn<QString>("measKey");
        QTest::newRow("raw measurements only") << QByteArray("{\"command\":\"setNodeConfig\",\"cfgId\":\"0\",\"locEngine\":\"0\"}")
                                               << false << "dist";
        QTest::newRow("time difference of arrival") << QByteArray("{\"command\":\"setNodeConfig\",\"cfgId\":\"0\",\"nodeOptions\":\"tdoa\"}")
                                                    << false << "toa";
    }

    void nodeConfigShapesTheReports()
    {
        QFETCH(QByteArray, config);
        QFETCH(bool, positioned);
        QFETCH(QString, measKey);
        SimProcess sim;
        QVERIFY(sim.start({"--stream-to", streamTo()}));
        LineClient c;
        QVERIFY(c.connectTo(sim.port));
        QCOMPARE(c.request(config).value("status").toString(), QString("ok"));
        // Reports measured before the change may still be in flight.
        QJsonObject r;
        for (int i = 0; i < 200; ++i) {
            const QVector<QJsonObject> batch = decodeJson(nextDatagram());
            QVERIFY(!batch.isEmpty());
            r = batch.last();
            if (r.contains("coordinates") == positioned && r.value("meas").toArray().first().toObject().contains(measKey))
                break;
        }
        QCOMPARE(r.contains("coordinates"), positioned);
        QVERIFY(r.value("meas").toArray().first().toObject().value(measKey).isDouble());
    }

    void streamsToEveryServiceClient()
    {
        SimProcess sim;
        // No --stream-to: only a service client's address gets the stream.
        QVERIFY(sim.start({"--stream-port", QString::number(m_rx.localPort())}));
        QVERIFY(!m_rx.waitForReadyRead(500));
        LineClient c;
        QVERIFY(c.connectTo(sim.port));
        QVERIFY(!nextDatagram().isEmpty());
        c.socket.disconnectFromHost();
        QTRY_COMPARE(c.socket.state(), QAbstractSocket::UnconnectedState);
        QTest::qWait(300);
        while (m_rx.hasPendingDatagrams())
            m_rx.receiveDatagram();
        QVERIFY(!m_rx.waitForReadyRead(500));
    }

    void loadModeSendsTheCount_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("json") << "json";
        QTest::newRow("tlv") << "tlv";
    }

    void loadModeSendsTheCount()
    {
        QFETCH(QString, format);
        constexpr int kCount = 3000;
        SimProcess sim;
        QVERIFY(sim.start({"--tags", "300", "--rate", "20", "--format", format, "--count", QString::number(kCount),
                           "--stream-to", streamTo()}));
        const QList<QByteArray> lines = sim.waitForEnd();
        QVERIFY(!lines.isEmpty());
        const QList<QByteArray> sent = lines.last().split(' ');
        QCOMPARE(sent.size(), 3);
        QCOMPARE(sent[0], QByteArray("SENT"));
        QCOMPARE(sent[1].toInt(), kCount);
        int reports = 0, datagrams = 0;
        QSet<quint64> ids;
        while (m_rx.hasPendingDatagrams() || m_rx.waitForReadyRead(500)) {
            const QByteArray d = m_rx.receiveDatagram().data();
            ++datagrams;
            if (format == "json") {
                QCOMPARE(d.at(0), '{');
                for (const QJsonObject &r : decodeJson(d)) {
                    ids.insert(r.value("id").toString().mid(2).toULongLong(nullptr, 16));
                    ++reports;
                }
            } else {
                QVector<Report> rs;
                QVERIFY(decodeTlv(d, &rs));
                for (const Report &r : rs) {
                    QCOMPARE(r.ranges, 4);
                    ids.insert(r.id);
                }
                reports += rs.size();
            }
        }
        QCOMPARE(reports, kCount);
        QCOMPARE(datagrams, sent[2].toInt());
        QCOMPARE(ids.size(), 300);
        QVERIFY(datagrams < reports);
        QCOMPARE(sim.process().exitCode(), 0);
    }

    void stopsAfterDuration()
    {
        SimProcess sim;
        QVERIFY(sim.start({"--duration", "1", "--stream-to", streamTo()}));
        const QList<QByteArray> lines = sim.waitForEnd(30000);
        QCOMPARE(sim.process().state(), QProcess::NotRunning);
        QVERIFY(!lines.isEmpty() && lines.last().startsWith("SENT "));
        QCOMPARE(sim.process().exitCode(), 0);
    }

    void refusesBadOptions_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("format") << QStringList{"--format", "xml"};
        QTest::newRow("tags without rate") << QStringList{"--tags", "10"};
        QTest::newRow("port") << QStringList{"--stream-port", "70000"};
        QTest::newRow("stream-to") << QStringList{"--stream-to", "nowhere:1:2"};
        QTest::newRow("negative noise") << QStringList{"--noise", "-1"};
        QTest::newRow("missing site file") << QStringList{"--site", "/nonexistent/site.json"};
    }

    void refusesBadOptions()
    {
        QFETCH(QStringList, args);
        QProcess p;
        p.start(SimProcess::binary(), QStringList{"--svc-port", "0", "--bind", "127.0.0.1", "--no-mdns", "--no-broadcast"} + args);
        QVERIFY(p.waitForFinished(20000));
        QVERIFY(p.exitCode() != 0);
        QVERIFY(!p.readAllStandardOutput().contains("READY"));
    }
};

QTEST_GUILESS_MAIN(TestSimStream)
#include "tst_simstream.moc"
