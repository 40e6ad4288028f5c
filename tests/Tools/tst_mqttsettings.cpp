// The MQTT panel of the settings tab as a user drives it: Apply hands the
// edited settings over, bad fields stay in the panel with a reason, an edit
// in progress survives a settings file being loaded, and the connection's
// state is shown.
#include "Comm/MosquittoBroker.h"
#include "Comm/MqttTestConfig.h"
#include "MqttClient.h"
#include "MqttPublisher.h"
#include "MqttSettings.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QtTest>

namespace {

template<typename W>
W *field(QWidget *panel, const char *name)
{
    auto *w = panel->findChild<W *>(QLatin1String(name));
    if (!w)
        qWarning("no field %s", name);
    return w;
}

void retype(QLineEdit *edit, const QString &text)
{
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

} // namespace

class tst_MqttSettings : public QObject
{
    Q_OBJECT

private slots:
    void applyHandsOverTheEdits();
    void badFieldsStayInThePanel_data();
    void badFieldsStayInThePanel();
    void editInProgressSurvivesALoad();
    void switchFollowsThePublisher();
    void showsTheConnection();
};

void tst_MqttSettings::applyHandsOverTheEdits()
{
    MqttPublisher publisher;
    MqttSettings panel(&publisher);
    panel.setShowAdvanced(true);
    panel.show();
    QSignalSpy changed(&publisher, &MqttPublisher::configChanged);
    auto *apply = field<QPushButton>(&panel, "apply");
    QVERIFY(!apply->isEnabled());

    retype(field<QLineEdit>(&panel, "host"), QStringLiteral("broker.lan"));
    field<QSpinBox>(&panel, "port")->setValue(8883);
    retype(field<QLineEdit>(&panel, "topicPrefix"), QStringLiteral("plant/north/"));
    retype(field<QLineEdit>(&panel, "username"), QStringLiteral("ops"));
    retype(field<QLineEdit>(&panel, "password"), QStringLiteral("pw"));
    QTest::mouseClick(field<QCheckBox>(&panel, "tls"), Qt::LeftButton);
    field<QDoubleSpinBox>(&panel, "rateLimit")->setValue(2.5);
    QVERIFY(apply->isEnabled());
    // Nothing reaches the publisher while typing.
    QCOMPARE(changed.count(), 0);

    QTest::mouseClick(apply, Qt::LeftButton);
    QCOMPARE(changed.count(), 1);
    const MqttConfig c = publisher.config();
    QCOMPARE(c.host, QStringLiteral("broker.lan"));
    QCOMPARE(c.port, quint16(8883));
    QCOMPARE(c.topicPrefix, QStringLiteral("plant/north"));
    QCOMPARE(c.username, QStringLiteral("ops"));
    QCOMPARE(c.password, QStringLiteral("pw"));
    QVERIFY(c.tls);
    QCOMPARE(c.rateLimit, 2.5);
    QVERIFY(!c.enabled);
    QCOMPARE(field<QLineEdit>(&panel, "topicPrefix")->text(), QStringLiteral("plant/north"));
    QVERIFY(!apply->isEnabled());

    // Revert gives back what is in use.
    retype(field<QLineEdit>(&panel, "host"), QStringLiteral("other"));
    QTest::mouseClick(field<QPushButton>(&panel, "revert"), Qt::LeftButton);
    QCOMPARE(field<QLineEdit>(&panel, "host")->text(), QStringLiteral("broker.lan"));
    QCOMPARE(changed.count(), 1);
}

void tst_MqttSettings::badFieldsStayInThePanel_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("reason");

    QTest::newRow("empty host") << "  " << "sentrova" << "host is empty";
    QTest::newRow("wildcard prefix") << "broker" << "site/#" << "wildcards";
    QTest::newRow("plus in prefix") << "broker" << "site/+/x" << "wildcards";
    QTest::newRow("empty prefix") << "broker" << "/" << "cannot be empty";
}

void tst_MqttSettings::badFieldsStayInThePanel()
{
    QFETCH(QString, host);
    QFETCH(QString, prefix);
    QFETCH(QString, reason);

    MqttPublisher publisher;
    const MqttConfig before = publisher.config();
    MqttSettings panel(&publisher);
    panel.show();
    QSignalSpy changed(&publisher, &MqttPublisher::configChanged);
    retype(field<QLineEdit>(&panel, "host"), host);
    retype(field<QLineEdit>(&panel, "topicPrefix"), prefix);
    QTest::mouseClick(field<QPushButton>(&panel, "apply"), Qt::LeftButton);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(publisher.config(), before);
    QVERIFY2(field<QLabel>(&panel, "problem")->text().contains(reason), qPrintable(field<QLabel>(&panel, "problem")->text()));
    QCOMPARE(field<QLineEdit>(&panel, "topicPrefix")->text(), prefix);
}

void tst_MqttSettings::editInProgressSurvivesALoad()
{
    MqttPublisher publisher;
    MqttSettings panel(&publisher);
    panel.show();
    retype(field<QLineEdit>(&panel, "host"), QStringLiteral("typing.lan"));

    MqttConfig file;
    file.host = QStringLiteral("file.lan");
    file.port = 2000;
    file.topicPrefix = QStringLiteral("fromfile");
    publisher.loadConfig(file);

    QCOMPARE(field<QLineEdit>(&panel, "host")->text(), QStringLiteral("typing.lan"));
    QCOMPARE(field<QSpinBox>(&panel, "port")->value(), 2000);
    QCOMPARE(field<QLineEdit>(&panel, "topicPrefix")->text(), QStringLiteral("fromfile"));
    QVERIFY(field<QPushButton>(&panel, "apply")->isEnabled());
}

void tst_MqttSettings::switchFollowsThePublisher()
{
    MqttPublisher publisher;
    MqttSettings panel(&publisher);
    panel.show();
    auto *enabled = field<QCheckBox>(&panel, "enabled");
    QVERIFY(!enabled->isChecked());
    QTest::mouseClick(enabled, Qt::LeftButton);
    QVERIFY(publisher.isEnabled());
    publisher.setEnabled(false);
    QVERIFY(!enabled->isChecked());
    // The switch is no edit: nothing waits for Apply.
    QVERIFY(!field<QPushButton>(&panel, "apply")->isEnabled());
}

void tst_MqttSettings::showsTheConnection()
{
    MqttPublisher publisher;
    MqttSettings panel(&publisher);
    panel.show();
    auto *status = field<QLabel>(&panel, "status");
    QCOMPARE(status->text(), QStringLiteral("off"));

    MosquittoBroker broker;
    broker.port = MosquittoBroker::freePort();
    publishTo(&publisher, broker.port, QStringLiteral("sentrova"));
    const QString where = QStringLiteral("127.0.0.1:%1").arg(broker.port);
    QTRY_COMPARE_WITH_TIMEOUT(status->text(), QStringLiteral("cannot reach %1, retrying").arg(where), 20000);
    if (MosquittoBroker::binary().isEmpty())
        QSKIP(qPrintable(MosquittoBroker::missingMessage()));
    QVERIFY(broker.start());
    QTRY_COMPARE_WITH_TIMEOUT(status->text(), QStringLiteral("connected to %1").arg(where), 20000);
}

QTEST_MAIN(tst_MqttSettings)
#include "tst_mqttsettings.moc"
