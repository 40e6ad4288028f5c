// What each command-line option hands to the run, and Qt's own options
// passed through to the application object.
#include "CommandLine.h"

#include <QHostAddress>
#include <QtTest>

class tst_CommandLineOptions : public QObject
{
    Q_OBJECT

private slots:
    void options_data();
    void options();
    void serviceAndRemoteView_data();
    void serviceAndRemoteView();
};

void tst_CommandLineOptions::options_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("master");
    QTest::addColumn<QString>("capture");
    QTest::addColumn<QString>("replay");
    QTest::addColumn<QString>("mqttHost");
    QTest::addColumn<int>("mqttPort");

    // Any readable file will do as the capture to replay.
    const QString capture = QStringLiteral(SENTROVA_SOURCE_DIR "/tests/App/tst_commandlineoptions.cpp");
    QTest::newRow("nothing") << QStringList{} << "" << "" << "" << "" << "" << 0;
    QTest::newRow("all of them") << QStringList{"--settings", "hall.json", "--master", "192.168.7.20", "--capture",
                                                "/tmp/run.dat", "--replay", capture, "--mqtt", "broker.lan:1884"}
                                 << "hall.json" << "192.168.7.20" << "/tmp/run.dat" << capture << "broker.lan" << 1884;
    QTest::newRow("equals signs") << QStringList{"--master=10.0.0.1", "--mqtt=10.0.0.2"} << "" << "10.0.0.1" << ""
                                  << "" << "10.0.0.2" << 1883;
    QTest::newRow("localhost master") << QStringList{"--master", "localhost"} << "" << "127.0.0.1" << "" << "" << ""
                                      << 0;
    QTest::newRow("broker v6") << QStringList{"--mqtt", "[::1]:8883"} << "" << "" << "" << "" << "::1" << 8883;
    QTest::newRow("Qt's own options pass") << QStringList{"-platform", "offscreen", "-style", "Fusion", "-reverse",
                                                          "--master", "10.0.0.9"}
                                           << "" << "10.0.0.9" << "" << "" << "" << 0;
}

void tst_CommandLineOptions::options()
{
    QFETCH(QStringList, args);
    QFETCH(QString, settings);
    QFETCH(QString, master);
    QFETCH(QString, capture);
    QFETCH(QString, replay);
    QFETCH(QString, mqttHost);
    QFETCH(int, mqttPort);

    CommandLine cl;
    QCOMPARE(cl.parse(QStringList{"/usr/bin/sentrova-manager"} + args), CommandLine::Action::Run);
    const CommandLine::Options &o = cl.options();
    QCOMPARE(o.settingsFile, settings);
    QCOMPARE(o.master ? QHostAddress(o.master).toString() : QString(), master);
    QCOMPARE(o.captureFile, capture);
    QCOMPARE(o.replayFile, replay);
    QCOMPARE(o.mqttHost, mqttHost);
    QCOMPARE(int(o.mqttPort), mqttPort);
    QVERIFY(cl.helpText().startsWith(QStringLiteral("Usage: sentrova-manager [options]")));
}

void tst_CommandLineOptions::serviceAndRemoteView_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("headless");
    QTest::addColumn<QString>("remoteHost");
    QTest::addColumn<int>("remotePort");

    QTest::newRow("neither") << QStringList{} << false << "" << 0;
    QTest::newRow("the service as its unit starts it")
        << QStringList{"--headless", "--settings", "/etc/sentrova/sentrova.json"} << true << "" << 0;
    QTest::newRow("service with master, broker and capture")
        << QStringList{"--headless", "--master", "10.0.0.1", "--mqtt", "broker", "--capture", "a.dat"} << true << ""
        << 0;
    QTest::newRow("remote view, default port") << QStringList{"--remote", "broker.lan"} << false << "broker.lan" << 1883;
    QTest::newRow("remote view with port and settings")
        << QStringList{"--remote=10.0.0.5:8883", "--settings", "view.json"} << false << "10.0.0.5" << 8883;
}

void tst_CommandLineOptions::serviceAndRemoteView()
{
    QFETCH(QStringList, args);
    QFETCH(bool, headless);
    QFETCH(QString, remoteHost);
    QFETCH(int, remotePort);

    CommandLine cl;
    QCOMPARE(cl.parse(QStringList{"sentrova-manager"} + args), CommandLine::Action::Run);
    QCOMPARE(cl.options().headless, headless);
    QCOMPARE(cl.options().remoteHost, remoteHost);
    QCOMPARE(int(cl.options().remotePort), remotePort);
    QCOMPARE(cl.options().isRemote(), !remoteHost.isEmpty());
}

QTEST_GUILESS_MAIN(tst_CommandLineOptions)
#include "tst_commandlineoptions.moc"
