// A remote view: this test's window is a manager started as with --remote,
// showing the site that a real headless service publishes on Debian's
// mosquitto, with the real simulator as the site (in a private network
// namespace, under Xvfb). What the user sees is the site; what goes on the
// wire from the view is nothing but the broker connection.
#include "AppTestEnvironment.h"
#include "Comm/MosquittoBroker.h"
#include "Comm/MqttTestSubscriber.h"
#include "Dispatch.h"
#include "MainWindow.h"
#include "MapScene.h"
#include "MapTab.h"
#include "MapZone.h"
#include "NodeDetailTab.h"
#include "NodeObject.h"
#include "RemoteSite.h"
#include "RtlsLs.h"
#include "RtlsObject.h"
#include "RtlsPos.h"
#include "RtlsSvc.h"
#include "SentrovaInterface.h"
#include "e2e/HeadlessProcess.h"
#include "e2e/LoggedProcess.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QGLViewer/camera.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QtTest>

#include <memory>

using qglviewer::Vec;

namespace {

constexpr int kLongWait = 60000;

// The sockets of this process, from /proc: protocol and the ports at both ends.
struct Socket
{
    QString protocol;
    quint16 localPort = 0;
    quint16 remotePort = 0;
};

QList<Socket> ownSockets()
{
    QSet<QString> inodes;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = QFile::symLinkTarget(fds.filePath(fd));
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("socket:\\[(\\d+)\\]")).match(target);
        if (m.hasMatch())
            inodes.insert(m.captured(1));
    }
    QList<Socket> out;
    for (const char *protocol : {"tcp", "tcp6", "udp", "udp6"}) {
        QFile table(QStringLiteral("/proc/self/net/%1").arg(QLatin1String(protocol)));
        if (!table.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> lines = table.readAll().split('\n');
        for (int i = 1; i < lines.size(); ++i) {
            const QList<QByteArray> f = lines[i].simplified().split(' ');
            if (f.size() < 10 || !inodes.contains(QString::fromLatin1(f[9])))
                continue;
            Socket s;
            s.protocol = QLatin1String(protocol);
            s.localPort = quint16(f[1].split(':').last().toUInt(nullptr, 16));
            s.remotePort = quint16(f[2].split(':').last().toUInt(nullptr, 16));
            out.append(s);
        }
    }
    return out;
}

} // namespace

class tst_RemoteView : public QObject
{
    Q_OBJECT

public:
    static void initMain()
    {
        AppTestEnvironment::isolate();
        // As main() does for --remote, before the hub exists.
        SentrovaInterface::setRemoteAtStart(true);
    }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void nodeListShowsTheSite();
    void tagRowAndGlyphFollowTheReports();
    void publishedZoneIsDrawnAndCountsTags();
    void commandsAreDisabledAndNothingGoesToTheSite();

private:
    void dumpOnFailure();
    QList<QTreeWidgetItem *> rows() const;
    MapZone *zoneNamed(const QString &name) const;

    MosquittoBroker m_broker;
    std::unique_ptr<MqttTestSubscriber> m_sub;
    LoggedProcess m_sim;
    HeadlessProcess m_service;
    QTemporaryDir m_serviceHome;
    std::unique_ptr<MainWindow> m_window;
    int m_simConnections = 0;
    int m_simBroadcasts = 0;
    int m_simMdns = 0;
};

void tst_RemoteView::initTestCase()
{
    if (qEnvironmentVariable("SENTROVA_IN_NETNS") != QLatin1String("1"))
        QSKIP("needs the private network namespace of tests/netns-run.sh (the site's fixed ports)");
    if (MosquittoBroker::binary().isEmpty())
        QSKIP(qPrintable(MosquittoBroker::missingMessage()));
    QVERIFY(m_broker.start());
    m_sub = std::make_unique<MqttTestSubscriber>();
    QVERIFY(m_sub->subscribe(m_broker.port, "rv/#"));

    QProcessEnvironment simEnv = QProcessEnvironment::systemEnvironment();
    simEnv.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("sentrova.sim.info=true"));
    m_sim.start(QStringLiteral(SENTROVA_BIN_DIR "/sim/sentrova-sim"), {"--seed", "7", "--bind", "192.0.2.2"}, simEnv,
                m_serviceHome.path());
    QTRY_VERIFY_WITH_TIMEOUT(m_sim.contains(QStringLiteral("READY")), kLongWait);

    // The site's service: the master found by discovery, a zone over the
    // west of the hall (level 1: red with one tag in it).
    const QJsonObject west{{"id", "0x00A1"}, {"name", "West"},  {"x", -2.0},    {"y", -1.0},
                           {"z", -1.0},      {"length", 12.0},  {"width", 17.0}, {"height", 6.0}, {"level", 1}};
    const QString settings = m_serviceHome.filePath(QStringLiteral("service.json"));
    {
        QFile f(settings);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QJsonDocument(QJsonObject{{"mqtt", QJsonObject{{"enabled", true},
                                                               {"host", "127.0.0.1"},
                                                               {"port", int(m_broker.port)},
                                                               {"topicPrefix", "rv"}}},
                                          {"zone", QJsonArray{west}}})
                    .toJson());
    }
    m_service.start(m_serviceHome.path(), {"--settings", settings});
    QTRY_VERIFY_WITH_TIMEOUT(m_sub->count("rv/tags/") >= 20, kLongWait);
    QTRY_VERIFY_WITH_TIMEOUT(m_sim.contains(QStringLiteral("service client connected")), kLongWait);
    m_simConnections = m_sim.count(QStringLiteral("service client connected"));
    m_simBroadcasts = m_sim.count(QStringLiteral("broadcast version request"));
    m_simMdns = m_sim.count(QStringLiteral("mDNS answer to"));

    // The view: its own settings file names only the topic prefix (and a
    // master and a zone of its own, which a remote view does not use).
    {
        QFile f(QStringLiteral("sentrova.json"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QJsonDocument(QJsonObject{{"mqtt", QJsonObject{{"topicPrefix", "rv"}}},
                                          {"master", QJsonObject{{"ip", "192.0.2.2"}}},
                                          {"zone", QJsonArray{QJsonObject{{"id", "0x0BAD"}, {"name", "Local"}}}}})
                    .toJson());
    }
    SentrovaInterface *hub = SentrovaInterface::instance();
    QVERIFY(hub->isRemote());
    hub->remoteSite()->setBrokerOverride(QStringLiteral("127.0.0.1"), m_broker.port);
    m_window = std::make_unique<MainWindow>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QTRY_VERIFY_WITH_TIMEOUT(hub->remoteSite()->isConnected(), kLongWait);
}

void tst_RemoteView::cleanupTestCase()
{
    m_window.reset();
    m_service.stop();
    m_sim.stop();
}

void tst_RemoteView::dumpOnFailure()
{
    if (!QTest::currentTestFailed())
        return;
    qWarning().noquote() << "---- service ----\n" << m_service.out().right(8000);
    qWarning().noquote() << "---- simulator ----\n" << m_sim.log().right(5000);
    if (auto *console = m_window->findChild<QPlainTextEdit *>())
        qWarning().noquote() << "---- view console ----\n" << console->toPlainText().right(8000);
}

QList<QTreeWidgetItem *> tst_RemoteView::rows() const
{
    QList<QTreeWidgetItem *> out;
    auto *tree = m_window->findChild<QTreeWidget *>(QStringLiteral("nodesTree"));
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        if ((*it)->parent())
            out.append(*it);
    return out;
}

MapZone *tst_RemoteView::zoneNamed(const QString &name) const
{
    for (MapZone *zone : m_window->findChild<MapTab *>()->scene()->zones())
        if (zone->name() == name)
            return zone;
    return nullptr;
}

void tst_RemoteView::nodeListShowsTheSite()
{
    auto rowsIn = [this](const QString &group) {
        QStringList names;
        for (QTreeWidgetItem *row : rows())
            if (row->parent()->data(0, Qt::UserRole).toString() == group)
                names << row->text(0);
        return names;
    };
    // The default site: a master, nine anchors and ten tags.
    QTRY_VERIFY_WITH_TIMEOUT(rowsIn(QStringLiteral("ANCHOR")).size() >= 9, kLongWait);
    QTRY_VERIFY_WITH_TIMEOUT(rowsIn(QStringLiteral("TAG")).size() >= 8, kLongWait);
    QTRY_VERIFY_WITH_TIMEOUT(SentrovaInterface::instance()->node(0x1000) != nullptr, kLongWait);

    // Anchors stand where the master has them (from their retained status).
    SentrovaInterface *hub = SentrovaInterface::instance();
    RtlsObject *anchor = hub->node(0x1001);
    QVERIFY(anchor);
    QCOMPARE(anchor->mode(), QStringLiteral("anchor"));
    QVERIFY(hub->isAnchor(0x1001));
    const QJsonObject published = m_sub->on("rv/nodes/0x1001/status").last().json();
    QVERIFY(published.contains("x"));
    QVERIFY(std::abs(double(anchor->pos()->x()) - published.value("x").toDouble()) < 1e-3);
    QVERIFY(std::abs(double(anchor->pos()->y()) - published.value("y").toDouble()) < 1e-3);
    NodeObject *glyph = m_window->findChild<MapTab *>()->scene()->nodeObject(0x1001);
    QVERIFY(glyph);
    QVERIFY(std::abs(glyph->frame().position().x - published.value("x").toDouble()) < 1e-3);
    // The view's own settings named a master and a zone: neither is used.
    QVERIFY(!zoneNamed(QStringLiteral("Local")));
    dumpOnFailure();
}

void tst_RemoteView::tagRowAndGlyphFollowTheReports()
{
    SentrovaInterface *hub = SentrovaInterface::instance();
    MapScene *scene = m_window->findChild<MapTab *>()->scene();
    // A walking tag of the default site.
    const uint64_t id = 0x2001;
    QTRY_VERIFY_WITH_TIMEOUT(hub->node(id) && scene->nodeObject(id) && scene->nodeObject(id)->isPlaced(), kLongWait);
    RtlsObject *tag = hub->node(id);
    QCOMPARE(tag->mode(), QStringLiteral("tag"));
    QVERIFY(!hub->isAnchor(id));
    const Vec first = scene->nodeObject(id)->frame().position();
    QTRY_VERIFY_WITH_TIMEOUT((scene->nodeObject(id)->frame().position() - first).norm() > 0.5, kLongWait);

    // Where the view has it is where the service last published it.
    auto published = [this] {
        QList<QJsonObject> out;
        for (const MqttTestSubscriber::Message &m : m_sub->on(QByteArrayLiteral("rv/tags/0x2001/position")))
            out.append(m.json());
        return out;
    };
    auto matchesOneOfTheLast = [&] {
        const QList<QJsonObject> sent = published();
        const Vec at = scene->nodeObject(id)->frame().position();
        for (int i = std::max(0, int(sent.size()) - 20); i < sent.size(); ++i)
            if (std::abs(sent[i].value("x").toDouble() - at.x) < 0.002 && std::abs(sent[i].value("y").toDouble() - at.y) < 0.002)
                return true;
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(matchesOneOfTheLast(), kLongWait);

    // Its row, selected, shows the tag; its details follow the reports.
    QTreeWidgetItem *row = nullptr;
    for (QTreeWidgetItem *r : rows())
        if (r->data(0, Qt::UserRole).toULongLong() == id)
            row = r;
    QVERIFY(row);
    QCOMPARE(row->parent()->data(0, Qt::UserRole).toString(), QStringLiteral("TAG"));
    Dispatch::instance()->emitIdSelected(id);
    auto *title = m_window->findChild<NodeDetailTab *>()->findChild<QLabel *>(QStringLiteral("title"));
    QVERIFY(title);
    QTRY_VERIFY_WITH_TIMEOUT(title->text().contains(tag->name()), kLongWait);
    dumpOnFailure();
}

void tst_RemoteView::publishedZoneIsDrawnAndCountsTags()
{
    MapTab *map = m_window->findChild<MapTab *>();
    MapZone *west = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((west = zoneNamed(QStringLiteral("West"))) != nullptr, kLongWait);
    QCOMPARE(west->id(), qulonglong(0xA1));
    QCOMPARE(west->length(), 12.0);
    // The tags walking in it are counted by the view itself.
    QTRY_VERIFY_WITH_TIMEOUT(!west->nodesInside().isEmpty(), kLongWait);
    for (uint64_t id : west->nodesInside())
        QCOMPARE(SentrovaInterface::instance()->node(id)->mode(), QStringLiteral("tag"));

    // Drawn: its outline at the edge y = -1, in its level colour (red).
    m_window->findChild<QTabWidget *>()->setCurrentWidget(map);
    map->fitCameraTop();
    const Vec edge(4, -1, -1);
    auto red = [&] {
        const QImage frame = map->grabFramebuffer();
        const Vec s = map->camera()->projectedCoordinatesOf(edge);
        for (int dy = -3; dy <= 3; ++dy)
            for (int dx = -3; dx <= 3; ++dx) {
                const QColor c = frame.pixelColor(int(s.x) + dx, int(s.y) + dy);
                if (c.red() > 200 && c.green() < 60 && c.blue() < 60)
                    return true;
            }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(red(), kLongWait);
    dumpOnFailure();
}

void tst_RemoteView::commandsAreDisabledAndNothingGoesToTheSite()
{
    SentrovaInterface *hub = SentrovaInterface::instance();
    int disabled = 0;
    for (QAction *action : m_window->findChildren<QAction *>()) {
        const QString text = action->text();
        if (text == QLatin1String("&Scan master") || text == QLatin1String("&Reset master")
            || text == QLatin1String("List anchors") || text == QLatin1String("Send JSON")
            || text == QLatin1String("Firmware update") || text == QLatin1String("Read all distances")) {
            QVERIFY2(!action->isEnabled(), qPrintable(text));
            QVERIFY(action->toolTip().contains(QStringLiteral("remote view")));
            ++disabled;
        }
    }
    QCOMPARE(disabled, 6);
    // A command that still reaches the hub goes nowhere.
    hub->sendJsonString(QStringLiteral("{\"command\":\"version\"}"));
    hub->listAnchors();

    // No stream port, no discovery, no service channel; every TCP socket of
    // this process goes to the broker, and none is UDP.
    QCOMPARE(hub->locationStream()->lsPort(), quint16(0));
    QVERIFY(!hub->discovery());
    QCOMPARE(hub->svc()->clientCount(), 0);
    for (const Socket &s : ownSockets()) {
        QVERIFY2(!s.protocol.startsWith(QLatin1String("udp")), qPrintable(QString::number(s.localPort)));
        QVERIFY2(s.remotePort == m_broker.port, qPrintable(QString::number(s.remotePort)));
    }
    // The simulator's own log: the service's one connection, and no
    // broadcast or multicast DNS question since the view started (a
    // LAN window asks at once and every 5 s).
    QCOMPARE(m_sim.count(QStringLiteral("service client connected")), m_simConnections);
    QCOMPARE(m_sim.count(QStringLiteral("broadcast version request")), m_simBroadcasts);
    QCOMPARE(m_sim.count(QStringLiteral("mDNS answer to")), m_simMdns);
    QVERIFY(!m_sim.contains(QStringLiteral("\"command\":\"version\"")));
    dumpOnFailure();
}

QTEST_MAIN(tst_RemoteView)
#include "tst_remoteview.moc"
