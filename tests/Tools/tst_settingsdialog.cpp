// The node settings dialog against the simulated site: it reads the node's
// values when it opens, sends only what the user changed, never sends what
// it cannot read, and asks before mode changes and resets.
#include "RtlsObject.h"
#include "RtlsPos.h"
#include "SettingsDialog.h"
#include "Tools/ToolsTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>

#include <memory>

using namespace ToolsTest;

namespace {

constexpr uint64_t kNorth = 0x1001;
constexpr uint64_t kForklift = 0x2001;
// An anchor of the settings file that is not at the site: it answers
// nothing, so it has no position record but the one Apply may give it.
constexpr uint64_t kAway = 0x7701;

// What went out besides the dialog's own read-back requests.
QStringList changes(const QList<QJsonObject> &sent)
{
    QList<QJsonObject> out;
    for (const QJsonObject &obj : sent)
        if (!obj.value("command").toString().startsWith(QLatin1String("get")))
            out.append(obj);
    return texts(out);
}

// Answers the next message box with `button`; returns its text through `text`.
void answerNextMessageBox(QMessageBox::StandardButton button, QString *text)
{
    QTimer::singleShot(0, [button, text] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        *text = box->text();
        box->button(button)->click();
    });
}

} // namespace

class tst_SettingsDialog : public QObject
{
    Q_OBJECT

    SimProcess sim;
    Console *console = nullptr;
    std::unique_ptr<SettingsDialog> dialog;

    template<typename T>
    T *child(const char *name) const
    {
        T *w = dialog->findChild<T *>(QLatin1String(name));
        if (!w)
            qWarning() << "no child" << name;
        return w;
    }

    void open(uint64_t id)
    {
        dialog = std::make_unique<SettingsDialog>(id);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        // The node's delays were read: every field shows the node's values.
        QTRY_VERIFY_WITH_TIMEOUT(child<QSpinBox>("txDelay")->isEnabled(), kWait);
        console->clear();
    }

    QStringList applyAndRead()
    {
        dialog->apply();
        return changes(console->sent());
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(SimProcess::binary()), "build sentrova-sim first");
        console = new Console;
        QVERIFY(startSite(sim));
        QTRY_VERIFY_WITH_TIMEOUT(hub()->node(kNorth) && hub()->node(kForklift), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(hub()->node(kNorth)->pos()->flags() & 0x20, kWait);
        console->clear();
    }

    void cleanupTestCase()
    {
        dialog.reset();
        delete console;
        QCOMPARE(sim.terminate(), 0);
    }

    void readsTheNodeWhenItOpens()
    {
        open(kNorth);
        QCOMPARE(child<QLineEdit>("name")->text(), QStringLiteral("North"));
        QCOMPARE(child<QComboBox>("mode")->currentData().toString(), QStringLiteral("anchor"));
        QCOMPARE(child<QSpinBox>("seat")->value(), 1);
        QCOMPARE(child<QLineEdit>("x")->text(), QStringLiteral("3.000"));
        QVERIFY(child<QCheckBox>("role_1000")->isChecked());
        QVERIFY(!child<QCheckBox>("role_2000")->isChecked());
        QCOMPARE(child<QSpinBox>("txDelay")->value(), 16515);
        // Nothing changed, nothing sent.
        QCOMPARE(applyAndRead(), QStringList());
    }

    void sendsOnlyWhatChanged()
    {
        open(kNorth);
        child<QSpinBox>("seat")->setValue(9);
        child<QLineEdit>("name")->setText(QStringLiteral("Nord"));
        dialog->apply();
        // No command names a node: the name changes in the manager at once
        // (until the master reports the node's own name again).
        QCOMPARE(hub()->node(kNorth)->name(), QStringLiteral("Nord"));
        QCOMPARE(changes(console->sent()), texts(R"({"command":"setSeat","id":"0x1001","seat":"9"})"));
        QTRY_COMPARE_WITH_TIMEOUT(hub()->node(kNorth)->seat(), 9, kWait);
        // Applied once is applied: a second Apply sends nothing.
        QCOMPARE(applyAndRead(), QStringList());

        child<QSpinBox>("txDelay")->setValue(16400);
        QCOMPARE(applyAndRead(), texts(R"({"command":"setUwbAntConfig","id":"0x1001","txDelay":16400,"rxDelay":16515})"));

        child<QCheckBox>("auto_z")->setChecked(true);
        child<QLineEdit>("y")->setText(QStringLiteral("4,5"));
        QCOMPARE(applyAndRead(), texts(R"({"command":"setPos","id":"0x1001","y":4.5,"z":"auto"})"));

        QComboBox *presets = child<QComboBox>("presets");
        presets->setCurrentIndex(presets->findText(QStringLiteral("Anchor roles (auto)")));
        emit presets->activated(presets->currentIndex());
        QCOMPARE(applyAndRead(), texts(R"({"command":"setRoles","id":"0x1001","roles":"0x1000802"})"));

        hub()->setSeat(kNorth, 1);
        hub()->setRoles(kNorth, 0x1000);
        hub()->node(kNorth)->pos()->setPos(3, 4, 2);
        hub()->setAnchorPosition(kNorth);
        console->clear();
    }

    void unreadableValuesAreNotSent()
    {
        open(kNorth);
        child<QLineEdit>("x")->setText(QStringLiteral("three"));
        child<QLineEdit>("otherRoles")->setText(QStringLiteral("zz"));
        child<QSpinBox>("group")->setValue(3);
        QString warning;
        answerNextMessageBox(QMessageBox::Ok, &warning);
        QCOMPARE(applyAndRead(), texts(R"({"command":"setGroup","id":"0x1001","group":"3"})"));
        QVERIFY2(warning.contains(QLatin1String("position X")) && warning.contains(QLatin1String("role")),
                 qPrintable(warning));
        QCOMPARE(hub()->node(kNorth)->pos()->x(), 3.0f);
        // OK keeps the dialog open while something cannot be sent.
        answerNextMessageBox(QMessageBox::Ok, &warning);
        dialog->accept();
        QVERIFY(dialog->isVisible());
        hub()->setGroup(kNorth, 2);
        console->clear();
    }

    void modeChangeAsksFirst()
    {
        open(kNorth);
        QComboBox *mode = child<QComboBox>("mode");
        mode->setCurrentIndex(mode->findData(QStringLiteral("offline")));
        QString question;
        answerNextMessageBox(QMessageBox::No, &question);
        QCOMPARE(applyAndRead(), QStringList());
        QVERIFY(question.contains(QLatin1String("offline")));
        QCOMPARE(mode->currentData().toString(), QStringLiteral("anchor"));

        mode->setCurrentIndex(mode->findData(QStringLiteral("offline")));
        answerNextMessageBox(QMessageBox::Yes, &question);
        QCOMPARE(applyAndRead(), texts(R"({"command":"setMode","id":"0x1001","mode":"offline"})"));
        hub()->setMode(kNorth, QStringLiteral("anchor"));
        QTRY_COMPARE_WITH_TIMEOUT(hub()->node(kNorth)->mode(), QStringLiteral("anchor"), kWait);
        console->clear();
    }

    void resetAndFirmwareAskFirst()
    {
        open(kNorth);
        QString question;
        answerNextMessageBox(QMessageBox::No, &question);
        child<QPushButton>("reset")->click();
        QVERIFY(question.contains(QLatin1String("Reset")));
        answerNextMessageBox(QMessageBox::No, &question);
        child<QPushButton>("firmware")->click();
        QVERIFY(question.contains(QLatin1String("firmware")));
        QCOMPARE(changes(console->sent()), QStringList());
        answerNextMessageBox(QMessageBox::Yes, &question);
        child<QPushButton>("firmware")->click();
        QCOMPARE(changes(console->sent()), texts(R"({"command":"forceFwUpdate","id":"0x1001"})"));
    }

    // Apply makes a position record only for a coordinate it writes:
    // changing the group of an anchor without one leaves it without one,
    // and a typed coordinate goes out on its own.
    void applyGivesNoRecordItDoesNotWrite()
    {
        hub()->fromJSON(QJsonObject{{"node", QJsonArray{QJsonObject{{"id", "0x7701"}, {"mode", "anchor"}}}}});
        console->clear();
        dialog = std::make_unique<SettingsDialog>(kAway);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        console->clear();
        QVERIFY(!hub()->node(kAway)->hasPos());

        child<QSpinBox>("group")->setValue(3);
        QCOMPARE(applyAndRead(), texts(R"({"command":"setGroup","id":"0x7701","group":"3"})"));
        QVERIFY(!hub()->node(kAway)->hasPos());
        QVERIFY(!hub()->node(kAway)->toJson().contains("coordinates"));

        // Unknown coordinates show as "auto"; the user unticks one and types.
        QVERIFY(child<QCheckBox>("auto_x")->isChecked());
        child<QCheckBox>("auto_x")->setChecked(false);
        child<QLineEdit>("x")->setText(QStringLiteral("2,5"));
        QCOMPARE(applyAndRead(), texts(R"({"command":"setPos","id":"0x7701","x":2.5})"));
        QVERIFY(hub()->node(kAway)->hasPos());
        QCOMPARE(hub()->node(kAway)->toJson().value("coordinates").toObject(), (QJsonObject{{"x", 2.5}}));
        dialog.reset();
        console->clear();
    }

    // Delays are written only from 15500 to 17500, as the calibration tools
    // write them; a node holding one outside is shown as it is.
    void delaysOutsideTheWindowAreNeverWritten()
    {
        open(kNorth);
        QString warning;
        child<QSpinBox>("txDelay")->setValue(15499);
        answerNextMessageBox(QMessageBox::Ok, &warning);
        QCOMPARE(applyAndRead(), QStringList());
        QVERIFY2(warning.contains(QLatin1String("15500")) && warning.contains(QLatin1String("15499")), qPrintable(warning));
        child<QSpinBox>("txDelay")->setValue(17501);
        answerNextMessageBox(QMessageBox::Ok, &warning);
        QCOMPARE(applyAndRead(), QStringList());
        child<QSpinBox>("txDelay")->setValue(17500);
        QCOMPARE(applyAndRead(), texts(R"({"command":"setUwbAntConfig","id":"0x1001","txDelay":17500,"rxDelay":16515})"));

        hub()->setAntennaDelays(kNorth, 15000, 16515);
        console->clear();
        open(kNorth);
        QCOMPARE(child<QSpinBox>("txDelay")->value(), 15000);
        QVERIFY(child<QLabel>("antennaState")->text().contains(QLatin1String("Outside")));
        QVERIFY(!child<QSpinBox>("txDelay")->toolTip().isEmpty());
        // Changing the other delay would write this one back: refused.
        child<QSpinBox>("rxDelay")->setValue(16500);
        answerNextMessageBox(QMessageBox::Ok, &warning);
        QCOMPARE(applyAndRead(), QStringList());
        QVERIFY2(warning.contains(QLatin1String("15000")), qPrintable(warning));
        child<QSpinBox>("txDelay")->setValue(16515);
        QCOMPARE(applyAndRead(), texts(R"({"command":"setUwbAntConfig","id":"0x1001","txDelay":16515,"rxDelay":16500})"));
        hub()->setAntennaDelays(kNorth, 16515, 16515);
        console->clear();
    }

    void tagPages()
    {
        open(kForklift);
        QVERIFY(!child<QSpinBox>("seat")->isEnabled());
        QComboBox *sensors = child<QComboBox>("sensors");
        sensors->setCurrentIndex(sensors->findData(QStringLiteral("ypr")));
        child<QLineEdit>("userText")->setText(QStringLiteral("Hi"));
        child<QLineEdit>("x")->setText(QStringLiteral("1"));
        QCOMPARE(applyAndRead(), (QStringList{texts(R"({"command":"sensOut","id":"0x2001","mode":"ypr"})").first(),
                                              texts(R"({"command":"setUserData","id":"0x2001","type":"250","text":"Hi"})").first()}));
        // Once sent, these are not sent again.
        QCOMPARE(applyAndRead(), QStringList());
    }
};

QTEST_MAIN(tst_SettingsDialog)
#include "tst_settingsdialog.moc"
