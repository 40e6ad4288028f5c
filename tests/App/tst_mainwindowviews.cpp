#include "AnchorCalibrationTab.h"
#include "AppTestEnvironment.h"
#include "Dispatch.h"
#include "MainWindow.h"
#include "OrientationView.h"
#include "OrientationViewSettings.h"
#include "RtlsObject.h"
#include "RtlsObjectStats.h"
#include "SentrovaInterface.h"
#include "SentrovaSettings.h"
#include "SettingsTab.h"
#include "SetupTab.h"
#include "TagCalibrationTab.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QGroupBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTabWidget>
#include <QtTest>

#include <memory>

namespace {

struct TabPlace {
    QTabWidget *tabWidget = nullptr;
    int index = -1;
    QString text;
};

// Where a page believes it sits, as its window told it.
template <typename Page>
TabPlace placeOf(const Page *page)
{
    return {page->tabWidget(), page->tabIndex(), page->tabText()};
}

TabPlace placeOf(QWidget *page)
{
    if (auto *p = qobject_cast<SettingsTab *>(page))
        return placeOf(p);
    if (auto *p = qobject_cast<SetupTab *>(page))
        return placeOf(p);
    if (auto *p = qobject_cast<AnchorCalibrationTab *>(page))
        return placeOf(p);
    if (auto *p = qobject_cast<TagCalibrationTab *>(page))
        return placeOf(p);
    return {};
}

// The shared pages every window shows, in tab order.
QList<QWidget *> sharedPages()
{
    return {SettingsTab::instance(), SetupTab::instance(), AnchorCalibrationTab::instance(),
            TagCalibrationTab::instance()};
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

private:
    MainWindow *createWindow();
    QDockWidget *dock(const QString &objectName) const;

    std::unique_ptr<MainWindow> m_window;
};

void TestMainWindowViews::initTestCase()
{
    SentrovaInterface::instance();
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

void TestMainWindowViews::tabs_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("pageClass");

    QTest::newRow("settings") << 0 << "Settings" << "SettingsTab";
    QTest::newRow("setup") << 1 << "Initial Setup" << "SetupTab";
    QTest::newRow("anchor calibration") << 2 << "Anchor Calibration" << "AnchorCalibrationTab";
    QTest::newRow("tag calibration") << 3 << "Tag Calibration" << "TagCalibrationTab";
}

void TestMainWindowViews::tabs()
{
    QFETCH(int, index);
    QFETCH(QString, title);
    QFETCH(QString, pageClass);

    createWindow();
    QTabWidget *tabs = m_window->tabWidget();
    QCOMPARE(m_window->centralWidget(), tabs);
    QCOMPARE(tabs->count(), 4);
    QCOMPARE(tabs->tabText(index), title);
    QCOMPARE(QString::fromLatin1(tabs->widget(index)->metaObject()->className()), pageClass);
    QCOMPARE(iconImage(tabs->tabIcon(index)), iconImage(QIcon(QStringLiteral(":/images/logo.png"))));

    // The page knows where it sits and under which title.
    const TabPlace place = placeOf(tabs->widget(index));
    QCOMPARE(place.tabWidget, tabs);
    QCOMPARE(place.index, index);
    QCOMPARE(place.text, title);

    // A shared page is the process's one instance.
    QCOMPARE(tabs->widget(index), sharedPages().at(index));
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

    QTest::newRow("orientation")
        << "orientation" << "Node Orientation" << "OrientationView" << int(Qt::AllDockWidgetAreas)
        << int(Qt::LeftDockWidgetArea) << int(QSizePolicy::Preferred) << int(QSizePolicy::Preferred) << 1 << false;
    QTest::newRow("console")
        << "debugwindow" << "Console window" << "QTextEdit" << int(Qt::BottomDockWidgetArea)
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

// Closing a tab takes a shared page out of the window but keeps it for the
// process; a new window shows the same page again.
void TestMainWindowViews::closingTabsKeepsSharedPages()
{
    createWindow();
    QTabWidget *tabs = m_window->tabWidget();
    const QList<QWidget *> pages = sharedPages();
    QList<QPointer<QWidget>> guards;
    for (QWidget *page : pages)
        guards << page;

    tabs->setCurrentIndex(1);
    QCOMPARE(m_window->closeCurrentTab(), 0);
    QCOMPARE(tabs->count(), 3);
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
    QCOMPARE(m_window->tabWidget()->count(), pages.size());
    for (int i = 0; i < pages.size(); ++i) {
        QCOMPARE(m_window->tabWidget()->widget(i), pages.at(i));
        QCOMPARE(placeOf(pages.at(i)).tabWidget, m_window->tabWidget());
        QCOMPARE(placeOf(pages.at(i)).index, i);
    }
    // The page that was shown last before is shown again when chosen.
    m_window->tabWidget()->setCurrentIndex(1);
    QVERIFY(QTest::qWaitForWindowExposed(pages.at(1)));
}

void TestMainWindowViews::stubbornPageStopsTheClosing()
{
    createWindow();
    QTabWidget *tabs = m_window->tabWidget();
    auto *stubborn = new StubbornPage;
    tabs->insertTab(1, stubborn, QStringLiteral("Stubborn"));
    tabs->setCurrentIndex(3);

    // The close stops at the page that refuses; the window closes anyway.
    QVERIFY(m_window->close());
    QVERIFY(!m_window->isVisible());
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->widget(0), SettingsTab::instance());
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
    QVERIFY(orientation);
    QVERIFY(m_window->close());
    QCOMPARE(m_window->tabWidget()->count(), 0);
    for (QWidget *page : sharedPages()) {
        QCOMPARE(page->parent(), nullptr);
        QVERIFY(!page->isVisible());
    }
    m_window.reset();
    QVERIFY(!orientation);
    // The views' settings panels went with their views; the shared ones stay.
    const QStringList titles = SettingsTab::instance()->settingsTitles();
    QVERIFY2(!titles.contains(QStringLiteral("Orientation View Settings")), qPrintable(titles.join(", ")));
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
    RtlsObject *withStats = hub->node(0x0A01);
    RtlsObject *without = hub->node(0x0A02);
    QVERIFY(withStats && without);
    withStats->stats()->setTsyncCnt(7);
    withStats->stats()->setTsyncErr(-3);
    QVERIFY(!without->hasStats());

    createWindow();
    QAction *clear = nullptr;
    for (QAction *action : m_window->findChildren<QAction *>())
        if (action->text() == QLatin1String("Clear map history"))
            clear = action;
    QVERIFY(clear);
    clear->trigger();

    QVERIFY(withStats->stats()->tsyncCntHistory().isEmpty());
    QVERIFY(withStats->stats()->tsyncErrHistory().isEmpty());
    QCOMPARE(withStats->stats()->tsyncCnt(), 7u);
    QVERIFY(!without->hasStats());
}

QTEST_MAIN(TestMainWindowViews)
#include "tst_mainwindowviews.moc"
