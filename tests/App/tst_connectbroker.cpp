// "Connect to broker..." in a window on the LAN: the dialog, filled in from
// the MQTT settings, turns the window into a remote view of the site that a
// manager publishes there (here a plain client of the test standing in for
// it): the LAN side ends, the command entries are disabled, the site shows.
#include "AppTestEnvironment.h"
#include "Comm/MosquittoBroker.h"
#include "MainWindow.h"
#include "MapScene.h"
#include "MapTab.h"
#include "MapZone.h"
#include "ModalDialog.h"
#include "MqttClient.h"
#include "MqttConfig.h"
#include "MqttPublisher.h"
#include "RemoteSite.h"
#include "RtlsLs.h"
#include "RtlsObject.h"
#include "RtlsSvc.h"
#include "SentrovaInterface.h"

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>

#include <memory>

namespace {

constexpr int kWait = 30000;

} // namespace

class TestConnectBroker : public QObject
{
    Q_OBJECT

public:
    static void initMain() { AppTestEnvironment::isolate(); }

private slots:
    void windowBecomesARemoteView();

private:
    QAction *action(const QString &text) const
    {
        for (QAction *a : m_window->findChildren<QAction *>())
            if (a->text() == text)
                return a;
        return nullptr;
    }

    std::unique_ptr<MainWindow> m_window;
};

void TestConnectBroker::windowBecomesARemoteView()
{
    if (qEnvironmentVariable("SENTROVA_IN_NETNS") != QLatin1String("1"))
        QSKIP("needs the private network namespace of tests/netns-run.sh (a LAN window searches)");
    if (MosquittoBroker::binary().isEmpty())
        QSKIP(qPrintable(MosquittoBroker::missingMessage()));
    MosquittoBroker broker;
    QVERIFY(broker.start());
    MqttClient site;
    MqttClient::Endpoint endpoint;
    endpoint.host = QStringLiteral("127.0.0.1");
    endpoint.port = broker.port;
    QString error;
    QVERIFY(site.start(endpoint, &error));
    QTRY_VERIFY_WITH_TIMEOUT(site.isConnected(), kWait);
    site.publish("far/nodes/0x1001/status", R"({"id":"0x1001","name":"North","mode":"anchor","category":"anchor","x":4,"y":5,"z":2})",
                 1, true);
    site.publish("far/zones/0x00A1/config", R"({"id":"0x00A1","name":"Dock","x":0,"y":0,"z":0,"length":4,"width":3,"height":2})",
                 1, true);

    SentrovaInterface *hub = SentrovaInterface::instance();
    // The MQTT settings the dialog starts from: the login of the site.
    MqttConfig stored;
    stored.host = QStringLiteral("broker.invalid");
    stored.username = QStringLiteral("viewer");
    stored.topicPrefix = QStringLiteral("far");
    hub->mqtt()->setConfig(stored);
    m_window = std::make_unique<MainWindow>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QVERIFY(!hub->isRemote());
    QVERIFY(hub->locationStream()->lsPort() != 0);
    QVERIFY(hub->discovery());
    QVERIFY(action(QStringLiteral("&Scan master"))->isEnabled());
    // No master yet: the map says it is searching.
    auto *searching = m_window->findChild<QWidget *>(QStringLiteral("noMasterOverlay"));
    QVERIFY(searching);
    QVERIFY(searching->isVisible());

    // Cancelled: nothing changes.
    QAction *connectAction = action(QStringLiteral("Connect to broker..."));
    QVERIFY(connectAction);
    onModalDialog(this, [](QWidget *dialog) { qobject_cast<QDialog *>(dialog)->reject(); });
    connectAction->trigger();
    QVERIFY(!hub->isRemote());

    bool filled = false;
    onModalDialog(this, [&](QWidget *dialog) {
        auto *host = dialog->findChild<QLineEdit *>(QStringLiteral("host"));
        auto *prefix = dialog->findChild<QLineEdit *>(QStringLiteral("topicPrefix"));
        QCOMPARE(host->text(), QStringLiteral("broker.invalid"));
        QCOMPARE(dialog->findChild<QLineEdit *>(QStringLiteral("username"))->text(), QStringLiteral("viewer"));
        QCOMPARE(prefix->text(), QStringLiteral("far"));
        QPushButton *ok = dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
        // A prefix that cannot start a topic cannot be confirmed.
        prefix->setText(QStringLiteral("far/#"));
        QVERIFY(!ok->isEnabled());
        QVERIFY(!dialog->findChild<QLabel *>(QStringLiteral("problem"))->text().isEmpty());
        prefix->setText(QStringLiteral("far"));
        host->setText(QStringLiteral("127.0.0.1"));
        dialog->findChild<QSpinBox *>(QStringLiteral("port"))->setValue(broker.port);
        dialog->findChild<QLineEdit *>(QStringLiteral("username"))->clear();
        QVERIFY(ok->isEnabled());
        filled = true;
        ok->click();
    });
    connectAction->trigger();
    QVERIFY(filled);

    // The LAN side is gone for good.
    QVERIFY(hub->isRemote());
    QVERIFY(!hub->discovery());
    QCOMPARE(hub->locationStream()->lsPort(), quint16(0));
    QCOMPARE(hub->svc()->clientCount(), 0);
    QVERIFY(!hub->mqtt()->isConnected());
    // Commands say why they cannot be used, the installer's pages too.
    QAction *scan = action(QStringLiteral("&Scan master"));
    QVERIFY(!scan->isEnabled());
    QVERIFY(scan->toolTip().contains(QStringLiteral("remote view")));
    QVERIFY(!action(QStringLiteral("Publish to MQTT broker"))->isEnabled());
    QVERIFY(!action(QStringLiteral("&Open..."))->isEnabled());
    // A remote view looks for no master and cannot be told one.
    QVERIFY(!searching->isVisible());
    QVERIFY(!action(QStringLiteral("Connect to master…"))->isEnabled());
    auto *tabs = m_window->findChild<QTabWidget *>();
    for (int i = 0; i < tabs->count(); ++i) {
        const QString title = tabs->tabText(i);
        if (title == QLatin1String("Initial Setup") || title.endsWith(QLatin1String("Calibration"))) {
            QVERIFY2(!tabs->widget(i)->isEnabled(), qPrintable(title));
            QVERIFY(tabs->tabToolTip(i).contains(QStringLiteral("remote view")));
        }
    }
    QVERIFY(m_window->windowTitle().endsWith(QStringLiteral("remote view")));

    // The site shows: its anchor where it stands, its zone on the map.
    QTRY_VERIFY_WITH_TIMEOUT(hub->node(0x1001) != nullptr, kWait);
    QCOMPARE(hub->node(0x1001)->name(), QStringLiteral("North"));
    MapScene *scene = m_window->findChild<MapTab *>()->scene();
    QTRY_VERIFY_WITH_TIMEOUT(!scene->zones().isEmpty() && scene->zones().last()->name() == QLatin1String("Dock"), kWait);
    auto *status = m_window->findChild<QLabel *>(QStringLiteral("mqttStatus"));
    QTRY_COMPARE_WITH_TIMEOUT(status->text(), QStringLiteral("Remote view: connected"), kWait);
    // Remembered with the MQTT settings, so that a saved file names the broker.
    QCOMPARE(hub->mqtt()->config().host, QStringLiteral("127.0.0.1"));
    QCOMPARE(hub->remoteSite()->config().topicPrefix, QStringLiteral("far"));
}

QTEST_MAIN(TestConnectBroker)
#include "tst_connectbroker.moc"
