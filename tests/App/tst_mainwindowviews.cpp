#include "AnchorCalibrationTab.h"
#include "AppTestEnvironment.h"
#include "ConsoleLogCapture.h"
#include "ConsoleView.h"
#include "Dispatch.h"
#include "MainWindow.h"
#include "MeasurementTab.h"
#include "NodeDetailTab.h"
#include "ModalDialog.h"
#include "MapGrid.h"
#include "MapTab.h"
#include "MapZone.h"
#include "OrientationView.h"
#include "NodeObject.h"
#include "OrientationViewSettings.h"
#include "PositionHistory.h"
#include "RtlsLs.h"
#include "MapScene.h"
#include "RtlsObject.h"
#include "RtlsObjectStats.h"
#include "SentrovaInterface.h"
#include "SentrovaSettings.h"
#include "SettingsTab.h"
#include "SetupTab.h"
#include "SiteAcceptanceTab.h"
#include "TagCalibrationTab.h"
#include "WindowLayout.h"
#include "ZonesTab.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPushButton>
#include <QTableWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QVector3D>
#include <QGroupBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTabWidget>
#include <QtTest>

#include <QGLViewer/camera.h>

#include <memory>

namespace {

// The shared pages every window shows, in tab order (after the map).
QList<QWidget *> sharedPages()
{
    return {SettingsTab::instance(), SetupTab::instance(), ZonesTab::instance(), AnchorCalibrationTab::instance(),
            TagCalibrationTab::instance(), SiteAcceptanceTab::instance()};
}

// A page that will not be closed, as one with unsaved input may refuse.
class StubbornPage : public QWidget
{
protected:
    void closeEvent(QCloseEvent *event) override { event->ignore(); }
};

QImage iconImage(const QIcon &icon)
{
    return icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

// The main window's tabs and docks as a user finds them, and what closing
// tabs and the window does to the pages that the whole process shares.
class TestMainWindowViews : public QObject
{
    Q_OBJECT

public:
    static void initMain() { AppTestEnvironment::isolate(); }

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void tabs_data();
    void tabs();
    void docks_data();
    void docks();
    void hiddenDockComesBackFromTheViewMenu();
    void systemSettingsPageOncePerProcess();
    void closingTabsKeepsSharedPages();
    void stubbornPageStopsTheClosing();
    void closingTheWindow();
    void destroyedWindowLeavesSharedPages();
    void clearHistoryCreatesNoStatistics();
    void cameraActions_data();
    void cameraActions();
    void gridAndZoneActions();
    void exportMapImage();
    void mapLinesReachTheConsole();
    void mapTurnsTheOrientationView();
    void nodeViewsFollowTheModel();

private:
    MainWindow *createWindow();
    QDockWidget *dock(const QString &objectName) const;
    QAction *action(const QString &text) const;
    MapTab *map() const { return m_window->findChild<MapTab *>(); }

    std::unique_ptr<MainWindow> m_window;
};

void TestMainWindowViews::initTestCase()
{
    SentrovaInterface::instance();
    ConsoleLogCapture::install();
}

// Each window starts as at a first start: a closed one keeps its layout.
void TestMainWindowViews::init()
{
    WindowLayout::clear();
}

void TestMainWindowViews::cleanup()
{
    m_window.reset();
    Dispatch::instance()->emitIdSelected(0);
}

MainWindow *TestMainWindowViews::createWindow()
{
    m_window = std::make_unique<MainWindow>();
    m_window->show();
    if (!QTest::qWaitForWindowExposed(m_window.get()))
        qWarning("main window not exposed");
    return m_window.get();
}

QDockWidget *TestMainWindowViews::dock(const QString &objectName) const
{
    return m_window->findChild<QDockWidget *>(objectName);
}

QAction *TestMainWindowViews::action(const QString &text) const
{
    for (QAction *a : m_window->findChildren<QAction *>())
        if (a->text() == text)
            return a;
    return nullptr;
}

void TestMainWindowViews::tabs_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("pageClass");

    QTest::newRow("map") << 0 << "Map" << "MapTab";
    QTest::newRow("settings") << 1 << "Settings" << "SettingsTab";
    QTest::newRow("setup") << 2 << "Initial Setup" << "SetupTab";
    QTest::newRow("zones") << 3 << "Zones" << "ZonesTab";
    QTest::newRow("anchor calibration") << 4 << "Anchor Calibration" << "AnchorCalibrationTab";
    QTest::newRow("tag calibration") << 5 << "Tag Calibration" << "TagCalibrationTab";
    QTest::newRow("site acceptance") << 6 << "Site Acceptance" << "SiteAcceptanceTab";
}

void TestMainWindowViews::tabs()
{
    QFETCH(int, index);
    QFETCH(QString, title);
    QFETCH(QString, pageClass);

    createWindow();
    QTabWidget *tabs = m_window->tabWidget();
    QCOMPARE(m_window->centralWidget(), tabs);
    QCOMPARE(tabs->count(), 7);
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(tabs->tabText(index), title);
    QCOMPARE(QString::fromLatin1(tabs->widget(index)->metaObject()->className()), pageClass);
    QCOMPARE(iconImage(tabs->tabIcon(index)), iconImage(QIcon(QStringLiteral(":/images/logo.png"))));

    // The map knows where it sits and under which title: it shows the
    // capture's record count there.
    if (auto *map = qobject_cast<MapTab *>(tabs->widget(index))) {
        QCOMPARE(map->tabWidget(), tabs);
        QCOMPARE(map->tabIndex(), index);
        QCOMPARE(map->tabText(), title);
    }

    // A shared page is the process's one instance.
    if (index > 0)
        QCOMPARE(tabs->widget(index), sharedPages().at(index - 1));
}

void TestMainWindowViews::docks_data()
{
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("contentClass");
    QTest::addColumn<int>("allowedAreas");
    QTest::addColumn<int>("area");
    QTest::addColumn<int>("horizontalPolicy");
    QTest::addColumn<int>("verticalPolicy");
    QTest::addColumn<int>("horizontalStretch");
    QTest::addColumn<bool>("shown");

    QTest::newRow("node list")
        << "list" << "Node List" << "NodeList" << int(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea)
        << int(Qt::LeftDockWidgetArea) << int(QSizePolicy::Preferred) << int(QSizePolicy::MinimumExpanding) << 0
        << true;
    QTest::newRow("node details")
        << "details" << "Node Details" << "NodeDetailTab" << int(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea)
        << int(Qt::LeftDockWidgetArea) << int(QSizePolicy::Preferred) << int(QSizePolicy::Preferred) << 0 << true;
    QTest::newRow("orientation")
        << "orientation" << "Node Orientation" << "OrientationView" << int(Qt::AllDockWidgetAreas)
        << int(Qt::LeftDockWidgetArea) << int(QSizePolicy::Preferred) << int(QSizePolicy::Preferred) << 1 << false;
    QTest::newRow("measurement tool")
        << "measuerment" << "Measurement Tool" << "MeasurementTab" << int(Qt::AllDockWidgetAreas)
        << int(Qt::LeftDockWidgetArea) << int(QSizePolicy::Preferred) << int(QSizePolicy::Preferred) << 1 << false;
    QTest::newRow("console")
        << "debugwindow" << "Console window" << "ConsoleView" << int(Qt::BottomDockWidgetArea)
        << int(Qt::BottomDockWidgetArea) << int(QSizePolicy::MinimumExpanding) << int(QSizePolicy::Minimum) << 100
        << true;
}

void TestMainWindowViews::docks()
{
    QFETCH(QString, objectName);
    QFETCH(QString, title);
    QFETCH(QString, contentClass);
    QFETCH(int, allowedAreas);
    QFETCH(int, area);
    QFETCH(int, horizontalPolicy);
    QFETCH(int, verticalPolicy);
    QFETCH(int, horizontalStretch);
    QFETCH(bool, shown);

    createWindow();
    QDockWidget *found = dock(objectName);
    QVERIFY(found);
    QCOMPARE(found->windowTitle(), title);
    QVERIFY(found->widget());
    QCOMPARE(QString::fromLatin1(found->widget()->metaObject()->className()), contentClass);
    QCOMPARE(int(found->allowedAreas()), allowedAreas);
    QCOMPARE(int(m_window->dockWidgetArea(found)), area);
    const QSizePolicy policy = found->widget()->sizePolicy();
    QCOMPARE(int(policy.horizontalPolicy()), horizontalPolicy);
    QCOMPARE(int(policy.verticalPolicy()), verticalPolicy);
    QCOMPARE(policy.horizontalStretch(), horizontalStretch);
    QCOMPARE(found->isVisible(), shown);
}

void TestMainWindowViews::hiddenDockComesBackFromTheViewMenu()
{
    createWindow();
    QDockWidget *orientation = dock(QStringLiteral("orientation"));
    QVERIFY(!orientation->isVisible());
    QAction *toggle = nullptr;
    for (QAction *menu : m_window->menuBar()->actions())
        if (menu->menu() && menu->text() == QLatin1String("&View"))
            for (QAction *action : menu->menu()->actions())
                if (action->text() == QLatin1String("Node Orientation"))
                    toggle = action;
    QVERIFY(toggle);
    QVERIFY(!toggle->isChecked());
    toggle->trigger();
    QVERIFY(orientation->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(orientation->widget()));
    toggle->trigger();
    QVERIFY(!orientation->isVisible());
}

void TestMainWindowViews::systemSettingsPageOncePerProcess()
{
    createWindow();
    createWindow();
    SettingsTab *settings = SettingsTab::instance();
    QCOMPARE(settings->settingsTitles().count(QStringLiteral("sentrova Settings")), 1);
    QGroupBox *group = settings->settingsGroup(QStringLiteral("sentrova Settings"));
    QVERIFY(group);
    QVERIFY(group->findChild<SentrovaSettings *>());
}

// Closing a tab deletes the window's own map but only takes a shared page
// out of the window; a new window shows the same shared pages again.
void TestMainWindowViews::closingTabsKeepsSharedPages()
{
    createWindow();
    QTabWidget *tabs = m_window->tabWidget();
    const QList<QWidget *> pages = sharedPages();
    QList<QPointer<QWidget>> guards;
    for (QWidget *page : pages)
        guards << page;

    const QPointer<MapTab> map = qobject_cast<MapTab *>(tabs->widget(0));
    QVERIFY(map);
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(m_window->closeCurrentTab(), 0);
    QVERIFY(!map);
    QVERIFY(!action(QStringLiteral("View in 2D (top)"))->isEnabled());
    QVERIFY(!action(QStringLiteral("Export Map &Image..."))->isEnabled());
    QVERIFY(!ZonesTab::instance()->addButton()->isEnabled());

    tabs->setCurrentWidget(SetupTab::instance());
    QCOMPARE(m_window->closeCurrentTab(), 0);
    QCOMPARE(tabs->count(), 5);
    QVERIFY(guards.at(1));
    QCOMPARE(guards.at(1)->parent(), nullptr);
    QVERIFY(!guards.at(1)->isVisible());
    QCOMPARE(SetupTab::instance(), pages.at(1));

    while (m_window->closeCurrentTab() == 0) {
    }
    QCOMPARE(tabs->count(), 0);
    QCOMPARE(m_window->closeCurrentTab(), -1);
    for (const QPointer<QWidget> &guard : guards) {
        QVERIFY(guard);
        QCOMPARE(guard->parent(), nullptr);
    }

    createWindow();
    tabs = m_window->tabWidget();
    QCOMPARE(tabs->count(), pages.size() + 1);
    QVERIFY(qobject_cast<MapTab *>(tabs->widget(0)));
    for (int i = 0; i < pages.size(); ++i) {
        QCOMPARE(tabs->widget(i + 1), pages.at(i));
        QCOMPARE(tabs->indexOf(pages.at(i)), i + 1);
    }
    QVERIFY(ZonesTab::instance()->addButton()->isEnabled());
    // A page closed before is shown again when chosen.
    tabs->setCurrentWidget(SetupTab::instance());
    QVERIFY(QTest::qWaitForWindowExposed(SetupTab::instance()));
}

void TestMainWindowViews::stubbornPageStopsTheClosing()
{
    createWindow();
    QTabWidget *tabs = m_window->tabWidget();
    auto *stubborn = new StubbornPage;
    tabs->insertTab(1, stubborn, QStringLiteral("Stubborn"));
    tabs->setCurrentIndex(tabs->count() - 1);

    // The close stops at the page that refuses; the window closes anyway.
    QVERIFY(m_window->close());
    QVERIFY(!m_window->isVisible());
    QCOMPARE(tabs->count(), 2);
    QVERIFY(qobject_cast<MapTab *>(tabs->widget(0)));
    QCOMPARE(tabs->widget(1), stubborn);
    QCOMPARE(m_window->closeCurrentTab(), -1);
    QCOMPARE(tabs->count(), 2);

    // Not the window's own page: it outlives the window, and is ours to delete.
    const QPointer<QWidget> guard(stubborn);
    m_window.reset();
    QVERIFY(guard);
    delete stubborn;
}

void TestMainWindowViews::closingTheWindow()
{
    createWindow();
    const QPointer<QWidget> orientation = m_window->findChild<OrientationView *>();
    const QPointer<QWidget> map = m_window->findChild<MapTab *>();
    QVERIFY(orientation && map);
    QVERIFY(SettingsTab::instance()->settingsTitles().contains(QStringLiteral("Main Viewer Settings")));
    QVERIFY(m_window->close());
    QCOMPARE(m_window->tabWidget()->count(), 0);
    QVERIFY(!map);
    for (QWidget *page : sharedPages()) {
        QCOMPARE(page->parent(), nullptr);
        QVERIFY(!page->isVisible());
    }
    m_window.reset();
    QVERIFY(!orientation);
    // The views' settings panels went with their views; the shared ones stay.
    const QStringList titles = SettingsTab::instance()->settingsTitles();
    QVERIFY2(!titles.contains(QStringLiteral("Orientation View Settings")), qPrintable(titles.join(", ")));
    QVERIFY2(!titles.contains(QStringLiteral("Main Viewer Settings")), qPrintable(titles.join(", ")));
    QVERIFY(titles.contains(QStringLiteral("sentrova Settings")));
}

void TestMainWindowViews::destroyedWindowLeavesSharedPages()
{
    createWindow();
    QList<QPointer<QWidget>> guards;
    for (QWidget *page : sharedPages())
        guards << page;
    m_window.reset();
    for (const QPointer<QWidget> &guard : guards) {
        QVERIFY(guard);
        QCOMPARE(guard->parent(), nullptr);
    }
}

void TestMainWindowViews::clearHistoryCreatesNoStatistics()
{
    SentrovaInterface *hub = SentrovaInterface::instance();
    hub->fromJSON(QJsonDocument::fromJson(R"({"node":[{"id":"0x0A01","mode":"anchor"},
                                                      {"id":"0x0A02","mode":"anchor"}]})")
                      .object());
    createWindow();
    hub->locationStream()->receiveDatagram(
        "{\"id\":\"0x0B01\",\"coordinates\":{\"x\":1,\"y\":2,\"z\":0}}\n"
        "{\"id\":\"0x0B01\",\"coordinates\":{\"x\":2,\"y\":2,\"z\":0}}\n");
    NodeObject *tag = map()->scene()->nodeObject(0x0B01);
    QVERIFY(tag);
    QVERIFY(!tag->history().isEmpty());
    RtlsObject *withStats = hub->node(0x0A01);
    RtlsObject *without = hub->node(0x0A02);
    QVERIFY(withStats && without);
    withStats->stats()->setTsyncCnt(7);
    withStats->stats()->setTsyncErr(-3);
    QVERIFY(!without->hasStats());

    QAction *clear = action(QStringLiteral("Clear map history"));
    QVERIFY(clear);
    clear->trigger();

    QVERIFY(tag->history().isEmpty());
    QVERIFY(withStats->stats()->tsyncCntHistory().isEmpty());
    QVERIFY(withStats->stats()->tsyncErrHistory().isEmpty());
    QCOMPARE(withStats->stats()->tsyncCnt(), 7u);
    QVERIFY(!without->hasStats());
}

void TestMainWindowViews::cameraActions_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("type");
    QTest::addColumn<QVector3D>("up");
    QTest::addColumn<QVector3D>("direction"); // zero: any

    const int ortho = qglviewer::Camera::ORTHOGRAPHIC;
    QTest::newRow("top") << "View in 2D (top)" << ortho << QVector3D(0, 1, 0) << QVector3D(0, 0, -1);
    QTest::newRow("front") << "View in 2D (front)" << ortho << QVector3D(0, 0, 1) << QVector3D(1, 0, 0);
    QTest::newRow("side") << "View in 2D (side)" << ortho << QVector3D(0, 0, 1) << QVector3D(0, -1, 0);
    // The 3D view's up vector leans with its look down; its type tells it.
    QTest::newRow("3D") << "View in 3D" << int(qglviewer::Camera::PERSPECTIVE) << QVector3D() << QVector3D();
}

// The View menu's presets move the map's camera.
void TestMainWindowViews::cameraActions()
{
    QFETCH(QString, text);
    QFETCH(int, type);
    QFETCH(QVector3D, up);
    QFETCH(QVector3D, direction);

    createWindow();
    QAction *preset = action(text);
    QVERIFY(preset && preset->isEnabled());
    // Start from a view other than the one asked for.
    if (type == qglviewer::Camera::PERSPECTIVE)
        map()->fitCameraFront();
    else
        map()->fitCameraPerspective();
    preset->trigger();

    const qglviewer::Camera *camera = map()->camera();
    QCOMPARE(int(camera->type()), type);
    const qglviewer::Vec u = camera->upVector();
    if (!up.isNull())
        QVERIFY2((QVector3D(u.x, u.y, u.z) - up).length() < 1e-3, qPrintable(QStringLiteral("up %1 %2 %3").arg(u.x).arg(u.y).arg(u.z)));
    if (!direction.isNull()) {
        const qglviewer::Vec d = camera->viewDirection();
        QVERIFY2((QVector3D(d.x, d.y, d.z) - direction).length() < 1e-3,
                 qPrintable(QStringLiteral("direction %1 %2 %3").arg(d.x).arg(d.y).arg(d.z)));
    }
}

void TestMainWindowViews::gridAndZoneActions()
{
    createWindow();
    QVERIFY(map()->grid()->show());
    action(QStringLiteral("Enable/disable grid"))->trigger();
    QVERIFY(!map()->grid()->show());
    action(QStringLiteral("Enable/disable grid"))->trigger();
    QVERIFY(map()->grid()->show());

    // "Add Zone" adds one zone to the map, listed once in the zones tab.
    const int before = map()->zones().size();
    action(QStringLiteral("Add Zone"))->trigger();
    QCOMPARE(map()->zones().size(), before + 1);
    MapZone *zone = map()->zones().constLast();
    QCOMPARE(zone->name(), QStringLiteral("New Zone"));
    ZonesTab *zones = ZonesTab::instance();
    QVERIFY(zones->rowOf(zone) >= 0);
    QCOMPARE(zones->table()->rowCount(), before + 1);

    // The node list shows it under "ZONES".
    auto *tree = m_window->findChild<QTreeWidget *>(QStringLiteral("nodesTree"));
    QVERIFY(tree);
    const QList<QTreeWidgetItem *> rows = tree->findItems(QStringLiteral("New Zone"), Qt::MatchRecursive);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.constFirst()->parent()->data(0, Qt::UserRole).toString(), QStringLiteral("ZONES"));
}

// File > Export Map Image saves what the map shows.
void TestMainWindowViews::exportMapImage()
{
    createWindow();
    QTRY_VERIFY(map()->isValid());
    QAction *exportAction = action(QStringLiteral("Export Map &Image..."));
    QVERIFY(exportAction && exportAction->isEnabled());
    const QString fileName = QDir::current().filePath(QStringLiteral("site-map.png"));
    QFile::remove(fileName);
    onModalDialog(this, [&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(edit);
        edit->setText(fileName);
        QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
    });
    exportAction->trigger();

    const QImage image(fileName);
    QVERIFY2(!image.isNull(), qPrintable(fileName));
    QCOMPARE(image.size(), map()->size() * map()->devicePixelRatioF());
    // A corner of the map shows its background.
    QCOMPARE(image.pixelColor(2, 2), QColor(161, 187, 206));
}

// The map's console lines reach the console and its log.
void TestMainWindowViews::mapLinesReachTheConsole()
{
    createWindow();
    auto *console = qobject_cast<ConsoleView *>(dock(QStringLiteral("debugwindow"))->widget());
    QVERIFY(console);
    QVERIFY(!map()->saveImage(QStringLiteral("no-such-folder/map.png")));
    console->flush();
    const QString last = console->document()->lastBlock().text();
    QVERIFY2(last.contains(QLatin1String("no-such-folder/map.png")), qPrintable(last));
    QVERIFY(!ConsoleLogCapture::lines().isEmpty());
    QVERIFY2(last.endsWith(ConsoleLogCapture::lines().constLast()), qPrintable(ConsoleLogCapture::lines().constLast()));
}

// The orientation dock is the map's child viewer: its camera turns with the map's.
void TestMainWindowViews::mapTurnsTheOrientationView()
{
    createWindow();
    QCOMPARE(map()->childViewer(), m_window->findChild<OrientationView *>());
}

// A node the hub learns of reaches the list and the measurement tool; a
// selection reaches the details, also one made before the window existed.
void TestMainWindowViews::nodeViewsFollowTheModel()
{
    Dispatch::instance()->emitIdSelected(0x0C01);
    createWindow();
    auto *details = m_window->findChild<NodeDetailTab *>();
    QVERIFY(details);
    QCOMPARE(details->nodeId(), uint64_t(0x0C01));

    SentrovaInterface::instance()->fromJSON(
        QJsonDocument::fromJson(R"({"node":[{"id":"0x0C02","mode":"anchor","name":"North wall"}]})").object());
    auto *tree = m_window->findChild<QTreeWidget *>(QStringLiteral("nodesTree"));
    QVERIFY(tree);
    const auto listed = [tree] {
        for (QTreeWidgetItemIterator it(tree); *it; ++it)
            if ((*it)->data(0, Qt::UserRole).toULongLong() == 0x0C02)
                return true;
        return false;
    };
    QTRY_VERIFY(listed());

    bool offered = false;
    for (QComboBox *box : m_window->findChild<MeasurementTab *>()->findChildren<QComboBox *>())
        offered = offered || box->findData(QVariant(qulonglong(0x0C02))) >= 0;
    QVERIFY(offered);

    Dispatch::instance()->emitIdSelected(0x0C02);
    QCOMPARE(details->nodeId(), uint64_t(0x0C02));
    auto *title = details->findChild<QLabel *>(QStringLiteral("title"));
    QVERIFY(title);
    QTRY_VERIFY2(title->text().startsWith(QLatin1String("North wall")), qPrintable(title->text()));
}

QTEST_MAIN(TestMainWindowViews)
#include "tst_mainwindowviews.moc"
