// The window a newcomer meets: a first start in a fresh home, on a laptop's
// screen (an Xvfb of 1366 x 768 of its own), against the simulated site that
// nothing finds by itself: the user names its master.
#include "AppTestEnvironment.h"
#include "Dispatch.h"
#include "MainWindow.h"
#include "MapCameraPreset.h"
#include "MapCameraState.h"
#include "MapTab.h"
#include "MasterAddressDialog.h"
#include "NoMasterOverlay.h"
#include "RtlsObject.h"
#include "RtlsPos.h"
#include "RtlsSvc.h"
#include "SentrovaInterface.h"
#include "WindowLayout.h"
#include "sim/SimProcess.h"

#include <QGLViewer/camera.h>

#include <QAction>
#include <QDockWidget>
#include <QFile>
#include <QGuiApplication>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStyle>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

using qglviewer::Vec;

namespace {

constexpr int kWait = 20000;
constexpr int kAnchors = 12;
// Room an item view lays out around a row's text and icon.
constexpr int kItemMargins = 6;

// A hall of 30 x 20 m whose anchors carry names of 20 characters, with
// two walking tags.
QByteArray siteJson()
{
    QJsonArray nodes;
    nodes.append(QJsonObject{{"id", "0x1000"}, {"name", "Master"}, {"mode", "master"}, {"seat", 0},
                             {"position", QJsonObject{{"x", 0}, {"y", 0}, {"z", 2.5}}}});
    for (int i = 1; i <= kAnchors; ++i) {
        const double x = ((i - 1) % 4) * 10.0;
        const double y = ((i - 1) / 4) * 10.0;
        nodes.append(QJsonObject{{"id", QStringLiteral("0x%1").arg(0x1000 + i, 4, 16, QLatin1Char('0'))},
                                 {"name", QStringLiteral("Loading Dock West %1").arg(i, 2, 10, QLatin1Char('0'))},
                                 {"mode", "anchor"},
                                 {"seat", i},
                                 {"position", QJsonObject{{"x", x}, {"y", y}, {"z", 3.0}}}});
    }
    for (int i = 1; i <= 2; ++i)
        nodes.append(QJsonObject{
            {"id", QStringLiteral("0x200%1").arg(i)},
            {"name", QStringLiteral("Forklift %1").arg(i)},
            {"mode", "tag"},
            {"rate", 5},
            {"path", QJsonArray{QJsonObject{{"x", 5 * i}, {"y", 5}}, QJsonObject{{"x", 25}, {"y", 15}}}}});
    return QJsonDocument(QJsonObject{{"nodes", nodes}}).toJson();
}

quint32 loopback()
{
    return QHostAddress(QHostAddress::LocalHost).toIPv4Address();
}

SentrovaInterface *hub()
{
    return SentrovaInterface::instance();
}

} // namespace

class TestFirstStart : public QObject
{
    Q_OBJECT

public:
    static void initMain() { AppTestEnvironment::isolate(); }

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void noMasterNoteAndConnectDialog();
    void docksReadableOnALaptop();
    void mapFitsToTheSite();
    void layoutKeptBetweenRuns();
    void otherLayoutIgnored_data();
    void otherLayoutIgnored();

private:
    void start();
    QAction *action(const QString &text) const;
    QDockWidget *dock(const char *objectName) const;
    MapTab *map() const { return m_window->findChild<MapTab *>(); }
    QString currentTab() const;
    void verifySiteInView();

    SimProcess m_sim;
    QTemporaryDir m_siteDir;
    std::unique_ptr<MainWindow> m_window;
};

void TestFirstStart::initTestCase()
{
    hub();
    QFile site(m_siteDir.filePath(QStringLiteral("site.json")));
    QVERIFY(site.open(QIODevice::WriteOnly));
    site.write(siteJson());
    site.close();
    QVERIFY(m_sim.start({QStringLiteral("--site"), site.fileName()}));
    // The master's service port, for when the user names it.
    hub()->svc()->setServicePort(m_sim.port);
    const QSize screen = QGuiApplication::primaryScreen()->size();
    QVERIFY2(screen == QSize(1366, 768), "runs on a laptop's screen of its own");
}

void TestFirstStart::init()
{
    QSettings().clear();
    QFile::remove(QStringLiteral("sentrova.json"));
}

void TestFirstStart::cleanup()
{
    m_window.reset();
    Dispatch::instance()->emitIdSelected(0);
}

void TestFirstStart::start()
{
    m_window = std::make_unique<MainWindow>();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

QAction *TestFirstStart::action(const QString &text) const
{
    for (QAction *a : m_window->findChildren<QAction *>())
        if (a->text() == text)
            return a;
    return nullptr;
}

QDockWidget *TestFirstStart::dock(const char *objectName) const
{
    return m_window->findChild<QDockWidget *>(QLatin1String(objectName));
}

QString TestFirstStart::currentTab() const
{
    QTabWidget *tabs = m_window->tabWidget();
    return tabs->currentWidget() == map() ? map()->tabText() : tabs->tabText(tabs->currentIndex());
}

// Every anchor and the master inside the map, the site over half of it.
void TestFirstStart::verifySiteInView()
{
    MapTab *view = map();
    qglviewer::Camera *camera = view->camera();
    camera->computeProjectionMatrix();
    camera->computeModelViewMatrix();
    double left = view->width(), right = 0, top = view->height(), bottom = 0;
    int anchors = 0;
    for (RtlsObject *node : hub()->nodes()) {
        if (node->mode() == QLatin1String("tag") || !node->hasPos())
            continue;
        ++anchors;
        const Vec s = camera->projectedCoordinatesOf(Vec(node->pos()->x(), node->pos()->y(), node->pos()->z()));
        QVERIFY2(s.x >= 0 && s.x <= view->width() && s.y >= 0 && s.y <= view->height(),
                 qPrintable(QStringLiteral("%1 at %2, %3").arg(node->name()).arg(s.x).arg(s.y)));
        left = std::min(left, s.x);
        right = std::max(right, s.x);
        top = std::min(top, s.y);
        bottom = std::max(bottom, s.y);
    }
    QCOMPARE(anchors, kAnchors + 1);
    QVERIFY2(right - left > view->width() / 2 || bottom - top > view->height() / 2,
             qPrintable(QStringLiteral("%1 x %2 of %3 x %4")
                            .arg(right - left).arg(bottom - top).arg(view->width()).arg(view->height())));
}

// With no master the map says what goes on and offers to name one; named
// by its host name, the master is connected at once, the note goes, and
// the settings file keeps the address.
void TestFirstStart::noMasterNoteAndConnectDialog()
{
    start();
    auto *note = map()->findChild<NoMasterOverlay *>();
    QVERIFY(note);
    QVERIFY(note->isVisible());
    QVERIFY2(note->text().contains(QLatin1String("Searching the network")), qPrintable(note->text()));
    QVERIFY(map()->rect().contains(note->geometry()));

    // The Tools menu has the same dialog.
    QAction *entry = action(QStringLiteral("Connect to master…"));
    QVERIFY(entry);
    entry->trigger();
    QPointer<MasterAddressDialog> dialog = m_window->findChild<MasterAddressDialog *>();
    QVERIFY(dialog && dialog->isVisible());
    dialog->reject();
    QTRY_VERIFY(!dialog);

    QTest::mouseClick(note->findChild<QPushButton *>(QStringLiteral("connectToMaster")), Qt::LeftButton);
    dialog = m_window->findChild<MasterAddressDialog *>();
    QVERIFY(dialog && dialog->isVisible());
    auto *address = dialog->findChild<QLineEdit *>(QStringLiteral("address"));
    auto *status = dialog->findChild<QLabel *>(QStringLiteral("status"));
    QPushButton *connectButton = nullptr;
    for (QPushButton *button : dialog->findChildren<QPushButton *>())
        if (button->text() == QLatin1String("Connect"))
            connectButton = button;
    QVERIFY(address && status && connectButton);

    QTest::keyClicks(address, QStringLiteral("10.0.0"));
    QVERIFY(!connectButton->isEnabled());
    QVERIFY(!status->text().isEmpty());
    address->clear();
    QTest::keyClicks(address, QStringLiteral("localhost"));
    QVERIFY(connectButton->isEnabled());
    QVERIFY(status->text().isEmpty());
    QSignalSpy chosen(dialog.data(), &MasterAddressDialog::addressChosen);
    QTest::mouseClick(connectButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(chosen.count(), 1, kWait);
    QCOMPARE(chosen.at(0).at(0).toUInt(), loopback());
    QTRY_VERIFY(!dialog);

    QTRY_VERIFY_WITH_TIMEOUT(!note->isVisible(), kWait);
    QCOMPARE(hub()->connectedMasterCount(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(hub()->anchorIds().size() == kAnchors + 1, kWait);

    action(QStringLiteral("Save Settings"))->trigger();
    QFile file(QStringLiteral("sentrova.json"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject saved = QJsonDocument::fromJson(file.readAll()).object();
    QCOMPARE(saved.value("master").toObject().value("ip").toString(), QStringLiteral("127.0.0.1"));
}

// At a first start on a 1366 x 768 screen the window fills it and fits it,
// and the docks show their texts whole.
void TestFirstStart::docksReadableOnALaptop()
{
    start();
    QVERIFY(m_window->isMaximized());
    QCOMPARE(m_window->size(), QGuiApplication::primaryScreen()->availableGeometry().size());
    // Room left for a panel and a title bar.
    QVERIFY2(m_window->minimumSizeHint().height() <= 700 && m_window->minimumSizeHint().width() <= 1366,
             qPrintable(QStringLiteral("%1 x %2").arg(m_window->minimumSizeHint().width())
                            .arg(m_window->minimumSizeHint().height())));

    auto *tree = m_window->findChild<QTreeWidget *>(QStringLiteral("nodesTree"));
    QVERIFY(tree);
    QTRY_VERIFY_WITH_TIMEOUT(!tree->findItems(QStringLiteral("Loading Dock West 12"), Qt::MatchRecursive).isEmpty(),
                             kWait);
    const QList<QTreeWidgetItem *> groups = tree->findItems(QStringLiteral("ANCHOR [13]"), Qt::MatchExactly);
    QCOMPARE(groups.size(), 1);
    const int icon = tree->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, tree);
    const QFontMetrics metrics(tree->font());
    QList<QTreeWidgetItem *> rows{groups.first()};
    for (int i = 0; i < groups.first()->childCount(); ++i)
        rows << groups.first()->child(i);
    for (QTreeWidgetItem *row : qAsConst(rows)) {
        tree->scrollToItem(row);
        // The first column from the row's indentation on: its text's room.
        const int room = tree->columnViewportPosition(1) - tree->visualItemRect(row).left();
        const int needed = metrics.horizontalAdvance(row->text(0)) + (row->icon(0).isNull() ? 0 : icon) + kItemMargins;
        QVERIFY2(needed <= room, qPrintable(QStringLiteral("%1: %2 of %3").arg(row->text(0)).arg(needed).arg(room)));
    }

    // The details of an anchor: every value whole, the position fields'
    // hint too, the settings button on screen.
    Dispatch::instance()->emitIdSelected(0x1001);
    QWidget *details = dock("details")->widget();
    auto *title = details->findChild<QLabel *>(QStringLiteral("title"));
    QTRY_VERIFY_WITH_TIMEOUT(title->text().startsWith(QLatin1String("Loading Dock West 01")), kWait);
    QWidget *page = details->findChild<QWidget *>(QStringLiteral("nodePage"));
    QVERIFY(page);
    for (QLabel *label : page->findChildren<QLabel *>()) {
        if (label->wordWrap() || label->text().isEmpty())
            continue;
        QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width(),
                 qPrintable(label->text()));
    }
    for (QLineEdit *edit : page->findChildren<QLineEdit *>())
        QVERIFY2(edit->fontMetrics().horizontalAdvance(edit->placeholderText()) + 4 <= edit->width(),
                 qPrintable(QString::number(edit->width())));
    auto *settings = details->findChild<QPushButton *>(QStringLiteral("settings"));
    QVERIFY(m_window->rect().contains(QRect(settings->mapTo(m_window.get(), QPoint()), settings->size())));

    // The map and the console keep a useful size.
    QVERIFY2(map()->width() >= 900 && map()->height() >= 400,
             qPrintable(QStringLiteral("%1 x %2").arg(map()->width()).arg(map()->height())));
    QWidget *console = dock("debugwindow")->widget();
    QVERIFY(console->height() >= 4 * console->fontMetrics().lineSpacing());
}

// Without a kept camera the map fits itself to the site once its anchors
// are known; Fit to Site does so on request, looking the way the preset
// looks, from the View menu and the map's own menu.
void TestFirstStart::mapFitsToTheSite()
{
    start();
    QTRY_VERIFY_WITH_TIMEOUT(hub()->anchorIds().size() == kAnchors + 1, kWait);
    QTRY_VERIFY_WITH_TIMEOUT(!map()->fitsToSiteWhenKnown(), kWait);
    QCOMPARE(map()->cameraPreset(), MapCameraPreset::Perspective);
    verifySiteInView();

    // A preset is what it always was: the whole grid from above.
    map()->fitCameraTop();
    QCOMPARE(map()->camera()->type(), qglviewer::Camera::ORTHOGRAPHIC);
    QVERIFY((map()->camera()->viewDirection() - Vec(0, 0, -1)).norm() < 1e-9);
    map()->camera()->computeProjectionMatrix();
    map()->camera()->computeModelViewMatrix();
    for (const Vec &corner : {Vec(-50, -50, 0), Vec(50, 50, 0)}) {
        const Vec s = map()->camera()->projectedCoordinatesOf(corner);
        QVERIFY(s.x >= 0 && s.x <= map()->width() && s.y >= 0 && s.y <= map()->height());
    }

    action(QStringLiteral("Fit to Site"))->trigger();
    QVERIFY((map()->camera()->viewDirection() - Vec(0, 0, -1)).norm() < 1e-9);
    QVERIFY((map()->camera()->upVector() - Vec(0, 1, 0)).norm() < 1e-9);
    verifySiteInView();

    map()->fitCameraFront();
    const QPoint middle = map()->rect().center();
    QTest::mousePress(map(), Qt::RightButton, {}, middle);
    QTest::mouseRelease(map(), Qt::RightButton, {}, middle);
    QTRY_VERIFY(qobject_cast<QMenu *>(QApplication::activePopupWidget()));
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    QAction *fit = nullptr;
    for (QAction *a : menu->actions())
        if (a->text() == QLatin1String("Fit to Site"))
            fit = a;
    QVERIFY(fit);
    menu->close();
    fit->trigger();
    QVERIFY((map()->camera()->viewDirection() - Vec(1, 0, 0)).norm() < 1e-9);
    verifySiteInView();
}

// Docks, the current tab, the map's camera and the window's place come
// back at the next start; Reset Layout returns to the first start's.
void TestFirstStart::layoutKeptBetweenRuns()
{
    start();
    QTRY_VERIFY_WITH_TIMEOUT(!map()->fitsToSiteWhenKnown(), kWait);
    m_window->showNormal();
    m_window->setGeometry(40, 30, 1300, 700);
    QTRY_COMPARE(m_window->size(), QSize(1300, 700));
    m_window->addDockWidget(Qt::RightDockWidgetArea, dock("list"));
    dock("details")->hide();
    dock("orientation")->show();
    map()->fitCameraSide();
    map()->camera()->setPosition(map()->camera()->position() + Vec(3, 0, -1));
    const MapCameraState camera = map()->cameraState();
    QTabWidget *tabs = m_window->tabWidget();
    for (int i = 0; i < tabs->count(); ++i)
        if (tabs->tabText(i) == QLatin1String("Zones"))
            tabs->setCurrentIndex(i);
    QVERIFY(m_window->close());
    m_window.reset();

    start();
    QVERIFY(!m_window->isMaximized());
    QCOMPARE(m_window->size(), QSize(1300, 700));
    QCOMPARE(m_window->dockWidgetArea(dock("list")), Qt::RightDockWidgetArea);
    QVERIFY(dock("list")->isVisible());
    QVERIFY(dock("details")->isHidden());
    QVERIFY(dock("orientation")->isVisible());
    QCOMPARE(currentTab(), QStringLiteral("Zones"));
    // The camera as it was, not replaced when the map first shows.
    m_window->tabWidget()->setCurrentWidget(map());
    // Valid once its first display has set it up (and kept the camera).
    QTRY_VERIFY(map()->isValid());
    QVERIFY(!map()->fitsToSiteWhenKnown());
    const MapCameraState kept = map()->cameraState();
    QCOMPARE(kept.preset, MapCameraPreset::Side);
    QCOMPARE(map()->camera()->type(), qglviewer::Camera::ORTHOGRAPHIC);
    QVERIFY((kept.position - camera.position).norm() < 1e-9);
    QVERIFY((kept.pivot - camera.pivot).norm() < 1e-9);
    QVERIFY(std::fabs(kept.orthoScale - camera.orthoScale) < 1e-9);

    action(QStringLiteral("Reset Layout"))->trigger();
    QCOMPARE(m_window->dockWidgetArea(dock("list")), Qt::LeftDockWidgetArea);
    QVERIFY(dock("details")->isVisible());
    QVERIFY(dock("measuerment")->isHidden());
    QVERIFY(dock("orientation")->isHidden());
    QCOMPARE(currentTab(), QStringLiteral("Map"));
    QCOMPARE(map()->cameraPreset(), MapCameraPreset::Perspective);
    QTRY_VERIFY_WITH_TIMEOUT(!map()->fitsToSiteWhenKnown(), kWait);
    verifySiteInView();
    QVERIFY(!WindowLayout::read());
}

void TestFirstStart::otherLayoutIgnored_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("layout of another version") << "version";
    QTest::newRow("docks of another build") << "docks";
}

// A layout written by another version of the layout, or docks saved by a
// build with other docks, give a first start.
void TestFirstStart::otherLayoutIgnored()
{
    QFETCH(QString, change);
    start();
    m_window->addDockWidget(Qt::RightDockWidgetArea, dock("list"));
    const QByteArray otherDocks = m_window->saveState(WindowLayout::kVersion + 1);
    m_window->tabWidget()->setCurrentIndex(2);
    QVERIFY(m_window->close());
    m_window.reset();
    {
        QSettings settings;
        QVERIFY(settings.contains(QStringLiteral("layout/version")));
        if (change == QLatin1String("version"))
            settings.setValue(QStringLiteral("layout/version"), WindowLayout::kVersion + 1);
        else
            settings.setValue(QStringLiteral("layout/docks"), otherDocks);
    }

    start();
    QVERIFY(m_window->isMaximized());
    QCOMPARE(m_window->dockWidgetArea(dock("list")), Qt::LeftDockWidgetArea);
    QCOMPARE(currentTab(), QStringLiteral("Map"));
    QCOMPARE(map()->cameraPreset(), MapCameraPreset::Perspective);
}

QTEST_MAIN(TestFirstStart)
#include "tst_firststart.moc"
