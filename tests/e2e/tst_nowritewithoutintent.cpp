// A user who only looks: the whole window against the simulated site on the
// protocol's service port, the settings file loaded, every tab opened, every
// read or refresh button pressed (never Apply or Set), the settings saved,
// the window closed and the program started again with the saved file. The
// master, whose own log is read, must not receive one write.
#include "App/AppTestEnvironment.h"
#include "App/ModalDialog.h"
#include "Dispatch.h"
#include "MainWindow.h"
#include "NodeDetailTab.h"
#include "Preferences.h"
#include "RtlsObject.h"
#include "RtlsSvc.h"
#include "SentrovaInterface.h"
#include "e2e/LoggedProcess.h"

#include <QAction>
#include <QDockWidget>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QWindow>
#include <QtTest>

namespace {

constexpr int kWait = 40000;
constexpr uint64_t kNorth = 0x1001;
constexpr uint64_t kUnplaced = 0x1004;

QString binary(const char *relative)
{
    return QStringLiteral(SENTROVA_BIN_DIR "/") + QLatin1String(relative);
}

// Commands that change something at a master.
const QStringList &writeCommands()
{
    static const QStringList commands{QStringLiteral("setPos"),        QStringLiteral("setUwbAntConfig"),
                                      QStringLiteral("setNodeConfig"), QStringLiteral("setTdmaScheme"),
                                      QStringLiteral("setRoles"),      QStringLiteral("setMode")};
    return commands;
}

// Buttons that only read or refresh: each is pressed. Those that open a
// message box are answered.
const QStringList &readButtons()
{
    static const QStringList texts{
        QStringLiteral("List Anchors"),           QStringLiteral("Read all details"),
        QStringLiteral("Read all distances"),     QStringLiteral("Show setPos() Commands"),
        QStringLiteral("Check layout"),           QStringLiteral("Get Current Delays"),
        QStringLiteral("Get TDMA Schemes"),       QStringLiteral("Read values"),
        QStringLiteral("Show Help"),              QStringLiteral("Scan Infra"),
        QStringLiteral("Create Calibration List"), QStringLiteral("Read Calibration Values"),
        QStringLiteral("Scan and read distances"), QStringLiteral("Compute"),
        QStringLiteral("Read current delays"),    QStringLiteral("Get Statistics"),
        QStringLiteral("Read anchor ranges"),
    };
    return texts;
}

const QStringList &dialogButtons()
{
    static const QStringList texts{QStringLiteral("Show setPos() Commands"), QStringLiteral("Show Help")};
    return texts;
}

// Buttons that write, change the view's own state or open a file dialog:
// never pressed here. A button in neither list fails the test, so that a
// new one is sorted into one of them.
const QStringList &otherButtons()
{
    static const QStringList texts{
        QStringLiteral("Edit mode"),          QStringLiteral("Apply new coordinates"),
        QStringLiteral("Clear all Anchor coordinates"), QStringLiteral("Set New Delays"),
        QStringLiteral("Set TDMA Scheme"),    QStringLiteral("Apply"),
        QStringLiteral("Set output to JSON"), QStringLiteral("Set output to TLV"),
        QStringLiteral("Apply New Calibrations"), QStringLiteral("Use the tag's position"),
        QStringLiteral("Start collecting"),   QStringLiteral("Clear samples"),
        QStringLiteral("Add Zone"),           QStringLiteral("Remove Zone"),
        QStringLiteral("Revert"),             QStringLiteral("Browse..."),
        QStringLiteral("Reset"),              QStringLiteral("Start"),
        QStringLiteral("Stop"),               QStringLiteral("Clear"),
        QStringLiteral("Export CSV..."),      QStringLiteral("Settings..."),
        QStringLiteral("Add point"),          QStringLiteral("Remove point"),
        QStringLiteral("Paste points"),       QStringLiteral("Import CSV..."),
        QStringLiteral("Export report..."),   QStringLiteral("Connect to master…"),
    };
    return texts;
}

} // namespace

class tst_NoWriteWithoutIntent : public QObject
{
    Q_OBJECT

public:
    static void initMain() { AppTestEnvironment::isolate(); }

private slots:
    void initTestCase();
    void lookingAroundWritesNothing();
    void aStartWithTheSavedFileWritesNothing();
    void cleanupTestCase();

private:
    // The commands the master received, in order, as its log shows them.
    QStringList received(int from = 0, const QString &peer = QString()) const;
    // The first client that sent something from that log line on.
    QString firstPeer(int from) const;
    QStringList writesReceived() const;
    void pressReadButtons(QWidget *page, QStringList *pressed);
    bool answered(const char *response, int before) const;
    int answers(const char *response) const;

    LoggedProcess m_sim;
    LoggedProcess m_manager;
    QTemporaryDir m_secondHome;
    QString m_settings;
    QSignalSpy *m_answers = nullptr;
};

void tst_NoWriteWithoutIntent::initTestCase()
{
    if (qEnvironmentVariable("SENTROVA_IN_NETNS") != QLatin1String("1"))
        QSKIP("needs the private network namespace of tests/netns-run.sh");
    QVERIFY(QFile::exists(binary("sim/sentrova-sim")));
    QVERIFY(QFile::exists(binary("src/App/sentrova-manager")));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("sentrova.sim.info=true"));
    m_sim.start(binary("sim/sentrova-sim"),
                {QStringLiteral("--bind"), QStringLiteral("127.0.0.1"), QStringLiteral("--no-mdns"),
                 QStringLiteral("--no-broadcast"), QStringLiteral("--seed"), QStringLiteral("11"),
                 QStringLiteral("--site"), QStringLiteral(SENTROVA_SOURCE_DIR "/tests/Tools/site_nodetools.json")},
                env, QDir::currentPath());
    QTRY_VERIFY_WITH_TIMEOUT(m_sim.contains(QStringLiteral("READY")), kWait);

    // A settings file as an earlier version may have left it: an anchor with
    // the coordinates the master has, one with an empty "coordinates" object
    // (the master knows none of its coordinates), one without, a tag.
    m_settings = QDir::current().filePath(QStringLiteral("sentrova-site.json"));
    const QJsonObject doc{
        {"node", QJsonArray{QJsonObject{{"id", "0x1001"}, {"name", "North"}, {"mode", "anchor"},
                                        {"coordinates", QJsonObject{{"x", 3}, {"y", 4}, {"z", 2}}}},
                            QJsonObject{{"id", "0x1004"}, {"mode", "anchor"}, {"coordinates", QJsonObject{}}},
                            QJsonObject{{"id", "0x1002"}, {"mode", "anchor"}},
                            QJsonObject{{"id", "0x2001"}, {"mode", "tag"}}}},
        {"master", QJsonObject{{"ip", "127.0.0.1"}}}};
    QFile file(m_settings);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QJsonDocument(doc).toJson());
    file.close();
    Preferences::setSettingsFileOverride(m_settings);
    m_answers = new QSignalSpy(SentrovaInterface::instance(), &SentrovaInterface::svcDataReceived);
}

void tst_NoWriteWithoutIntent::cleanupTestCase()
{
    if (!writesReceived().isEmpty())
        qWarning().noquote() << "---- simulator log ----\n" << m_sim.log().right(30000);
    delete m_answers;
    m_manager.stop();
    m_sim.stop();
}

QStringList tst_NoWriteWithoutIntent::received(int from, const QString &peer) const
{
    // "IN  127.0.0.1:40404 {...}", as the simulator logs what it was sent.
    static const QRegularExpression in(QStringLiteral("\\bIN\\s+(\\S+)\\s+(\\{.*\\})\\s*$"));
    QStringList out;
    const QStringList lines = m_sim.log().split(QLatin1Char('\n'));
    for (int i = from; i < lines.size(); ++i) {
        const QRegularExpressionMatch match = in.match(lines.at(i));
        if (!match.hasMatch() || (!peer.isEmpty() && match.captured(1) != peer))
            continue;
        const QJsonObject obj = QJsonDocument::fromJson(match.captured(2).toUtf8()).object();
        if (obj.contains(QLatin1String("command")))
            out.append(obj.value(QLatin1String("command")).toString());
    }
    return out;
}

QString tst_NoWriteWithoutIntent::firstPeer(int from) const
{
    static const QRegularExpression in(QStringLiteral("\\bIN\\s+(\\S+)\\s+\\{"));
    const QStringList lines = m_sim.log().split(QLatin1Char('\n'));
    for (int i = from; i < lines.size(); ++i) {
        const QRegularExpressionMatch match = in.match(lines.at(i));
        if (match.hasMatch())
            return match.captured(1);
    }
    return QString();
}

QStringList tst_NoWriteWithoutIntent::writesReceived() const
{
    QStringList out;
    for (const QString &command : received())
        if (writeCommands().contains(command))
            out.append(command);
    return out;
}

int tst_NoWriteWithoutIntent::answers(const char *response) const
{
    int n = 0;
    for (const auto &args : *m_answers)
        if (args.at(0).toJsonObject().value(QLatin1String("response")) == QLatin1String(response))
            ++n;
    return n;
}

bool tst_NoWriteWithoutIntent::answered(const char *response, int before) const
{
    return QTest::qWaitFor([&] { return answers(response) > before; }, kWait);
}

void tst_NoWriteWithoutIntent::pressReadButtons(QWidget *page, QStringList *pressed)
{
    const QList<QPushButton *> buttons = page->findChildren<QPushButton *>();
    for (QPushButton *button : buttons) {
        const QString text = button->text();
        if (text.isEmpty() || text.startsWith(QLatin1Char('#')))
            continue; // colour choosers of the map's panels
        if (otherButtons().contains(text))
            continue;
        QVERIFY2(readButtons().contains(text), qPrintable(QStringLiteral("a button not sorted: \"%1\"").arg(text)));
        if (!button->isEnabled())
            continue;
        if (dialogButtons().contains(text))
            onModalDialog(this, [](QWidget *dialog) { dialog->close(); });
        QTest::mouseClick(button, Qt::LeftButton);
        pressed->append(text);
    }
}

void tst_NoWriteWithoutIntent::lookingAroundWritesNothing()
{
    SentrovaInterface *hub = SentrovaInterface::instance();
    auto *window = new MainWindow;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTRY_VERIFY_WITH_TIMEOUT(hub->node(0x1003) && hub->node(kUnplaced), kWait);
    QVERIFY(answered("getTdmaScheme", 0));
    for (QDockWidget *dock : window->findChildren<QDockWidget *>())
        dock->show();

    // Every tab, and every read button on it.
    auto *tabs = qobject_cast<QTabWidget *>(window->centralWidget());
    QVERIFY(tabs);
    QStringList pressed;
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        // The calibration methods are tabs of their own.
        for (QTabWidget *inner : tabs->widget(i)->findChildren<QTabWidget *>())
            for (int j = 0; j < inner->count(); ++j)
                inner->setCurrentIndex(j);
        QTest::qWait(0);
        pressReadButtons(tabs->widget(i), &pressed);
        if (QTest::currentTestFailed())
            return;
    }
    qInfo().noquote() << "pressed:" << pressed.join(QStringLiteral(", "));
    for (const char *text : {"List Anchors", "Read all distances", "Get TDMA Schemes", "Read values",
                             "Create Calibration List", "Compute"})
        QVERIFY2(pressed.contains(QLatin1String(text)), text);

    // The window's own reads.
    for (QAction *action : window->findChildren<QAction *>())
        if (QStringList{QStringLiteral("List anchors"), QStringLiteral("List tags"),
                        QStringLiteral("Get firmware version"), QStringLiteral("Read all distances")}
                .contains(action->text()))
            action->trigger();

    // The details of an anchor without coordinates and its settings dialog,
    // opened and cancelled.
    Dispatch::instance()->emitIdSelected(kUnplaced);
    auto *details = window->findChild<NodeDetailTab *>();
    QVERIFY(details);
    pressReadButtons(details, &pressed);
    for (QPushButton *button : details->findChildren<QPushButton *>())
        if (button->text() == QLatin1String("Settings...")) {
            onModalDialog(this, [](QWidget *dialog) { dialog->close(); });
            QTest::mouseClick(button, Qt::LeftButton);
        }
    Dispatch::instance()->emitIdSelected(kNorth);

    // Everything asked has been answered.
    const int versions = answers("version");
    hub->getVersion();
    QVERIFY(answered("version", versions));

    for (QAction *action : window->findChildren<QAction *>())
        if (action->text() == QLatin1String("Save Settings"))
            action->trigger();
    window->close();
    delete window;

    QFile file(m_settings);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonArray nodes = QJsonDocument::fromJson(file.readAll()).object().value("node").toArray();
    bool sawNorth = false;
    for (const QJsonValue &v : nodes) {
        const QJsonObject node = v.toObject();
        const QString id = node.value("id").toString();
        if (id == QLatin1String("0x1001")) {
            sawNorth = true;
            QCOMPARE(node.value("coordinates").toObject(), (QJsonObject{{"x", 3}, {"y", 4}, {"z", 2}}));
        } else if (id == QLatin1String("0x1004")) {
            QVERIFY2(!node.contains("coordinates"), qPrintable(QJsonDocument(node).toJson()));
        }
    }
    QVERIFY(sawNorth);
    QVERIFY(received().contains(QStringLiteral("getDist")));
    QCOMPARE(writesReceived(), QStringList());

    // The process's own connection goes, so that what follows is the
    // second start's.
    hub->svc()->dropAll();
    QTRY_VERIFY_WITH_TIMEOUT(m_sim.contains(QStringLiteral("service client disconnected")), kWait);
}

void tst_NoWriteWithoutIntent::aStartWithTheSavedFileWritesNothing()
{
    const int from = m_sim.log().split(QLatin1Char('\n')).size() - 1;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), m_secondHome.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_secondHome.filePath(QStringLiteral(".config")));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("sentrova.console.info=true"));
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_manager.start(binary("src/App/sentrova-manager"), {QStringLiteral("--settings"), m_settings}, env,
                    m_secondHome.path());

    // The master lists its anchors, the manager answers what the listing
    // asks of it (a position push would go now), and its first keep-alive
    // comes after all that.
    QTRY_VERIFY_WITH_TIMEOUT(!firstPeer(from).isEmpty(), kWait);
    const QString peer = firstPeer(from);
    QCOMPARE(received(from, peer).value(0), QStringLiteral("listAnchors"));
    QTRY_VERIFY_WITH_TIMEOUT(received(from, peer).contains(QStringLiteral("ping")), kWait);
    QVERIFY2(m_manager.contains(QStringLiteral("\"response\":\"listAnchors\"")), qPrintable(m_manager.log().right(5000)));
    QCOMPARE(writesReceived(), QStringList());
}

QTEST_MAIN(tst_NoWriteWithoutIntent)
#include "tst_nowritewithoutintent.moc"
