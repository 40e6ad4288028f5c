// Site files: what the simulator refuses, and a file that it serves.
#include "SimProcess.h"
#include "SimSite.h"

#include <QJsonArray>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QUdpSocket>

namespace {

const char *const kGoodSite = "{\n"
"  \"tdmaScheme\": 3, \"outDataFormat\": \"json\",\n"
"  \"nodeConfig\": [{\"cfgId\": 0, \"nodeOptions\": \"twr\", \"msecRefreshInterval\": 100, \"locEngine\": 1, \"posFilter\": \"none\"}],\n"
"  \"nodes\": [\n"
"    {\"id\": \"0x0100\", \"name\": \"Gate master\", \"mode\": \"master\", \"position\": {\"x\": 0, \"y\": 0, \"z\": 3}, \"delayOffset\": 0},\n"
"    {\"id\": \"0x0101\", \"mode\": \"anchor\", \"position\": {\"x\": 12, \"y\": 0, \"z\": 2}, \"delayOffset\": 0},\n"
"    {\"id\": \"0x0102\", \"mode\": \"anchor\", \"position\": {\"x\": 12, \"y\": 9, \"z\": 3.5}, \"delayOffset\": 0},\n"
"    {\"id\": \"0x0103\", \"mode\": \"anchor\", \"position\": {\"x\": 0, \"y\": 9, \"z\": 1.5}, \"delayOffset\": 0},\n"
"    {\"id\": \"0x0104\", \"mode\": \"anchor\", \"position\": {\"x\": 6, \"y\": 4, \"z\": 2.5}, \"coordinatesKnown\": false},\n"
"    {\"id\": \"0x0200\", \"name\": \"Pallet\", \"mode\": \"tag\", \"rate\": 10, \"position\": {\"x\": 4, \"y\": 3, \"z\": 1}}\n"
"  ]}";

} // namespace

class TestSimSite : public QObject
{
    Q_OBJECT

private slots:
    void refusedSites_data()
    {
        QTest::addColumn<QByteArray>("doc");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no nodes") << QByteArray("{\"nodes\":[]}") << "no \"nodes\"";
        QTest::newRow("no master") << QByteArray("{\"nodes\":[{\"id\":\"0x1\",\"mode\":\"anchor\",\"position\":{\"x\":0,\"y\":0}}]}")
                                   << "no node with mode \"master\"";
        QTest::newRow("duplicate id") << QByteArray("{\"nodes\":[{\"id\":\"0x1\",\"mode\":\"master\",\"position\":{\"x\":0,\"y\":0}},{\"id\":\"1\",\"mode\":\"anchor\",\"position\":{\"x\":1,\"y\":0}}]}")
                                      << "appears twice";
        QTest::newRow("id zero") << QByteArray("{\"nodes\":[{\"id\":\"0x0\",\"mode\":\"master\",\"position\":{\"x\":0,\"y\":0}}]}")
                                 << "valid \"id\"";
        QTest::newRow("unknown mode") << QByteArray("{\"nodes\":[{\"id\":\"0x1\",\"mode\":\"router\",\"position\":{\"x\":0,\"y\":0}}]}")
                                      << "unknown mode";
        QTest::newRow("anchor without position") << QByteArray("{\"nodes\":[{\"id\":\"0x1\",\"mode\":\"master\"}]}")
                                                 << "no \"position\"";
        QTest::newRow("tag without path or position") << QByteArray("{\"nodes\":[{\"id\":\"0x1\",\"mode\":\"master\",\"position\":{\"x\":0,\"y\":0}},{\"id\":\"0x2\",\"mode\":\"tag\"}]}")
                                                      << "neither \"path\" nor \"position\"";
        QTest::newRow("waypoint without y") << QByteArray("{\"nodes\":[{\"id\":\"0x1\",\"mode\":\"master\",\"position\":{\"x\":0,\"y\":0}},{\"id\":\"0x2\",\"mode\":\"tag\",\"path\":[{\"x\":1}]}]}")
                                            << "waypoint";
        QTest::newRow("scheme out of range") << QByteArray("{\"tdmaScheme\":14,\"nodes\":[{\"id\":\"0x1\",\"mode\":\"master\",\"position\":{\"x\":0,\"y\":0}}]}")
                                             << "tdmaScheme";
        QTest::newRow("channel 6") << QByteArray("{\"uwbChannel\":6,\"nodes\":[{\"id\":\"0x1\",\"mode\":\"master\",\"position\":{\"x\":0,\"y\":0}}]}")
                                   << "uwbChannel";
        QTest::newRow("format") << QByteArray("{\"outDataFormat\":\"csv\",\"nodes\":[{\"id\":\"0x1\",\"mode\":\"master\",\"position\":{\"x\":0,\"y\":0}}]}")
                                << "outDataFormat";
        QTest::newRow("node configuration") << QByteArray("{\"nodeConfig\":[{\"locEngine\":5}],\"nodes\":[{\"id\":\"0x1\",\"mode\":\"master\",\"position\":{\"x\":0,\"y\":0}}]}")
                                            << "locEngine";
        QTest::newRow("survey error without y") << QByteArray("{\"nodes\":[{\"id\":\"0x1\",\"mode\":\"master\",\"position\":{\"x\":0,\"y\":0},\"surveyError\":{\"x\":0.5}}]}")
                                                << "\"surveyError\" needs x and y";
        QTest::newRow("region without corners") << QByteArray("{\"nlos\":[{\"bias\":0.3}],\"nodes\":[{\"id\":\"0x1\",\"mode\":\"master\",\"position\":{\"x\":0,\"y\":0}}]}")
                                                << "\"min\" and \"max\"";
        QTest::newRow("negative bias") << QByteArray("{\"nlos\":[{\"min\":{\"x\":0,\"y\":0},\"max\":{\"x\":1,\"y\":1},\"bias\":-1}],\"nodes\":[{\"id\":\"0x1\",\"mode\":\"master\",\"position\":{\"x\":0,\"y\":0}}]}")
                                       << "\"bias\" must be";
    }

    void refusedSites()
    {
        QFETCH(QByteArray, doc);
        QFETCH(QString, reason);
        SimSite site;
        QString error;
        QVERIFY(!SimSite::fromJson(QJsonDocument::fromJson(doc).object(), &site, &error));
        QVERIFY2(error.contains(reason), qPrintable(error));
    }

    void servesTheFile()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QFile f(dir.filePath("gate.json"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(kGoodSite);
        f.close();
        QUdpSocket rx;
        QVERIFY(rx.bind(QHostAddress::LocalHost, 0));
        SimProcess sim;
        QVERIFY(sim.start({"--site", f.fileName(), "--stream-to", QStringLiteral("127.0.0.1:%1").arg(rx.localPort())}));
        LineClient c;
        QVERIFY(c.connectTo(sim.port));
        const QJsonArray anchors = c.request(QByteArray("{\"command\":\"listAnchors\"}")).value("anchors").toArray();
        QCOMPARE(anchors.size(), 5);
        QCOMPARE(anchors.at(0).toObject().value("name").toString(), QString("Gate master"));
        QCOMPARE(anchors.at(4).toObject().value("id").toString(), QString("0x0104"));
        QVERIFY(!anchors.at(4).toObject().contains("coordinates"));
        QCOMPARE(c.request(QByteArray("{\"command\":\"getTdmaScheme\"}")).value("scheme").toInt(), 3);
        QCOMPARE(c.request(QByteArray("{\"command\":\"listTags\"}")).value("tags").toArray().first().toObject().value("name").toString(),
                 QString("Pallet"));
        // The standing tag is located where the file puts it.
        QVERIFY(rx.waitForReadyRead(10000));
        const QJsonObject report = QJsonDocument::fromJson(rx.receiveDatagram().data().split('\n').first()).object();
        QCOMPARE(report.value("id").toString(), QString("0x0200"));
        const QJsonObject pos = report.value("coordinates").toObject();
        QVERIFY(std::hypot(pos.value("x").toDouble() - 4.0, pos.value("y").toDouble() - 3.0) < 0.3);
    }

    // The truth behind a calibration: each node's real delays, printed
    // before READY. Anchors spread around the nominal value, tags sit on it.
    void printsTheRealDelays()
    {
        SimProcess sim;
        QVERIFY(sim.start({"--print-delays"}));
        int anchors = 0, tags = 0;
        for (const QByteArray &line : qAsConst(sim.startLines)) {
            const QList<QByteArray> f = line.split(' ');
            if (f.value(0) != "DELAY")
                continue;
            QCOMPARE(f.size(), 4);
            const double tx = f[2].toDouble(), rx = f[3].toDouble();
            QCOMPARE(tx, rx);
            if (f[1].startsWith("0x2")) {
                ++tags;
                QCOMPARE(tx, 16515.0);
            } else {
                ++anchors;
                QVERIFY2(std::fabs(tx - 16515.0) <= 20.0 && tx != 16515.0, line.constData());
            }
        }
        QCOMPARE(anchors, 10);
        QCOMPARE(tags, 10);
    }
};

QTEST_GUILESS_MAIN(TestSimSite)
#include "tst_simsite.moc"
