// The node details against the simulated site: what they show for the
// selected node, the position edit that goes to the master, and the health
// statistics with their plots.
#include "Dispatch.h"
#include "NodeDetailTab.h"
#include "NodeHealthPlot.h"
#include "RtlsObjectStats.h"
#include "RtlsPos.h"
#include "SettingsDialog.h"
#include "Tools/ToolsTestSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

using namespace ToolsTest;

namespace {
constexpr uint64_t kMaster = 0x1000;
constexpr uint64_t kNorth = 0x1001;
constexpr uint64_t kForklift = 0x2001;
} // namespace

class tst_NodeDetailTab : public QObject
{
    Q_OBJECT

    SimProcess sim;
    Console *console = nullptr;
    QWidget *window = nullptr;
    QPushButton *elsewhere = nullptr;
    NodeDetailTab *details = nullptr;

    QString field(const char *name) const
    {
        auto *label = details->findChild<QLabel *>(QLatin1String(name));
        return label ? label->text() : QStringLiteral("<no field %1>").arg(QLatin1String(name));
    }

    QLineEdit *axis(const char *name) const { return details->findChild<QLineEdit *>(QLatin1String(name)); }

    void select(uint64_t id)
    {
        Dispatch::instance()->emitIdSelected(id);
        QCOMPARE(details->nodeId(), id);
    }

    void typeInto(QLineEdit *edit, const QString &text)
    {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }

    void showPage(int index)
    {
        details->findChild<QTabWidget *>()->setCurrentIndex(index);
    }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void noSelection();
    void anchorFields();
    void positionEditGoesToTheMaster();
    void unreadableValueIsNotSent();
    void fieldBeingEditedIsKept();
    void tagFields();
    void statisticsAndPlots();
    void settingsButtonOpensTheDialog();
};

void tst_NodeDetailTab::initTestCase()
{
    QVERIFY2(QFile::exists(SimProcess::binary()), "build sentrova-sim first");
    console = new Console;
    window = new QWidget;
    details = new NodeDetailTab(window);
    elsewhere = new QPushButton(QStringLiteral("elsewhere"), window);
    auto *layout = new QVBoxLayout(window);
    layout->addWidget(details);
    layout->addWidget(elsewhere);
    // As the main window connects it.
    connect(Dispatch::instance(), &Dispatch::idSelected, details, &NodeDetailTab::connectNode);
    connect(hub(), &SentrovaInterface::nodeUpdatedSignal, details, &NodeDetailTab::nodeUpdated);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    // Without a window manager the window is made active by hand, so that
    // its fields take the keyboard focus.
    QApplication::setActiveWindow(window);
    QTRY_COMPARE(QApplication::activeWindow(), window);

    QVERIFY(startSite(sim));
    QTRY_VERIFY_WITH_TIMEOUT(hub()->node(kNorth) && hub()->node(kForklift), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(hub()->node(kNorth)->pos()->flags() & 0x20, kWait);
    console->clear();
}

void tst_NodeDetailTab::cleanupTestCase()
{
    delete window;
    delete console;
}

void tst_NodeDetailTab::noSelection()
{
    select(0);
    QCOMPARE(field("title"), QStringLiteral("No selection"));
    QCOMPARE(field("id"), QString());
    QVERIFY(!details->findChild<QPushButton *>("settings")->isEnabled());
    // An id the hub does not know is no selection either.
    select(0x7777);
    QCOMPARE(field("title"), QStringLiteral("No selection"));
}

void tst_NodeDetailTab::anchorFields()
{
    select(kNorth);
    QCOMPARE(field("title"), QStringLiteral("North (0x1001)"));
    QCOMPARE(field("id"), QStringLiteral("0x1001"));
    QCOMPARE(field("mode"), QStringLiteral("anchor"));
    QCOMPARE(field("roles"), QStringLiteral("0x1000 (Backup clock)"));
    QCOMPARE(field("seat"), QStringLiteral("1"));
    QCOMPARE(axis("x")->text(), QStringLiteral("3.000"));
    QCOMPARE(axis("y")->text(), QStringLiteral("4.000"));
    QCOMPARE(axis("z")->text(), QStringLiteral("2.000"));
    QVERIFY(!axis("x")->isReadOnly());
    QCOMPARE(axis("x")->placeholderText(), QStringLiteral("press <enter> to confirm"));

    // The versions come with the node's details.
    QCOMPARE(field("fwVersion"), QStringLiteral("\u2014"));
    hub()->getDetails(kNorth);
    QTRY_COMPARE_WITH_TIMEOUT(field("fwVersion"), QStringLiteral("0x020A"), kWait);
    QCOMPARE(field("hwVersion"), QStringLiteral("0x0103"));
    QCOMPARE(field("group"), QStringLiteral("2"));
    console->clear();
}

void tst_NodeDetailTab::positionEditGoesToTheMaster()
{
    select(kNorth);
    typeInto(axis("x"), QStringLiteral("4.25"));
    QTest::keyClick(axis("x"), Qt::Key_Return);
    const QStringList sent = texts(console->sent());
    QCOMPARE(sent, texts(R"({"command":"setPos","id":"0x1001","x":4.25})"));
    QCOMPARE(hub()->node(kNorth)->pos()->x(), 4.25f);

    // The master keeps it: a listing brings it back after a local change.
    hub()->node(kNorth)->pos()->setX(0.0f);
    hub()->listAnchors();
    QTRY_COMPARE_WITH_TIMEOUT(axis("x")->text(), QStringLiteral("4.250"), kWait);
    console->clear();
}

void tst_NodeDetailTab::unreadableValueIsNotSent()
{
    select(kNorth);
    typeInto(axis("y"), QStringLiteral("four"));
    QTest::keyClick(axis("y"), Qt::Key_Return);
    QCOMPARE(texts(console->sent()), QStringList());
    QCOMPARE(axis("y")->text(), QStringLiteral("four"));
    QVERIFY(axis("y")->property("invalid").toBool());
    QCOMPARE(hub()->node(kNorth)->pos()->y(), 4.0f);
    // Leaving the field forgets the edit.
    elsewhere->setFocus();
    QTRY_COMPARE(axis("y")->text(), QStringLiteral("4.000"));
    QVERIFY(!axis("y")->property("invalid").toBool());
}

void tst_NodeDetailTab::fieldBeingEditedIsKept()
{
    select(kNorth);
    typeInto(axis("z"), QStringLiteral("9"));
    RtlsObject *node = hub()->node(kNorth);
    node->pos()->setZ(2.5f);
    hub()->announceNodeUpdated(node);
    QVERIFY(QMetaObject::invokeMethod(details, "refresh"));
    QCOMPARE(axis("z")->text(), QStringLiteral("9"));
    // Other fields do follow.
    node->setSeat(6);
    hub()->announceNodeUpdated(node);
    QTRY_COMPARE(field("seat"), QStringLiteral("6"));
    QCOMPARE(axis("z")->text(), QStringLiteral("9"));
    elsewhere->setFocus();
    QTRY_COMPARE(axis("z")->text(), QStringLiteral("2.500"));
    QCOMPARE(texts(console->sent()), QStringList());
    node->setSeat(1);
    node->pos()->setZ(2.0f);
}

void tst_NodeDetailTab::tagFields()
{
    select(kForklift);
    QVERIFY(axis("x")->isReadOnly());
    QTRY_VERIFY_WITH_TIMEOUT(!axis("x")->text().isEmpty(), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(field("vbat"), QStringLiteral("3.70"), kWait);
    QCOMPARE(field("temperature"), QStringLiteral("21.0 °C"));
    // Standing still: the motion bit.
    QCOMPARE(field("io"), QStringLiteral("0x02"));
    QVERIFY(field("age").endsWith(QLatin1String(" s")));
    QVERIFY(field("quality").toInt() > 0);
    // Typing into a tag's position sends nothing.
    QTest::keyClicks(axis("x"), QStringLiteral("1"));
    QTest::keyClick(axis("x"), Qt::Key_Return);
    QCOMPARE(texts(console->sent()), QStringList());
}

void tst_NodeDetailTab::statisticsAndPlots()
{
    select(kMaster);
    for (int i = 1; i <= 3; ++i) {
        hub()->getStats(kMaster);
        QTRY_COMPARE_WITH_TIMEOUT(hub()->node(kMaster)->stats()->tsyncCntHistory().size(), i, kWait);
    }
    showPage(1);
    QTRY_VERIFY(!field("uptime").isEmpty() && field("uptime") != QStringLiteral("\u2014"));
    QVERIFY(field("memFree").toInt() > 0);

    showPage(2);
    auto *plot = details->findChild<NodeHealthPlot *>();
    RtlsObjectStats *stats = hub()->node(kMaster)->stats();
    QTRY_COMPARE(plot->values(), stats->tsyncCntHistory());
    plot->setHistory(NodeHealthPlot::RawError);
    QTRY_COMPARE(plot->values(), stats->rawTsyncErrHistory());
    plot->setHistory(NodeHealthPlot::Drift);
    QTRY_COMPARE(plot->values(), stats->tsyncDriftHistory());
    // Another report shows without asking.
    hub()->getStats(kMaster);
    QTRY_COMPARE_WITH_TIMEOUT(plot->values().size(), 4, kWait);
    showPage(0);
    console->clear();
}

void tst_NodeDetailTab::settingsButtonOpensTheDialog()
{
    select(kNorth);
    uint64_t shown = 0;
    QTimer::singleShot(0, [&] {
        if (auto *dialog = qobject_cast<SettingsDialog *>(QApplication::activeModalWidget())) {
            shown = dialog->nodeId();
            dialog->reject();
        }
    });
    QTest::mouseClick(details->findChild<QPushButton *>("settings"), Qt::LeftButton);
    QCOMPARE(shown, kNorth);
    console->clear();
    QCOMPARE(sim.terminate(), 0);
}

QTEST_MAIN(tst_NodeDetailTab)
#include "tst_nodedetailtab.moc"
