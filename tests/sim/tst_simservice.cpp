// The simulator's service channel, spoken to over loopback as a manager would.
#include "SimProcess.h"

#include <QJsonArray>
#include <QRegularExpression>

class TestSimService : public QObject
{
    Q_OBJECT

private:
    SimProcess m_sim;

    static bool hasTyped(const QJsonObject &o, const QString &keyAndType)
    {
        const QString key = keyAndType.section(QLatin1Char(':'), 0, 0);
        const QString type = keyAndType.section(QLatin1Char(':'), 1, 1);
        const QJsonValue v = o.value(key);
        if (type == QLatin1String("s"))
            return v.isString();
        if (type == QLatin1String("n"))
            return v.isDouble();
        if (type == QLatin1String("a"))
            return v.isArray();
        if (type == QLatin1String("o"))
            return v.isObject();
        if (type == QLatin1String("b"))
            return v.isBool();
        return false;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(SimProcess::binary()), "build sentrova-sim first");
        QVERIFY(m_sim.start({}));
    }

    void greeting()
    {
        LineClient c;
        QVERIFY(c.connectTo(m_sim.port));
        // The manager's greeting, written back to back before any answer.
        c.sendLine("{\"command\":\"listAnchors\"}");
        c.sendLine("{\"command\":\"listNodeConfig\"}");
        c.sendLine("{\"command\":\"getTdmaScheme\"}");
        const QJsonObject anchors = QJsonDocument::fromJson(c.readLine()).object();
        const QJsonObject configs = QJsonDocument::fromJson(c.readLine()).object();
        const QJsonObject scheme = QJsonDocument::fromJson(c.readLine()).object();

        const QJsonArray list = anchors.value("anchors").toArray();
        QCOMPARE(list.size(), 10);
        int masters = 0;
        for (const QJsonValue &v : list) {
            const QJsonObject a = v.toObject();
            QVERIFY2(QRegularExpression("^0x[0-9A-F]{4,}$").match(a.value("id").toString()).hasMatch(),
                     qPrintable(a.value("id").toString()));
            QVERIFY(a.value("nodeOptions").isString());
            QVERIFY(a.value("roles").toString().startsWith("0x"));
            QVERIFY(a.value("coordinates").toObject().value("x").isDouble());
            masters += a.value("mode").toString() == "master";
        }
        QCOMPARE(masters, 1);
        const QJsonObject cfg = configs.value("nodeConfig").toArray().first().toObject();
        QCOMPARE(cfg.value("cfgId").toString(), QString("0"));
        QCOMPARE(cfg.value("nodeOptions").toString(), QString("twr"));
        QCOMPARE(cfg.value("locEngine").toString(), QString("1"));
        QCOMPARE(scheme.value("response").toString(), QString("getTdmaScheme"));
        QVERIFY(scheme.value("scheme").isDouble());
    }

    void responseForm_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QString>("response");
        QTest::addColumn<QStringList>("keys");
        QTest::newRow("version") << QByteArray("{\"command\":\"version\"}") << "version" << QStringList{"id:s"};
        QTest::newRow("listTags") << QByteArray("{\"command\":\"listTags\"}") << "listTags" << QStringList{"tags:a"};
        QTest::newRow("getUwbAntConfig") << QByteArray("{\"command\":\"getUwbAntConfig\",\"id\":\"0x1001\"}")
                                         << "getUwbAntConfig" << QStringList{"id:s", "txDelay:n", "rxDelay:n"};
        QTest::newRow("getSeat") << QByteArray("{\"command\":\"getSeat\",\"id\":\"0x1002\"}") << "getSeat"
                                 << QStringList{"id:s", "seat:n"};
        QTest::newRow("getTdmaDetails") << QByteArray("{\"command\":\"getTdmaDetails\",\"id\":\"0x1002\"}")
                                        << "tdmaDetails" << QStringList{"id:s", "clusterDetails:o"};
        QTest::newRow("getDetails anchor") << QByteArray("{\"command\":\"getDetails\",\"id\":\"0x1003\"}")
                                           << "getDetails" << QStringList{"id:s", "name:s", "mode:s", "nodeDetails:o", "coordinates:o", "roles:s", "seat:s"};
        QTest::newRow("getDetails tag, 17-bit id") << QByteArray("{\"command\":\"getDetails\",\"id\":\"0x12001\"}")
                                                   << "getDetails" << QStringList{"id:s", "vbat:n", "sensors:o"};
        QTest::newRow("getStats") << QByteArray("{\"command\":\"getStats\",\"id\":\"0x1000\"}") << "getStats"
                                  << QStringList{"id:s", "uptime:n", "memFree:n", "cpuLoad:n", "twrCnt:n", "tdoaCnt:n", "twrErrCnt:n", "reportsSent:n", "tsyncCnt:n", "dwVbat:n", "dwTemp:n", "tsyncDrift:n", "tsyncErr:n", "rawTsyncDrift:n", "rawTsyncErr:n"};
        QTest::newRow("getDist") << QByteArray("{\"command\":\"getDist\",\"id\":\"0x1000\"}") << "getDist"
                                 << QStringList{"id:s", "meas:a"};
        QTest::newRow("getPos") << QByteArray("{\"command\":\"getPos\",\"id\":\"0x1004\"}") << "getPos"
                                << QStringList{"id:s", "coordinates:o"};
        QTest::newRow("getRoles") << QByteArray("{\"command\":\"getRoles\",\"id\":\"0x1004\"}") << "getRoles"
                                  << QStringList{"id:s", "roles:s"};
        QTest::newRow("getParent") << QByteArray("{\"command\":\"getParent\",\"id\":\"0x1004\"}") << "getParent"
                                   << QStringList{"id:s", "parent:s"};
        QTest::newRow("getMode") << QByteArray("{\"command\":\"getMode\",\"id\":\"0x2002\"}") << "getMode"
                                 << QStringList{"id:s", "mode:s"};
        QTest::newRow("getFreeMask") << QByteArray("{\"command\":\"getFreeMask\",\"id\":\"0x1000\"}") << "getFreeMask"
                                     << QStringList{"id:s", "freeMask:s"};
        QTest::newRow("getOutDataFormat") << QByteArray("{\"command\":\"getOutDataFormat\"}") << "getOutDataFormat"
                                          << QStringList{"outDataFormat:s"};
        QTest::newRow("scanInfra with count") << QByteArray("{\"command\":\"scanInfra\",\"cnt\":3}") << "scanInfra"
                                              << QStringList{"status:s"};
        QTest::newRow("sensOut") << QByteArray("{\"command\":\"sensOut\",\"id\":\"0x2001\",\"mode\":\"imu\"}") << "sensOut"
                                 << QStringList{"status:s"};
        QTest::newRow("setUserData") << QByteArray("{\"command\":\"setUserData\",\"id\":\"0x2001\",\"type\":\"3\",\"text\":\"hi\"}")
                                     << "setUserData" << QStringList{"status:s"};
        QTest::newRow("setDio8") << QByteArray("{\"command\":\"setDio8\",\"id\":\"0x2001\",\"setMask\":\"0x0a\",\"clearMask\":\"0x00\",\"toggleMask\":\"0x00\",\"toggleCount\":\"0\",\"toggleWait\":\"0\"}")
                                 << "setDio8" << QStringList{"io:n"};
        QTest::newRow("setUwbConfig") << QByteArray("{\"command\":\"setUwbConfig\",\"chan\":5}") << "setUwbConfig"
                                      << QStringList{"chan:n"};
        QTest::newRow("newSess") << QByteArray("{\"command\":\"newSess\"}") << "newSess" << QStringList{"status:s"};
        QTest::newRow("discoverLegacy") << QByteArray("{\"command\":\"discoverLegacy\"}") << "discoverLegacy"
                                        << QStringList{"status:s"};
        QTest::newRow("checkFwUpdate") << QByteArray("{\"command\":\"checkFwUpdate\"}") << "checkFwUpdate"
                                       << QStringList{"status:s"};
        QTest::newRow("listFwDesc") << QByteArray("{\"command\":\"listFwDesc\"}") << "listFwDesc"
                                    << QStringList{"fwDesc:a"};
        QTest::newRow("unknown node") << QByteArray("{\"command\":\"getSeat\",\"id\":\"0x0BAD\"}") << "error"
                                      << QStringList{"error:s", "command:s"};
        QTest::newRow("setTdmaScheme out of range") << QByteArray("{\"command\":\"setTdmaScheme\",\"scheme\":14}")
                                                    << "error" << QStringList{"error:s"};
        QTest::newRow("setUwbConfig bad channel") << QByteArray("{\"command\":\"setUwbConfig\",\"chan\":6}") << "error"
                                                  << QStringList{"error:s"};
        QTest::newRow("setUwbConfig channel beyond int") << QByteArray("{\"command\":\"setUwbConfig\",\"chan\":4294967301}")
                                                         << "error" << QStringList{"error:s"};
        QTest::newRow("setOutDataFormat bad") << QByteArray("{\"command\":\"setOutDataFormat\",\"outDataFormat\":\"xml\"}")
                                              << "error" << QStringList{"error:s"};
        QTest::newRow("setPos bad axis") << QByteArray("{\"command\":\"setPos\",\"id\":\"0x1001\",\"x\":\"left\"}") << "error"
                                         << QStringList{"error:s"};
        QTest::newRow("setPos on a tag") << QByteArray("{\"command\":\"setPos\",\"id\":\"0x2001\",\"x\":1}") << "error"
                                         << QStringList{"error:s"};
        QTest::newRow("setUwbAntConfig overflow") << QByteArray("{\"command\":\"setUwbAntConfig\",\"id\":\"0x1001\",\"txDelay\":70000,\"rxDelay\":1}")
                                                  << "error" << QStringList{"error:s"};
        QTest::newRow("setNodeConfig bad mode") << QByteArray("{\"command\":\"setNodeConfig\",\"cfgId\":\"0\",\"nodeOptions\":\"fast\"}")
                                                << "error" << QStringList{"error:s"};
        QTest::newRow("setMode of the master") << QByteArray("{\"command\":\"setMode\",\"id\":\"0x1000\",\"mode\":\"tag\"}")
                                               << "error" << QStringList{"error:s"};
        QTest::newRow("enableFwDesc missing slot") << QByteArray("{\"command\":\"enableFwDesc\",\"id\":7,\"enable\":true}")
                                                   << "error" << QStringList{"error:s"};
        QTest::newRow("empty object") << QByteArray("{}") << "error" << QStringList{"error:s"};
        QTest::newRow("command not a string") << QByteArray("{\"command\":5}") << "error" << QStringList{"error:s"};
        QTest::newRow("unknown command") << QByteArray("{\"command\":\"selfDestruct\"}") << "error"
                                         << QStringList{"error:s", "command:s"};
        QTest::newRow("not JSON") << QByteArray("hello master") << "error" << QStringList{"error:s"};
        QTest::newRow("JSON array") << QByteArray("[1,2,3]") << "error" << QStringList{"error:s"};
        QTest::newRow("truncated object") << QByteArray("{\"command\":\"listTags\"") << "error"
                                          << QStringList{"error:s"};
    }

    void responseForm()
    {
        QFETCH(QByteArray, command);
        QFETCH(QString, response);
        QFETCH(QStringList, keys);
        LineClient c;
        QVERIFY(c.connectTo(m_sim.port));
        const QJsonObject r = c.request(command);
        QCOMPARE(r.value("response").toString(), response);
        for (const QString &k : keys)
            QVERIFY2(hasTyped(r, k), qPrintable(k + " in " + QJsonDocument(r).toJson(QJsonDocument::Compact)));
        // Whatever came before, the channel still answers.
        QCOMPARE(c.request(QByteArray("{\"command\":\"ping\"}")).value("response").toString(), QString("ping"));
    }

    void stateKept_data()
    {
        QTest::addColumn<QByteArray>("setter");
        QTest::addColumn<QByteArray>("getter");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("seat") << QByteArray("{\"command\":\"setSeat\",\"id\":\"0x1005\",\"seat\":\"12\"}")
                              << QByteArray("{\"command\":\"getSeat\",\"id\":\"0x1005\"}") << "seat" << "12";
        QTest::newRow("roles set") << QByteArray("{\"command\":\"setRoles\",\"id\":\"0x1006\",\"roles\":\"0x001F\"}")
                                   << QByteArray("{\"command\":\"getRoles\",\"id\":\"0x1006\"}") << "roles" << "0x001F";
        QTest::newRow("roles add") << QByteArray("{\"command\":\"addRoles\",\"id\":\"0x1006\",\"roles\":\"0x0100\"}")
                                   << QByteArray("{\"command\":\"getRoles\",\"id\":\"0x1006\"}") << "roles" << "0x011F";
        QTest::newRow("roles remove") << QByteArray("{\"command\":\"removeRoles\",\"id\":\"0x1006\",\"roles\":\"0x0003\"}")
                                      << QByteArray("{\"command\":\"getRoles\",\"id\":\"0x1006\"}") << "roles" << "0x011C";
        QTest::newRow("mode") << QByteArray("{\"command\":\"setMode\",\"id\":\"0x200A\",\"mode\":\"offline\"}")
                              << QByteArray("{\"command\":\"getMode\",\"id\":\"0x200A\"}") << "mode" << "offline";
        QTest::newRow("parent") << QByteArray("{\"command\":\"setParent\",\"id\":\"0x1007\",\"parent\":\"0x1000\",\"group\":\"0x1000\"}")
                                << QByteArray("{\"command\":\"getParent\",\"id\":\"0x1007\"}") << "parent" << "0x1000";
        QTest::newRow("group") << QByteArray("{\"command\":\"setGroup\",\"id\":\"0x1007\",\"group\":\"4\"}")
                               << QByteArray("{\"command\":\"getParent\",\"id\":\"0x1007\"}") << "group" << "4";
        QTest::newRow("tdma scheme") << QByteArray("{\"command\":\"setTdmaScheme\",\"scheme\":13}")
                                     << QByteArray("{\"command\":\"getTdmaScheme\"}") << "scheme" << "13";
        QTest::newRow("output format") << QByteArray("{\"command\":\"setOutDataFormat\",\"outDataFormat\":\"tlv\"}")
                                       << QByteArray("{\"command\":\"getOutDataFormat\"}") << "outDataFormat" << "tlv";
        QTest::newRow("antenna delays as strings") << QByteArray("{\"command\":\"setUwbAntConfig\",\"id\":\"0x1003\",\"txDelay\":\"16400\",\"rxDelay\":16401}")
                                                   << QByteArray("{\"command\":\"getUwbAntConfig\",\"id\":\"0x1003\"}") << "txDelay" << "16400";
        QTest::newRow("coordinate") << QByteArray("{\"command\":\"setPos\",\"id\":\"0x1002\",\"x\":19.875,\"y\":\"auto\"}")
                                    << QByteArray("{\"command\":\"getPos\",\"id\":\"0x1002\"}") << "coordinates" << "{\"x\":19.875,\"z\":2.2}";
        QTest::newRow("node configuration") << QByteArray("{\"command\":\"setNodeConfig\",\"cfgId\":\"0\",\"nodeOptions\":\"twr\",\"msecRefreshInterval\":\"200\",\"locEngine\":\"0\",\"downloadRate\":\"1\"}")
                                            << QByteArray("{\"command\":\"listNodeConfig\"}") << "nodeConfig" << "[{\"cfgId\":\"0\",\"downloadRate\":\"1\",\"locEngine\":\"0\",\"msecRefreshInterval\":\"200\",\"msecTsync\":\"120000\",\"nodeMask\":\"0xDECAFFFFFFFFFFFF\",\"nodeOptions\":\"twr\",\"secExpiration\":\"3600\"}]";
        QTest::newRow("configuration removed") << QByteArray("{\"command\":\"removeNodeConfig\"}")
                                               << QByteArray("{\"command\":\"listNodeConfig\"}") << "nodeConfig" << "[{\"cfgId\":\"0\",\"downloadRate\":\"1\",\"locEngine\":\"1\",\"msecRefreshInterval\":\"100\",\"msecTsync\":\"120000\",\"nodeMask\":\"0xDECAFFFFFFFFFFFF\",\"nodeOptions\":\"twr\",\"posFilter\":\"ma\",\"posFilterArg\":\"3\",\"secExpiration\":\"3600\"}]";
    }

    // Set on one connection, read back on another: the state is the site's.
    void stateKept()
    {
        QFETCH(QByteArray, setter);
        QFETCH(QByteArray, getter);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        LineClient a, b;
        QVERIFY(a.connectTo(m_sim.port));
        QVERIFY(b.connectTo(m_sim.port));
        const QJsonObject set = a.request(setter);
        QVERIFY2(set.value("response").toString() != "error", setter.constData());
        const QJsonValue v = b.request(getter).value(key);
        QString text;
        if (v.isString())
            text = v.toString();
        else if (v.isDouble())
            text = QString::number(v.toDouble());
        else if (v.isObject())
            text = QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact);
        else
            text = QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact);
        QCOMPARE(text, expected);
    }

    void removedAnchorCoordinates()
    {
        LineClient c;
        QVERIFY(c.connectTo(m_sim.port));
        QCOMPARE(c.request(QByteArray("{\"command\":\"removeAnchorCoor\"}")).value("status").toString(), QString("ok"));
        const QJsonArray anchors = c.request(QByteArray("{\"command\":\"listAnchors\"}")).value("anchors").toArray();
        for (const QJsonValue &a : anchors)
            QVERIFY(!a.toObject().contains("coordinates"));
        QVERIFY(c.request(QByteArray("{\"command\":\"getPos\",\"id\":\"0x1001\"}")).value("coordinates").toObject().isEmpty());
    }

    void removedAnchorsRejoinOnScan()
    {
        LineClient c;
        QVERIFY(c.connectTo(m_sim.port));
        c.request(QByteArray("{\"command\":\"removeAnchors\"}"));
        QCOMPARE(c.request(QByteArray("{\"command\":\"listAnchors\"}")).value("anchors").toArray().size(), 1);
        c.request(QByteArray("{\"command\":\"scanInfra\"}"));
        QCOMPARE(c.request(QByteArray("{\"command\":\"listAnchors\"}")).value("anchors").toArray().size(), 10);
    }

    void pingLiteral()
    {
        LineClient c;
        QVERIFY(c.connectTo(m_sim.port));
        c.sendLine("{\"command\":\"ping\"}");
        // The manager drops keep-alive answers by this exact text.
        QVERIFY(c.readLine().contains("\"response\":\"ping\""));
    }

    void splitAndJoinedLines()
    {
        LineClient c;
        QVERIFY(c.connectTo(m_sim.port));
        c.socket.write("{\"command\":\"pi");
        c.socket.flush();
        QTest::qWait(50);
        c.socket.write("ng\"}\n{\"command\":\"version\"}\n\n");
        QCOMPARE(QJsonDocument::fromJson(c.readLine()).object().value("response").toString(), QString("ping"));
        QCOMPARE(QJsonDocument::fromJson(c.readLine()).object().value("response").toString(), QString("version"));
    }

    void endlessLineIsRefused()
    {
        LineClient c;
        QVERIFY(c.connectTo(m_sim.port));
        c.socket.write(QByteArray(200 * 1024, 'x'));
        QCOMPARE(QJsonDocument::fromJson(c.readLine()).object().value("response").toString(), QString("error"));
        c.socket.write("\n");
        QCOMPARE(c.request(QByteArray("{\"command\":\"ping\"}")).value("response").toString(), QString("ping"));
    }

    // Must stay last: a reset drops every connection of the simulator.
    void resetClosesEveryConnection()
    {
        LineClient a, b;
        QVERIFY(a.connectTo(m_sim.port));
        QVERIFY(b.connectTo(m_sim.port));
        QCOMPARE(a.request(QByteArray("{\"command\":\"reset\"}")).value("response").toString(), QString("reset"));
        QTRY_COMPARE_WITH_TIMEOUT(a.socket.state(), QAbstractSocket::UnconnectedState, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(b.socket.state(), QAbstractSocket::UnconnectedState, 10000);
        LineClient again;
        QVERIFY(again.connectTo(m_sim.port));
        QCOMPARE(again.request(QByteArray("{\"command\":\"ping\"}")).value("response").toString(), QString("ping"));
        QCOMPARE(m_sim.terminate(), 0);
    }
};

QTEST_GUILESS_MAIN(TestSimService)
#include "tst_simservice.moc"
