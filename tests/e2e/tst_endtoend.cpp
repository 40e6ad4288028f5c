// Starts the simulator and the manager as separate processes and follows a
// whole session through their logs: the manager's console category and the
// simulator's view of every command it received.
#include "e2e/LoggedProcess.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {

constexpr int kLongWait = 40000;

QString binary(const char *relative)
{
    return QStringLiteral(SENTROVA_BIN_DIR "/") + QLatin1String(relative);
}

} // namespace

class tst_EndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void discoveryGreetingPingAndLoss();
    void settingsFileAddressAndPositionPush();

private:
    void startSim(const QStringList &extra);
    void startManager();
    void writeSettings(const QJsonObject &doc);
    void dumpLogsOnFailure();

    QTemporaryDir *m_home = nullptr;
    LoggedProcess *m_sim = nullptr;
    LoggedProcess *m_manager = nullptr;
};

void tst_EndToEnd::initTestCase()
{
    if (qEnvironmentVariable("SENTROVA_IN_NETNS") != QLatin1String("1"))
        QSKIP("needs the private network namespace of tests/netns-run.sh");
    QVERIFY(QFile::exists(binary("sim/sentrova-sim")));
    QVERIFY(QFile::exists(binary("src/App/sentrova-manager")));
}

void tst_EndToEnd::init()
{
    m_home = new QTemporaryDir;
    QVERIFY(m_home->isValid());
    m_sim = new LoggedProcess;
    m_manager = new LoggedProcess;
}

void tst_EndToEnd::cleanup()
{
    dumpLogsOnFailure();
    delete m_manager;
    delete m_sim;
    delete m_home;
    m_manager = nullptr;
    m_sim = nullptr;
    m_home = nullptr;
}

void tst_EndToEnd::dumpLogsOnFailure()
{
    if (!QTest::currentTestFailed())
        return;
    m_manager->stop();
    m_sim->stop();
    qWarning().noquote() << "---- manager log ----\n" << m_manager->log().right(20000);
    qWarning().noquote() << "---- simulator log ----\n" << m_sim->log().right(20000);
}

void tst_EndToEnd::startSim(const QStringList &extra)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("sentrova.sim.info=true"));
    m_sim->start(binary("sim/sentrova-sim"), QStringList{QStringLiteral("--seed"), QStringLiteral("3")} + extra,
                 env, m_home->path());
    QTRY_VERIFY_WITH_TIMEOUT(m_sim->contains(QStringLiteral("READY")), kLongWait);
}

void tst_EndToEnd::startManager()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), m_home->path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home->filePath(QStringLiteral(".config")));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("sentrova.console.info=true"));
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_manager->start(binary("src/App/sentrova-manager"), {}, env, m_home->path());
    QTRY_VERIFY_WITH_TIMEOUT(m_manager->contains(QStringLiteral("Ready.")), kLongWait);
}

void tst_EndToEnd::writeSettings(const QJsonObject &doc)
{
    QFile f(m_home->filePath(QStringLiteral("sentrova.json")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QJsonDocument(doc).toJson());
}

void tst_EndToEnd::discoveryGreetingPingAndLoss()
{
    startSim({});
    startManager();

    // Found by multicast DNS, then greeted with the three requests.
    QVERIFY(m_manager->contains(QStringLiteral("mDNS query for _svc_sentrova._tcp.local.")));
    QTRY_VERIFY_WITH_TIMEOUT(m_manager->matches(QRegularExpression(QStringLiteral("Master detected at 192\\.0\\.2\\.\\d"))),
                             kLongWait);
    QTRY_VERIFY_WITH_TIMEOUT(m_sim->contains(QStringLiteral("\"command\":\"getTdmaScheme\"")), kLongWait);
    QVERIFY(m_sim->contains(QStringLiteral("\"command\":\"listAnchors\"")));
    QVERIFY(m_sim->contains(QStringLiteral("\"command\":\"listNodeConfig\"")));
    QTRY_VERIFY_WITH_TIMEOUT(m_manager->contains(QStringLiteral("\"response\":\"listAnchors\"")), kLongWait);

    // Tags move in the model: they are announced and then fall silent once
    // the site is gone. The keep-alive comes every 10 s.
    QTRY_VERIFY_WITH_TIMEOUT(m_sim->contains(QStringLiteral("\"command\":\"ping\"")), kLongWait);

    m_sim->stop();
    QTRY_VERIFY_WITH_TIMEOUT(m_manager->contains(QStringLiteral("has disconnected.")), kLongWait);
    QTRY_VERIFY_WITH_TIMEOUT(m_manager->contains(QStringLiteral("No Masters left. Rescanning for masters...")),
                             kLongWait);
    QTRY_VERIFY_WITH_TIMEOUT(m_manager->count(QStringLiteral("mDNS query for")) >= 2, kLongWait);
    QTRY_VERIFY_WITH_TIMEOUT(m_manager->matches(QRegularExpression(QStringLiteral("node 0x[0-9a-f]{4,} gone inactive"))),
                             kLongWait);
}

void tst_EndToEnd::settingsFileAddressAndPositionPush()
{
    // With neither multicast DNS nor broadcast, only the address in the
    // settings file leads to the site.
    startSim({QStringLiteral("--no-mdns"), QStringLiteral("--no-broadcast")});

    QJsonObject anchor{{QStringLiteral("id"), QStringLiteral("0x1001")},
                       {QStringLiteral("name"), QStringLiteral("pushed")},
                       {QStringLiteral("mode"), QStringLiteral("anchor")},
                       {QStringLiteral("coordinates"),
                        QJsonObject{{QStringLiteral("x"), 1.25}, {QStringLiteral("y"), 2.5}, {QStringLiteral("z"), 3.0}}}};
    writeSettings(QJsonObject{{QStringLiteral("node"), QJsonArray{anchor}},
                              {QStringLiteral("master"), QJsonObject{{QStringLiteral("ip"), QStringLiteral("192.0.2.2")},
                                                                     {QStringLiteral("externalEngine"), true}}}});
    startManager();

    QTRY_VERIFY_WITH_TIMEOUT(
        m_manager->contains(QStringLiteral("Connecting to the master using provided IP address 192.0.2.2")), kLongWait);
    QTRY_VERIFY_WITH_TIMEOUT(m_sim->contains(QStringLiteral("\"command\":\"listAnchors\"")), kLongWait);
    // The anchor is pushed its stored position once the master lists it.
    QTRY_VERIFY_WITH_TIMEOUT(m_sim->matches(QRegularExpression(
                                 QStringLiteral("\"command\":\"setPos\"[^\\n]*\"id\":\"0x1001\"|\"id\":\"0x1001\"[^\\n]*\"command\":\"setPos\""))),
                             kLongWait);
    QVERIFY(m_sim->matches(QRegularExpression(QStringLiteral("setPos[^\\n]*\"x\":1\\.25"))));
}

QTEST_GUILESS_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
