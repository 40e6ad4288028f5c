// The node list against the real simulated site: what it shows, how it
// follows the model and the selection, and what each context menu entry
// sends to the master.
#include "Dispatch.h"
#include "MapScene.h"
#include "MapTab.h"
#include "MapZone.h"
#include "NodeIcons.h"
#include "NodeList.h"
#include "NodeListItemType.h"
#include "NodeToolsConstants.h"
#include "RtlsConvert.h"
#include "RtlsModelConstants.h"
#include "RtlsObject.h"
#include "RtlsPos.h"
#include "Tools/ToolsTestSupport.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QVector3D>

#include <algorithm>
#include <random>

using namespace ToolsTest;

namespace {

constexpr uint64_t kMaster = 0x1000;
constexpr uint64_t kNorth = 0x1001; // (3, 4, 2)
constexpr uint64_t kEast = 0x1002;  // (10, 0, 3)
constexpr uint64_t kFar = 0x1003;
constexpr uint64_t kUnplaced = 0x1004; // coordinates unknown to the master
constexpr uint64_t kForklift = 0x2001;
constexpr uint64_t kCart = 0x2002;

bool sameImage(const QIcon &a, const QIcon &b)
{
    const QImage ia = a.pixmap(16, 16).toImage();
    return !ia.isNull() && ia == b.pixmap(16, 16).toImage();
}

QString idText(uint64_t id)
{
    return QStringLiteral("0x") + Rtls::hexId(id);
}

} // namespace

class tst_NodeList : public QObject
{
    Q_OBJECT

    SimProcess sim;
    Console *console = nullptr;
    QWidget *window = nullptr;
    NodeList *list = nullptr;
    QTreeWidget *tree = nullptr;

    QTreeWidgetItem *row(uint64_t id) const
    {
        QTreeWidgetItem *found = nullptr;
        for (int g = 0; g < tree->topLevelItemCount(); ++g) {
            QTreeWidgetItem *group = tree->topLevelItem(g);
            for (int c = 0; c < group->childCount(); ++c)
                if (isNodeRowType(group->child(c)->type())
                    && group->child(c)->data(0, Qt::UserRole).toULongLong() == id)
                    found = group->child(c);
        }
        return found;
    }

    QTreeWidgetItem *group(const QString &key) const
    {
        for (int g = 0; g < tree->topLevelItemCount(); ++g)
            if (tree->topLevelItem(g)->data(0, Qt::UserRole).toString() == key)
                return tree->topLevelItem(g);
        return nullptr;
    }

    QStringList topTexts() const
    {
        QStringList out;
        for (int g = 0; g < tree->topLevelItemCount(); ++g)
            out.append(tree->topLevelItem(g)->text(0));
        return out;
    }

    QStringList childTexts(const QString &key) const
    {
        QStringList out;
        if (QTreeWidgetItem *g = group(key))
            for (int c = 0; c < g->childCount(); ++c)
                out.append(g->child(c)->text(0));
        return out;
    }

    void clickRow(QTreeWidgetItem *item)
    {
        tree->scrollToItem(item);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
    }

    QTreeWidgetItem *rowFor(const QString &which) const
    {
        if (which == QLatin1String("tag"))
            return row(kForklift);
        if (which == QLatin1String("anchor"))
            return row(kNorth);
        if (which == QLatin1String("master"))
            return row(kMaster);
        if (which == QLatin1String("tag group"))
            return group(QStringLiteral("TAG"));
        return group(QStringLiteral("ANCHOR"));
    }

    static uint64_t idFor(const QString &which)
    {
        if (which == QLatin1String("tag"))
            return kForklift;
        if (which == QLatin1String("anchor"))
            return kNorth;
        return kMaster;
    }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void groupsCountsTypesAndIcons();
    void menuLayout_data();
    void menuLayout();
    void seatColumn_data();
    void seatColumn();
    void seatRoundTripThroughTheMaster();
    void modeChangeMovesTheRow();
    void nameChangeShowsAtOnce();
    void namesWithNumbersInOrder();
    void inactiveIconUntilTheNextReport();
    void selectionBothWays();
    void rebuildKeepsTheSelection();
    void zonesFollowTheMap();
    void alignmentFlipOverZTwiceRestores();
    void alignmentRotateToX();
    void alignmentRefusesAReferenceWithoutPosition();
    void dialogs_data();
    void dialogs();
    void menuCommands_data();
    void menuCommands();
    void menuNoOps_data();
    void menuNoOps();
    // Leaves two nodes of its own in the hub's registry: runs late.
    void groupsAreFoundByKey();
    void heardOnceIsListedWhenHeardAgain();
    void burstOfNewRowsGoesInTogether();
    void resetDropsTheMasterAndComesBack();
};

void tst_NodeList::initTestCase()
{
    Q_INIT_RESOURCE(sentrova_icons);
    QVERIFY2(QFile::exists(SimProcess::binary()), "build sentrova-sim first");
    console = new Console;
    window = new QWidget;
    list = new NodeList(window);
    auto *layout = new QVBoxLayout(window);
    layout->addWidget(list);
    window->resize(320, 900);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    tree = list->findChild<QTreeWidget *>(QStringLiteral("nodesTree"));
    QVERIFY(tree);

    QVERIFY(startSite(sim));
    for (uint64_t id : {kMaster, kNorth, kEast, kFar, kUnplaced, kForklift, kCart})
        QTRY_VERIFY2_WITH_TIMEOUT(row(id), qPrintable(idText(id)), kWait);
    // The master has answered for its anchors and both tags stream.
    QTRY_VERIFY_WITH_TIMEOUT(hub()->node(kNorth)->pos()->flags() & 0x20, kWait);
    // The first listing makes the master an anchor of category "anchor";
    // the next one gives it its own mode.
    hub()->listAnchors();
    QTRY_COMPARE_WITH_TIMEOUT(row(kMaster)->type(), int(MasterItem), kWait);
    // Tags are known by their id until their details, asked for when they
    // are first heard, name them.
    QTRY_COMPARE_WITH_TIMEOUT(row(kCart)->text(0), QStringLiteral("Cart"), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(row(kForklift)->text(0), QStringLiteral("Forklift"), kWait);
    console->clear();
}

void tst_NodeList::cleanupTestCase()
{
    delete window;
    delete console;
}

void tst_NodeList::groupsCountsTypesAndIcons()
{
    QCOMPARE(topTexts(), (QStringList{"ANCHOR [5]", "TAG [2]"}));
    QCOMPARE(group("ANCHOR")->type(), int(AnchorGroupItem));
    QCOMPARE(group("TAG")->type(), int(TagGroupItem));
    QCOMPARE(childTexts("ANCHOR"), (QStringList{"East", "Far", "Master", "North", "Unplaced"}));
    QCOMPARE(childTexts("TAG"), (QStringList{"Cart", "Forklift"}));

    QCOMPARE(row(kMaster)->type(), int(MasterItem));
    QCOMPARE(row(kNorth)->type(), int(AnchorItem));
    QCOMPARE(row(kForklift)->type(), int(TagItem));
    QCOMPARE(row(kNorth)->data(0, Qt::UserRole + 1).toString(), QStringLiteral("anchor"));
    QCOMPARE(row(kMaster)->text(3), QStringLiteral("0"));
    QCOMPARE(row(kFar)->text(3), QStringLiteral("3"));

    QVERIFY(sameImage(row(kMaster)->icon(0), NodeIcons::icon(NodeIcons::MapPinGreen)));
    QVERIFY(sameImage(row(kNorth)->icon(0), NodeIcons::icon(NodeIcons::AnchorGreen)));
    // The tags stand still, so their motion bit is set in io: yellow.
    QTRY_VERIFY(sameImage(row(kForklift)->icon(0), NodeIcons::icon(NodeIcons::TagYellow)));
    // Roles 0x2000, 0x1000 and 0x40000 of the site file.
    QVERIFY(sameImage(row(kMaster)->icon(1), NodeIcons::icon(NodeIcons::ClockGreen)));
    QVERIFY(sameImage(row(kNorth)->icon(1), NodeIcons::icon(NodeIcons::ClockGrey)));
    QVERIFY(sameImage(row(kEast)->icon(2), NodeIcons::icon(NodeIcons::ClipboardBlue)));
    QVERIFY(row(kFar)->icon(1).isNull() && row(kFar)->icon(2).isNull());
}

void tst_NodeList::menuLayout_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QStringList>("entries");

    const QString title = QStringLiteral("%1");
    const QStringList mode{"Mode", "Mode/Set Mode to Primary Master", "Mode/Set Mode to Secondary Master",
                           "Mode/Set Mode to Anchor", "Mode/Set Mode to Tag", "Mode/Set Mode to Offline"};
    QStringList anchorMode = mode;
    anchorMode << "Mode/Set Master Roles (Auto) (in test phase)" << "Mode/Set Anchor Roles (Auto)"
               << "Mode/Set Anchor Role =UWB FORCED=" << "Mode/Set Anchor Role =INET FORCED="
               << "Mode/Set Anchor/Offloader =FORCED=" << "Mode/Enable Data Collector"
               << "Mode/Disable Data Collector" << "Mode/Enable Backup Clock" << "Mode/Disable Backup Clock"
               << "Assign Seat";
    for (int seat = 0; seat < 24; ++seat)
        anchorMode << QStringLiteral("Assign Seat/%1").arg(seat);
    const QStringList alignment{"Alignment", "Alignment/Set as Origin", "Alignment/Put on X", "Alignment/Put on Y",
                                "Alignment/Put on Z", "Alignment/Rotate to X", "Alignment/Rotate to Y",
                                "Alignment/Rotate to -X", "Alignment/Rotate to -Y", "Alignment/Flip over X",
                                "Alignment/Flip over Y", "Alignment/Flip over Z", "Alignment/Mirror over XY",
                                "Alignment/Mirror over XZ", "Alignment/Mirror over YZ"};
    const QStringList actions{"Actions", "Actions/Force FW update", "Actions/Reset"};

    QTest::newRow("tag") << "tag"
                         << (QStringList{"Forklift", "Send Text", "Set Cursor", "Set Target", "Info",
                                         "Info/Get Details", "Info/Get Roles", "Info/Get TDMA Details",
                                         "Info/Get Statistics"}
                             + actions
                             + QStringList{"Sensors", "Sensors/None", "Sensors/Yaw-Pitch-Roll",
                                           "Sensors/Raw Data (9-DOF)", "Sensors/Quaterions", "Sensors/Idle detect",
                                           "Assign Group", "Assign Group/No Group", "Assign Group/Group 1",
                                           "Assign Group/Group 2", "Assign Group/Group 3", "Assign Group/Group 4"}
                             + mode + alignment);
    QTest::newRow("anchor") << "anchor"
                            << (QStringList{"North", "Info", "Info/Get Details", "Info/Get Roles", "Info/Get Parent",
                                            "Info/Get TDMA Details", "Info/Get Statistics", "Info/Get Distances",
                                            "Info/Get Position", "Info/Get Free Cluster Mask", "Set Parent"}
                                + actions + anchorMode + alignment);
    QTest::newRow("master") << "master"
                            << (QStringList{"Master", "Info", "Info/Get Details", "Info/Get Roles", "Info/Get Parent",
                                            "Info/Get TDMA Details", "Info/Get Statistics", "Info/Get Distances",
                                            "Info/Get Position"}
                                + actions
                                + QStringList{"Select UWB channel", "Select UWB channel/2", "Select UWB channel/3",
                                              "Select UWB channel/5"}
                                + anchorMode + alignment);
    QTest::newRow("tag group") << "tag group" << (QStringList{"TAG [2]", "Get Tag List"} + mode);
    QTest::newRow("anchor group") << "anchor group" << (QStringList{"ANCHOR [5]", "Get Anchor List"} + mode);
}

void tst_NodeList::menuLayout()
{
    QFETCH(QString, which);
    QFETCH(QStringList, entries);
    QCOMPARE(contextMenuTexts(tree, rowFor(which)), entries);
}

void tst_NodeList::seatColumn_data()
{
    QTest::addColumn<int>("seat");
    QTest::addColumn<QString>("shown");
    QTest::newRow("0") << 0 << "0";
    QTest::newRow("23") << 23 << "23";
    QTest::newRow("127") << 127 << "127";
    QTest::newRow("128") << 128 << "";
    QTest::newRow("255") << 255 << "";
    QTest::newRow("none") << -1 << "";
    QTest::newRow("negative") << -7 << "";
}

void tst_NodeList::seatColumn()
{
    QFETCH(int, seat);
    QFETCH(QString, shown);
    RtlsObject *node = hub()->node(kFar);
    const int before = node->seat();
    node->setSeat(seat);
    hub()->announceNodeUpdated(node);
    QCOMPARE(row(kFar)->text(3), shown);
    node->setSeat(before);
    hub()->announceNodeUpdated(node);
}

void tst_NodeList::seatRoundTripThroughTheMaster()
{
    QCOMPARE(triggerMenu(tree, row(kFar), {"Assign Seat", "23"}), MenuResult::Triggered);
    QCOMPARE(texts(console->sent()), texts(R"({"command":"setSeat","id":"0x1003","seat":"23"})"));
    hub()->getSeat(kFar);
    QTRY_COMPARE_WITH_TIMEOUT(row(kFar)->text(3), QStringLiteral("23"), kWait);
    hub()->setSeat(kFar, 3);
    hub()->getSeat(kFar);
    QTRY_COMPARE_WITH_TIMEOUT(row(kFar)->text(3), QStringLiteral("3"), kWait);
    console->clear();
}

void tst_NodeList::groupsAreFoundByKey()
{
    // A node of category "tags" must not join "TAG [2]" because the text
    // contains its key, and one of category "anchor" in tag mode joins the
    // anchor group, which keeps its kind.
    auto *plural = new RtlsObject(0x3001);
    plural->setCategory("tags");
    plural->setMode("tag");
    auto *odd = new RtlsObject(0x3002);
    odd->setCategory("anchor");
    odd->setMode("tag");
    for (RtlsObject *node : {plural, odd}) {
        hub()->insertNonAnchor(node);
        hub()->announceNodeAdded(node);
    }
    // New rows come a moment later, together.
    QTRY_COMPARE(topTexts(), (QStringList{"ANCHOR [6]", "TAG [2]", "TAGS [1]"}));
    QCOMPARE(row(0x3002)->parent(), group("ANCHOR"));
    QCOMPARE(row(0x3002)->type(), int(TagItem));
    QCOMPARE(group("ANCHOR")->type(), int(AnchorGroupItem));
    QCOMPARE(group("TAGS")->type(), int(TagGroupItem));

    // Updates keep the very row: no removal and re-adding.
    QTreeWidgetItem *before = row(0x3001);
    for (int i = 0; i < 3; ++i)
        hub()->announceNodeUpdated(plural);
    QCOMPARE(row(0x3001), before);
    QCOMPARE(topTexts(), (QStringList{"ANCHOR [6]", "TAG [2]", "TAGS [1]"}));

    // Taken away again: an emptied group goes with its last row.
    plural->setCategory("tag");
    hub()->announceNodeUpdated(plural);
    QCOMPARE(topTexts(), (QStringList{"ANCHOR [6]", "TAG [3]"}));
    emit hub()->nodeRemovedSignal(plural);
    emit hub()->nodeRemovedSignal(odd);
    QCOMPARE(topTexts(), (QStringList{"ANCHOR [5]", "TAG [2]"}));
}

// A tag made by one location report (one id of a flood) gets its row when
// it is heard again, not before, and a rebuild does not list it either.
void tst_NodeList::heardOnceIsListedWhenHeardAgain()
{
    auto *ghost = new RtlsObject(0x3011);
    ghost->setCategory("tag");
    ghost->setMode("tag");
    ghost->setMsgFlags(Rtls::kMsgHeardOnce);
    hub()->insertNonAnchor(ghost);
    hub()->announceNodeAdded(ghost);
    hub()->announceNodeUpdated(ghost);
    list->refreshList();
    QTest::qWait(3 * NodeTools::kListBatchDelayMs);
    QVERIFY(!row(0x3011));

    ghost->clearMsgFlags(Rtls::kMsgHeardOnce);
    hub()->announceNodeUpdated(ghost);
    QTRY_VERIFY(row(0x3011));
    QCOMPARE(row(0x3011)->parent(), group("TAG"));
    // Out of the way of the tests after this one.
    ghost->setMsgFlags(Rtls::kMsgHeardOnce);
    emit hub()->nodeRemovedSignal(ghost);
}

// Many new nodes at once (a site coming up): their rows come together a
// moment later, each in its place among the rows the group had, and the
// selection stays where it was.
void tst_NodeList::burstOfNewRowsGoesInTogether()
{
    Dispatch::instance()->emitIdSelected(kForklift);
    QTreeWidgetItem *selected = row(kForklift);
    QVERIFY(selected && selected->isSelected());
    const int before = group("TAG")->childCount();
    constexpr int kBurst = 40;
    QList<RtlsObject *> burst;
    for (int i = 0; i < kBurst; ++i) {
        auto *node = new RtlsObject(0x3100 + uint64_t(i));
        node->setCategory("tag");
        node->setMode("tag");
        // Around the names the group holds ("Cart", "Forklift").
        node->setName(QStringLiteral("%1 %2").arg(i % 3 == 0 ? "Bay" : i % 3 == 1 ? "Dock" : "Gate").arg(i));
        burst.append(node);
    }
    std::shuffle(burst.begin(), burst.end(), std::mt19937(21));
    for (RtlsObject *node : qAsConst(burst)) {
        hub()->insertNonAnchor(node);
        hub()->announceNodeAdded(node);
    }
    QVERIFY(!row(burst.first()->id()));
    QTRY_VERIFY(row(burst.last()->id()));
    for (RtlsObject *node : qAsConst(burst))
        QVERIFY(row(node->id()));
    const QStringList texts = childTexts("TAG");
    QCOMPARE(texts.size(), before + kBurst);
    QVERIFY(std::is_sorted(texts.begin(), texts.end(),
                           [](const QString &a, const QString &b) { return a.localeAwareCompare(b) < 0; }));
    QCOMPARE(group("TAG")->text(0), QStringLiteral("TAG [%1]").arg(before + kBurst));
    QCOMPARE(row(kForklift), selected);
    QCOMPARE(tree->selectedItems(), QList<QTreeWidgetItem *>{selected});
    QCOMPARE(tree->currentItem(), selected);

    Dispatch::instance()->emitIdSelected(0);
    // Out of the way of the tests after this one.
    for (RtlsObject *node : qAsConst(burst)) {
        node->setMsgFlags(Rtls::kMsgHeardOnce);
        emit hub()->nodeRemovedSignal(node);
    }
    QCOMPARE(group("TAG")->childCount(), before);
}

void tst_NodeList::modeChangeMovesTheRow()
{
    QCOMPARE(triggerMenu(tree, row(kCart), {"Mode", "Set Mode to Anchor"}), MenuResult::Triggered);
    QCOMPARE(texts(console->sent()), texts(R"({"command":"setMode","id":"0x2002","mode":"anchor"})"));
    hub()->listAnchors();
    // The tag's row is made again as an anchor row, still in its category.
    QTRY_COMPARE_WITH_TIMEOUT(row(kCart)->type(), int(AnchorItem), kWait);
    QCOMPARE(row(kCart)->parent(), group("TAG"));
    QCOMPARE(row(kCart)->data(0, Qt::UserRole + 1).toString(), QStringLiteral("anchor"));
    QCOMPARE(topTexts(), (QStringList{"ANCHOR [5]", "TAG [2]"}));

    hub()->setMode(kCart, "tag");
    hub()->listTags();
    QTRY_COMPARE_WITH_TIMEOUT(row(kCart)->type(), int(TagItem), kWait);
    QCOMPARE(topTexts(), (QStringList{"ANCHOR [5]", "TAG [2]"}));
    console->clear();
}

void tst_NodeList::nameChangeShowsAtOnce()
{
    RtlsObject *node = hub()->node(kNorth);
    QTreeWidgetItem *before = row(kNorth);
    node->setName("Aardvark");
    hub()->announceNodeUpdated(node);
    QCOMPARE(row(kNorth), before);
    QCOMPARE(childTexts("ANCHOR"), (QStringList{"Aardvark", "East", "Far", "Master", "Unplaced"}));
    node->setName("North");
    hub()->announceNodeUpdated(node);
    QCOMPARE(childTexts("ANCHOR"), (QStringList{"East", "Far", "Master", "North", "Unplaced"}));
}

// "Gate 2" before "Gate 10", as people count.
void tst_NodeList::namesWithNumbersInOrder()
{
    const std::pair<uint64_t, const char *> names[] = {{kNorth, "Gate 10"}, {kEast, "Gate 9"}, {kFar, "Gate 2"}};
    for (const auto &n : names) {
        hub()->node(n.first)->setName(QString::fromLatin1(n.second));
        hub()->announceNodeUpdated(hub()->node(n.first));
    }
    QCOMPARE(childTexts("ANCHOR"), (QStringList{"Gate 2", "Gate 9", "Gate 10", "Master", "Unplaced"}));
    // A rebuild puts them in the same order.
    list->refreshList();
    QCOMPARE(childTexts("ANCHOR"), (QStringList{"Gate 2", "Gate 9", "Gate 10", "Master", "Unplaced"}));
    const std::pair<uint64_t, const char *> back[] = {{kNorth, "North"}, {kEast, "East"}, {kFar, "Far"}};
    for (const auto &n : back) {
        hub()->node(n.first)->setName(QString::fromLatin1(n.second));
        hub()->announceNodeUpdated(hub()->node(n.first));
    }
    QCOMPARE(childTexts("ANCHOR"), (QStringList{"East", "Far", "Master", "North", "Unplaced"}));
}

void tst_NodeList::inactiveIconUntilTheNextReport()
{
    RtlsObject *node = hub()->node(kForklift);
    node->setLastUpdate(1);
    QSignalSpy inactive(hub(), &SentrovaInterface::nodeInactiveSignal);
    hub()->checkActivity();
    QCOMPARE(inactive.count(), 1);
    QVERIFY(sameImage(row(kForklift)->icon(0), NodeIcons::icon(NodeIcons::TagRed)));
    // A rebuild keeps the node red while it stays silent.
    list->refreshList();
    QVERIFY(sameImage(row(kForklift)->icon(0), NodeIcons::icon(NodeIcons::TagRed)));
    // Its next report makes it active again.
    QTRY_VERIFY_WITH_TIMEOUT(sameImage(row(kForklift)->icon(0), NodeIcons::icon(NodeIcons::TagYellow)), kWait);
}

void tst_NodeList::selectionBothWays()
{
    Dispatch *dispatch = Dispatch::instance();
    clickRow(row(kNorth));
    QCOMPARE(dispatch->selectedId(), kNorth);
    QCOMPARE(tree->selectedItems(), QList<QTreeWidgetItem *>{row(kNorth)});

    // A second click on the selected row clears the selection everywhere.
    clickRow(row(kNorth));
    QCOMPARE(dispatch->selectedId(), uint64_t(0));
    QVERIFY(tree->selectedItems().isEmpty());

    // A selection made elsewhere (the map) shows here.
    dispatch->emitIdSelected(kForklift);
    QCOMPARE(tree->selectedItems(), QList<QTreeWidgetItem *>{row(kForklift)});
    QCOMPARE(tree->currentItem(), row(kForklift));
    dispatch->emitIdSelected(kNorth);
    QCOMPARE(tree->selectedItems(), QList<QTreeWidgetItem *>{row(kNorth)});

    // Clicking a group row selects no node.
    clickRow(group("TAG"));
    QCOMPARE(dispatch->selectedId(), uint64_t(0));
    QCOMPARE(tree->selectedItems(), QList<QTreeWidgetItem *>{group("TAG")});
    dispatch->emitIdSelected(0);
}

void tst_NodeList::rebuildKeepsTheSelection()
{
    Dispatch::instance()->emitIdSelected(kEast);
    list->refreshList();
    QCOMPARE(tree->selectedItems(), QList<QTreeWidgetItem *>{row(kEast)});
    QCOMPARE(topTexts(), (QStringList{"ANCHOR [5]", "TAG [2]"}));
    // A burst of anchor list announcements rebuilds once, a moment later:
    // what changed without a word shows then. The rows that were right
    // stay, and so does the selection.
    QTreeWidgetItem *before = row(kEast);
    RtlsObject *far = hub()->node(kFar);
    const int seat = far->seat();
    far->setSeat(seat == 5 ? 6 : 5);
    const QString shown = row(kFar)->text(3);
    for (int i = 0; i < 20; ++i)
        emit hub()->anchorListUpdated();
    QCOMPARE(row(kFar)->text(3), shown);
    QTRY_COMPARE(row(kFar)->text(3), QString::number(far->seat()));
    QCOMPARE(row(kEast), before);
    QCOMPARE(topTexts(), (QStringList{"ANCHOR [5]", "TAG [2]"}));
    QCOMPARE(tree->selectedItems(), QList<QTreeWidgetItem *>{row(kEast)});
    Dispatch::instance()->emitIdSelected(0);
    far->setSeat(seat);
    hub()->announceNodeUpdated(far);
}

void tst_NodeList::zonesFollowTheMap()
{
    // As the main window places them: the map announces new zones, the
    // list is given the map.
    MapTab map;
    const QJsonObject site = json(R"({"zone":[{"name":"Dock","id":"0x1001"},{"name":"","id":"0xABC"}]})");
    map.fromJSON(site);
    connect(&map, &MapTab::zoneAdded, list, &NodeList::zoneAdded);
    const auto zoneTexts = [this] { return childTexts(QStringLiteral("ZONES")); };
    QCOMPARE(zoneTexts(), QStringList());
    list->setMapTab(&map);

    // A zone whose number is a node's id is a zone all the same.
    QCOMPARE(topTexts(), (QStringList{"ANCHOR [5]", "TAG [2]", "ZONES"}));
    QCOMPARE(zoneTexts(), (QStringList{"Dock", "0ABC"}));
    QTreeWidgetItem *dock = group("ZONES")->child(0);
    QCOMPARE(dock->type(), int(ZoneItem));
    QVERIFY(sameImage(dock->icon(0), NodeIcons::icon(NodeIcons::ZoneBlue)));
    QCOMPARE(row(kNorth)->text(0), QStringLiteral("North"));
    Dispatch::instance()->emitIdSelected(kNorth);
    QCOMPARE(tree->selectedItems(), QList<QTreeWidgetItem *>{row(kNorth)});

    // Clicking a zone selects no node; its menu commands none.
    clickRow(dock);
    QCOMPARE(Dispatch::instance()->selectedId(), uint64_t(0));
    QCOMPARE(triggerMenu(tree, dock, {"Mode", "Set Mode to Tag"}), MenuResult::Disabled);
    QCOMPARE(texts(console->sent()), QStringList());

    // Renamed, rebuilt, announced twice: one row each, up to date.
    map.zones().first()->setName(QStringLiteral("Loading dock"));
    map.scene()->zoneChanged(map.zones().first());
    list->zoneAdded(map.zones().first());
    list->refreshList();
    QCOMPARE(zoneTexts(), (QStringList{"Loading dock", "0ABC"}));

    // A second load replaces the zones: none is left twice.
    map.fromJSON(site);
    QCOMPARE(zoneTexts(), (QStringList{"Dock", "0ABC"}));
    map.removeZone(map.zones().first());
    QCOMPARE(zoneTexts(), QStringList{"0ABC"});
    map.addZone();
    QCOMPARE(zoneTexts(), (QStringList{"0ABC", "New Zone"}));
    // A zone deleted without a word from the map goes too.
    auto *loose = new MapZone;
    loose->setName(QStringLiteral("Loose"));
    list->zoneAdded(loose);
    QCOMPARE(zoneTexts(), (QStringList{"0ABC", "New Zone", "Loose"}));
    delete loose;
    QCOMPARE(zoneTexts(), (QStringList{"0ABC", "New Zone"}));
    map.fromJSON(json(R"({"zone":[]})"));
    QCOMPARE(topTexts(), (QStringList{"ANCHOR [5]", "TAG [2]"}));
    list->setMapTab(nullptr);
    Dispatch::instance()->emitIdSelected(0);
}

void tst_NodeList::alignmentFlipOverZTwiceRestores()
{
    QHash<uint64_t, QVector3D> before;
    for (uint64_t id : {kMaster, kNorth, kEast, kFar}) {
        RtlsPos *p = hub()->node(id)->pos();
        before.insert(id, QVector3D(p->x(), p->y(), p->z()));
    }
    const uint32_t unplacedFlags = hub()->node(kUnplaced)->pos()->flags();

    QCOMPARE(triggerMenu(tree, row(kEast), {"Alignment", "Flip over Z"}), MenuResult::Triggered);
    const QList<QJsonObject> sent = console->sent();
    QCOMPARE(sent.size(), 4);
    for (const QJsonObject &cmd : sent) {
        QCOMPARE(cmd.value("command").toString(), QStringLiteral("setPos"));
        QVERIFY(cmd.contains("x") && cmd.contains("y") && !cmd.contains("z"));
        QVERIFY(cmd.value("id") != QStringLiteral("0x1004"));
    }
    QCOMPARE(hub()->node(kEast)->pos()->x(), -10.0f);
    QCOMPARE(triggerMenu(tree, row(kEast), {"Alignment", "Flip over Z"}), MenuResult::Triggered);
    console->clear();
    for (uint64_t id : {kMaster, kNorth, kEast, kFar}) {
        RtlsPos *p = hub()->node(id)->pos();
        QCOMPARE(QVector3D(p->x(), p->y(), p->z()), before.value(id));
    }
    // The anchor whose position is unknown is neither moved nor pinned.
    QCOMPARE(hub()->node(kUnplaced)->pos()->flags(), unplacedFlags);
}

void tst_NodeList::alignmentRotateToX()
{
    QCOMPARE(triggerMenu(tree, row(kNorth), {"Alignment", "Rotate to X"}), MenuResult::Triggered);
    const QList<QJsonObject> sent = console->sent();
    RtlsPos *north = hub()->node(kNorth)->pos();
    QVERIFY(qAbs(north->x() - 5.0f) < 1e-4f);
    QVERIFY(qAbs(north->y()) < 1e-4f);
    QCOMPARE(north->z(), 2.0f);
    bool northSent = false;
    for (const QJsonObject &cmd : sent) {
        if (cmd.value("id") != QStringLiteral("0x1001"))
            continue;
        northSent = true;
        QCOMPARE(cmd.value("x").toDouble(), 5.0);
        QCOMPARE(cmd.value("y").toDouble(), 0.0);
        QVERIFY(!cmd.contains("z"));
    }
    QVERIFY(northSent);
    // The master at the origin stays there; East at (10, 0) turns with the rest.
    QCOMPARE(hub()->node(kMaster)->pos()->x(), 0.0f);
    QVERIFY(qAbs(hub()->node(kEast)->pos()->x() - 6.0f) < 1e-4f);
    QVERIFY(qAbs(hub()->node(kEast)->pos()->y() + 8.0f) < 1e-4f);
    // What was sent is what the master keeps.
    hub()->node(kNorth)->pos()->setPos(0, 0, 0);
    hub()->listAnchors();
    QTRY_VERIFY_WITH_TIMEOUT(qAbs(hub()->node(kNorth)->pos()->x() - 5.0f) < 1e-3f, kWait);
    console->clear();
}

void tst_NodeList::alignmentRefusesAReferenceWithoutPosition()
{
    QCOMPARE(triggerMenu(tree, row(kUnplaced), {"Alignment", "Set as Origin"}), MenuResult::Triggered);
    QCOMPARE(texts(console->sent()), QStringList());
}

void tst_NodeList::dialogs_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("prompt");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QString>("expected"); // empty: nothing sent

    QTest::newRow("text") << "tag" << "Send Text" << "Send User Text" << "Send User Text to 0x2001" << "Hello"
                          << true << R"({"command":"setUserData","id":"0x2001","type":"250","text":"Hello"})";
    QTest::newRow("text cancelled") << "tag" << "Send Text" << "Send User Text" << "Send User Text to 0x2001" << "Hello"
                                    << false << "";
    QTest::newRow("text emptied") << "tag" << "Send Text" << "Send User Text" << "Send User Text to 0x2001" << ""
                                  << true << "";
    QTest::newRow("cursor") << "tag" << "Set Cursor" << "Select Cursor" << "Select Cursor for 0x2001" << "-1"
                            << true << R"({"command":"setUserData","id":"0x2001","type":"249","text":"-1"})";
    QTest::newRow("target anchor") << "tag" << "Set Target" << "Select Target Anchor"
                                   << "Select Target Anchor for 0x2001" << "1003"
                                   << true << R"({"command":"setUserData","id":"0x2001","type":"248","text":"1003"})";
    QTest::newRow("target none") << "tag" << "Set Target" << "Select Target Anchor"
                                 << "Select Target Anchor for 0x2001" << "None"
                                 << true << R"({"command":"setUserData","id":"0x2001","type":"248","text":"None"})";
    QTest::newRow("parent") << "anchor" << "Set Parent" << "Select Parent / offloading anchor"
                            << "Select Parent / offloading Anchor for 0x1001" << "1002"
                            << true << R"({"command":"setParent","id":"0x1001","parent":"1002","group":"1002"})";
}

void tst_NodeList::dialogs()
{
    QFETCH(QString, which);
    QFETCH(QString, entry);
    QFETCH(QString, title);
    QFETCH(QString, prompt);
    QFETCH(QString, answer);
    QFETCH(bool, accept);
    QFETCH(QString, expected);
    QString seenTitle;
    QString seenPrompt;
    QStringList seenItems;
    const MenuResult result = triggerMenu(tree, rowFor(which), {entry}, [&](QWidget *w) {
        auto *dialog = qobject_cast<QInputDialog *>(w);
        QVERIFY(dialog);
        seenTitle = dialog->windowTitle();
        seenPrompt = dialog->labelText();
        seenItems = dialog->comboBoxItems();
        if (dialog->inputMode() == QInputDialog::IntInput)
            dialog->setIntValue(answer.toInt());
        else
            dialog->setTextValue(answer);
        if (accept)
            dialog->accept();
        else
            dialog->reject();
    });
    QCOMPARE(result, MenuResult::Triggered);
    QCOMPARE(seenTitle, title);
    QCOMPARE(seenPrompt, prompt);
    if (!seenItems.isEmpty())
        QCOMPARE(seenItems, (QStringList{"None", "1000", "1001", "1002", "1003", "1004"}));
    const QStringList sent = texts(console->sent());
    if (expected.isEmpty())
        QCOMPARE(sent, QStringList());
    else
        QCOMPARE(sent, texts(expected.toUtf8()));
}

void tst_NodeList::menuCommands_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QStringList>("path");
    QTest::addColumn<QString>("expected"); // %1: the row's id

    const auto add = [](const QString &which, const QStringList &path, const QString &expected) {
        QTest::newRow(qPrintable(which + ": " + path.join('/'))) << which << path << expected;
    };
    const QString byId = QStringLiteral(R"({"command":"%2","id":"%1"})");
    for (const QString which : {"tag", "anchor", "master"}) {
        add(which, {"Info", "Get Details"}, byId.arg("%1", "getDetails"));
        add(which, {"Info", "Get Roles"}, byId.arg("%1", "getRoles"));
        add(which, {"Info", "Get TDMA Details"}, byId.arg("%1", "getTdmaDetails"));
        add(which, {"Info", "Get Statistics"}, byId.arg("%1", "getStats"));
        add(which, {"Actions", "Force FW update"}, byId.arg("%1", "forceFwUpdate"));
        const std::pair<const char *, const char *> modes[] = {{"Primary Master", "primary"},
                                                               {"Secondary Master", "master"},
                                                               {"Anchor", "anchor"},
                                                               {"Tag", "tag"},
                                                               {"Offline", "offline"}};
        for (const auto &m : modes)
            add(which, {"Mode", QStringLiteral("Set Mode to %1").arg(m.first)},
                QStringLiteral(R"({"command":"setMode","id":"%1","mode":"%2"})").arg("%1", m.second));
    }
    for (const QString which : {"anchor", "master"}) {
        add(which, {"Info", "Get Parent"}, byId.arg("%1", "getParent"));
        add(which, {"Info", "Get Distances"}, byId.arg("%1", "getDist"));
        add(which, {"Info", "Get Position"}, byId.arg("%1", "getPos"));
        const QString roles = QStringLiteral(R"({"command":"%2","id":"%1","roles":"%3"})");
        add(which, {"Mode", "Set Master Roles (Auto) (in test phase)"}, roles.arg("%1", "setRoles", "0x30904"));
        add(which, {"Mode", "Set Anchor Roles (Auto)"}, roles.arg("%1", "setRoles", "0x1000802"));
        add(which, {"Mode", "Set Anchor Role =UWB FORCED="}, roles.arg("%1", "setRoles", "0x81000802"));
        add(which, {"Mode", "Set Anchor Role =INET FORCED="}, roles.arg("%1", "setRoles", "0x80010802"));
        add(which, {"Mode", "Set Anchor/Offloader =FORCED="}, roles.arg("%1", "setRoles", "0x30802"));
        add(which, {"Mode", "Enable Data Collector"}, roles.arg("%1", "addRoles", "0x140000"));
        add(which, {"Mode", "Disable Data Collector"}, roles.arg("%1", "removeRoles", "0x140000"));
        add(which, {"Mode", "Enable Backup Clock"}, roles.arg("%1", "addRoles", "0x1000"));
        add(which, {"Mode", "Disable Backup Clock"}, roles.arg("%1", "removeRoles", "0x1000"));
        add(which, {"Assign Seat", "0"}, QStringLiteral(R"({"command":"setSeat","id":"%1","seat":"0"})"));
    }
    add("anchor", {"Info", "Get Free Cluster Mask"}, byId.arg("%1", "getFreeMask"));
    add("anchor", {"Assign Seat", "23"}, QStringLiteral(R"({"command":"setSeat","id":"%1","seat":"23"})"));
    const std::pair<const char *, const char *> sensors[] = {{"None", "none"},
                                                             {"Yaw-Pitch-Roll", "ypr"},
                                                             {"Raw Data (9-DOF)", "agm"},
                                                             {"Quaterions", "quat"},
                                                             {"Idle detect", "idle"}};
    for (const auto &s : sensors)
        add("tag", {"Sensors", s.first}, QStringLiteral(R"({"command":"sensOut","id":"%1","mode":"%2"})").arg("%1", s.second));
    add("tag", {"Assign Group", "No Group"}, QStringLiteral(R"({"command":"setGroup","id":"%1","group":"0"})"));
    for (int g = 1; g <= 4; ++g)
        add("tag", {"Assign Group", QStringLiteral("Group %1").arg(g)},
            QStringLiteral(R"({"command":"setGroup","id":"@ID","group":"%1"})").arg(g));
    for (int channel : {2, 3, 5})
        add("master", {"Select UWB channel", QString::number(channel)},
            QStringLiteral(R"({"command":"setUwbConfig","chan":%1})").arg(channel));
    add("tag group", {"Get Tag List"}, R"({"command":"listTags"})");
    add("anchor group", {"Get Anchor List"}, R"({"command":"listAnchors"})");
}

void tst_NodeList::menuCommands()
{
    QFETCH(QString, which);
    QFETCH(QStringList, path);
    QFETCH(QString, expected);
    QTreeWidgetItem *target = rowFor(which);
    QVERIFY(target);
    const bool isNode = !which.contains("group");
    RtlsObject *node = hub()->node(idFor(which));
    const QString mode = node->mode();
    const uint32_t roles = node->roles();
    const QString id = isNode ? idText(node->id()) : QString();
    QCOMPARE(triggerMenu(tree, target, path), MenuResult::Triggered);
    const QByteArray want = QString(expected).replace("%1", id).replace("@ID", id).toUtf8();
    QCOMPARE(texts(console->sent()), texts(want));

    // Put the site back the way the other rows expect it; the master's
    // answers bring the model back too.
    const QString command = json(want).value("command").toString();
    if (command == QLatin1String("setMode")) {
        hub()->setMode(node->id(), mode);
        QTRY_COMPARE_WITH_TIMEOUT(node->mode(), mode, kWait);
        QTRY_COMPARE_WITH_TIMEOUT(rowFor(which)->data(0, Qt::UserRole + 1).toString(), mode, kWait);
    } else if (command.endsWith(QLatin1String("Roles"))) {
        hub()->setRoles(node->id(), roles);
        QTRY_COMPARE_WITH_TIMEOUT(node->roles(), roles, kWait);
    } else if (command == QLatin1String("setUwbConfig")) {
        hub()->setUwbChannel(5);
    }
    console->clear();
}

void tst_NodeList::menuNoOps_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QStringList>("path");
    QTest::addColumn<int>("result");

    const int absent = int(MenuResult::Absent);
    const int disabled = int(MenuResult::Disabled);
    // A group row stands for no node: nothing that addresses one acts on it.
    for (const QString which : {"tag group", "anchor group"}) {
        QTest::newRow(qPrintable(which + ": mode")) << which << QStringList{"Mode", "Set Mode to Tag"} << disabled;
        QTest::newRow(qPrintable(which + ": alignment"))
            << which << QStringList{"Alignment", "Flip over Z"} << absent;
        QTest::newRow(qPrintable(which + ": details")) << which << QStringList{"Info", "Get Details"} << absent;
    }
    QTest::newRow("tag: no seat") << "tag" << QStringList{"Assign Seat", "1"} << absent;
    QTest::newRow("tag: no parent") << "tag" << QStringList{"Set Parent"} << absent;
    QTest::newRow("anchor: no text") << "anchor" << QStringList{"Send Text"} << absent;
    QTest::newRow("anchor: no group") << "anchor" << QStringList{"Assign Group", "Group 1"} << absent;
    QTest::newRow("master: no free mask") << "master" << QStringList{"Info", "Get Free Cluster Mask"} << absent;
}

void tst_NodeList::menuNoOps()
{
    QFETCH(QString, which);
    QFETCH(QStringList, path);
    QFETCH(int, result);
    QCOMPARE(int(triggerMenu(tree, rowFor(which), path)), result);
    QCOMPARE(texts(console->sent()), QStringList());
}

void tst_NodeList::resetDropsTheMasterAndComesBack()
{
    QSignalSpy added(hub(), &SentrovaInterface::anchorListUpdated);
    QCOMPARE(triggerMenu(tree, row(kForklift), {"Actions", "Reset"}), MenuResult::Triggered);
    QCOMPARE(texts(console->sent()), texts(R"({"command":"reset","id":"0x2001"})"));
    QTRY_COMPARE_WITH_TIMEOUT(hub()->svc()->clientCount(), 0, kWait);
    reconnect();
    QTRY_VERIFY_WITH_TIMEOUT(!added.isEmpty(), kWait);
    QTRY_VERIFY(row(kNorth) && row(kForklift));
    QCOMPARE(sim.terminate(), 0);
}

QTEST_MAIN(tst_NodeList)
#include "tst_nodelist.moc"
