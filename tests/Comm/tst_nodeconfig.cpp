#include "RtlsNodeConfig.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QtTest>

namespace {
QJsonObject parse(const char *json)
{
    return QJsonDocument::fromJson(json).object();
}
}

class tst_NodeConfig : public QObject
{
    Q_OBJECT

private slots:
    void serialises_data()
    {
        QTest::addColumn<QJsonObject>("input");
        QTest::addColumn<QJsonObject>("expected");
        QTest::newRow("fresh record") << QJsonObject()
            << parse(R"({"cfgId":"0","nodeOptions":"twr","nodeMask":"0xDECAFFFFFFFFFFFF",
                        "msecRefreshInterval":"100","msecTsync":"120000","secExpiration":"3600",
                        "locEngine":"1","posFilter":"ma","posFilterArg":"3","downloadRate":"1"})");
        QTest::newRow("no location engine, no filter keys")
            << parse(R"({"locEngine":0})")
            << parse(R"({"cfgId":"0","nodeOptions":"twr","nodeMask":"0xDECAFFFFFFFFFFFF",
                        "msecRefreshInterval":"100","msecTsync":"120000","secExpiration":"3600",
                        "locEngine":"0","downloadRate":"1"})");
        QTest::newRow("filter none has no argument")
            << parse(R"({"posFilter":"none","posFilterArg":"9"})")
            << parse(R"({"cfgId":"0","nodeOptions":"twr","nodeMask":"0xDECAFFFFFFFFFFFF",
                        "msecRefreshInterval":"100","msecTsync":"120000","secExpiration":"3600",
                        "locEngine":"1","posFilter":"none","downloadRate":"1"})");
        QTest::newRow("short mask padded to four digits")
            << parse(R"({"cfgId":"7","nodeMask":"1a","mode":"tdoa"})")
            << parse(R"({"cfgId":"7","nodeOptions":"tdoa","nodeMask":"0x001A",
                        "msecRefreshInterval":"100","msecTsync":"120000","secExpiration":"3600",
                        "locEngine":"1","posFilter":"ma","posFilterArg":"3","downloadRate":"1"})");
    }
    void serialises()
    {
        QFETCH(QJsonObject, input);
        QFETCH(QJsonObject, expected);
        RtlsNodeConfig config;
        config.fromJSON(input);
        QCOMPARE(config.toJSON(), expected);
        // What was written reads back into an equal record.
        RtlsNodeConfig copy;
        copy.fromJSON(config.toJSON());
        QCOMPARE(copy.toJSON(), expected);
    }

    void readsEveryAcceptedForm_data()
    {
        QTest::addColumn<QJsonObject>("input");
        QTest::addColumn<QString>("property");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("cfgId number") << parse(R"({"cfgId":7})") << "cfgId" << QVariant(7);
        QTest::newRow("cfgId string") << parse(R"({"cfgId":"7"})") << "cfgId" << QVariant(7);
        QTest::newRow("cfgId fraction") << parse(R"({"cfgId":7.9})") << "cfgId" << QVariant(7);
        QTest::newRow("cfgId bool") << parse(R"({"cfgId":true})") << "cfgId" << QVariant(0);
        QTest::newRow("cfgId huge") << parse(R"({"cfgId":1e300})") << "cfgId" << QVariant(0);
        QTest::newRow("tsync string") << parse(R"({"msecTsync":"5000"})") << "msecTsync" << QVariant(5000);
        QTest::newRow("expiration") << parse(R"({"secExpiration":60})") << "secExpiration" << QVariant(60);
        QTest::newRow("refresh") << parse(R"({"msecRefreshInterval":"250"})")
                                 << "msecRefreshInterval" << QVariant(250);
        QTest::newRow("nodeOptions wins over mode") << parse(R"({"nodeOptions":"tdoa","mode":"twr2"})")
                                                    << "mode" << QVariant(QStringLiteral("tdoa"));
        QTest::newRow("mode alone") << parse(R"({"mode":"twr2"})") << "mode" << QVariant(QStringLiteral("twr2"));
        QTest::newRow("mask with prefix") << parse(R"({"nodeMask":"0x00FF"})")
                                          << "nodeMask" << QVariant(qulonglong(0xFF));
        QTest::newRow("mask without prefix") << parse(R"({"nodeMask":"ffffffffffffffff"})")
                                             << "nodeMask" << QVariant(qulonglong(~0ULL));
        QTest::newRow("locEngine string") << parse(R"({"locEngine":"2"})") << "locEngine" << QVariant(2);
        QTest::newRow("locEngine junk") << parse(R"({"locEngine":"abc"})") << "locEngine" << QVariant(0);
        QTest::newRow("downloadRate number") << parse(R"({"downloadRate":4})") << "downloadRate" << QVariant(4);
        QTest::newRow("downloadRate string") << parse(R"({"downloadRate":"4"})") << "downloadRate" << QVariant(4);
        QTest::newRow("downloadRate not a number") << parse(R"({"downloadRate":"fast"})") << "downloadRate" << QVariant(1);
        QTest::newRow("downloadRate of another type") << parse(R"({"downloadRate":true})") << "downloadRate" << QVariant(1);
        QTest::newRow("filter arg") << parse(R"({"posFilterArg":"5"})")
                                    << "posFilterArg" << QVariant(QStringLiteral("5"));
    }
    void readsEveryAcceptedForm()
    {
        QFETCH(QJsonObject, input);
        QFETCH(QString, property);
        QFETCH(QVariant, value);
        RtlsNodeConfig config;
        config.setDownloadRate(9);
        config.fromJSON(input);
        QCOMPARE(config.property(property.toLatin1()), value);
    }

    void changeSignalsOnlyOnRealChange()
    {
        RtlsNodeConfig config;
        QList<QSignalSpy *> spies {
            new QSignalSpy(&config, &RtlsNodeConfig::cfgIdChanged),
            new QSignalSpy(&config, &RtlsNodeConfig::modeChanged),
            new QSignalSpy(&config, &RtlsNodeConfig::nodeMaskChanged),
            new QSignalSpy(&config, &RtlsNodeConfig::msecRefreshIntervalChanged),
            new QSignalSpy(&config, &RtlsNodeConfig::msecTsyncChanged),
            new QSignalSpy(&config, &RtlsNodeConfig::secExpirationChanged),
            new QSignalSpy(&config, &RtlsNodeConfig::locEngineChanged),
            new QSignalSpy(&config, &RtlsNodeConfig::posFilterChanged),
            new QSignalSpy(&config, &RtlsNodeConfig::posFilterArgChanged),
            new QSignalSpy(&config, &RtlsNodeConfig::downloadRateChanged),
        };
        const QJsonObject changed = parse(R"({"cfgId":"3","nodeOptions":"tdoa","nodeMask":"0x1234",
            "msecRefreshInterval":200,"msecTsync":"1000","secExpiration":10,"locEngine":0,
            "posFilter":"kf","posFilterArg":"7","downloadRate":2})");
        config.fromJSON(changed);
        for (QSignalSpy *spy : qAsConst(spies))
            QCOMPARE(spy->count(), 1);
        config.fromJSON(changed);
        for (QSignalSpy *spy : qAsConst(spies))
            QCOMPARE(spy->count(), 1);
        QCOMPARE(spies.at(6)->first().at(0).toBool(), false);

        // Defaults again: absent keys leave values, present ones change back.
        RtlsNodeConfig defaults;
        config.fromJSON(defaults.toJSON());
        QCOMPARE(config.toJSON().value("locEngine").toString(), QStringLiteral("1"));
        QCOMPARE(spies.at(0)->count(), 2);
        qDeleteAll(spies);
    }
};

QTEST_GUILESS_MAIN(tst_NodeConfig)
#include "tst_nodeconfig.moc"
