// The window on a screen of twice the usual density (QT_SCALE_FACTOR=2 on
// an Xvfb of 2732 x 1536 of its own: a 1366 x 768 laptop at 2x), against the
// simulated site: texts whole, icons drawn at the screen's resolution, the
// map's lines as wide as they look at 1x.
#include "AppStyle.h"
#include "AppTestEnvironment.h"
#include "MainWindow.h"
#include "MapTab.h"
#include "RtlsSvc.h"
#include "SentrovaInterface.h"
#include "sim/SimProcess.h"

#include <QGLViewer/camera.h>

#include <QDockWidget>
#include <QGuiApplication>
#include <QHostAddress>
#include <QScreen>
#include <QSettings>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

namespace {

constexpr int kWait = 20000;

// Where a row's first column (its text) is drawn: after the indentation,
// up to the icon columns.
QRect textCell(const QTreeWidget *tree, const QTreeWidgetItem *row)
{
    QRect cell = tree->visualItemRect(row);
    cell.setRight(tree->columnViewportPosition(1) - 1);
    return cell;
}

SentrovaInterface *hub()
{
    return SentrovaInterface::instance();
}

} // namespace

class TestHighDpi : public QObject
{
    Q_OBJECT

public:
    static void initMain()
    {
        AppTestEnvironment::isolate();
        qputenv("QT_SCALE_FACTOR", "2");
        // As the program's entry does, before the application object.
        AppStyle::enableHighDpi();
    }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void nodeListTextsWhole();
    void iconsAtTheScreensResolution();
    void mapLinesScaled();

private:
    QTreeWidget *tree() const { return m_window->findChild<QTreeWidget *>(QStringLiteral("nodesTree")); }

    SimProcess m_sim;
    std::unique_ptr<MainWindow> m_window;
};

void TestHighDpi::initTestCase()
{
    QCOMPARE(QGuiApplication::primaryScreen()->devicePixelRatio(), 2.0);
    QCOMPARE(QGuiApplication::primaryScreen()->size(), QSize(1366, 768));
    QSettings().clear();
    QVERIFY(m_sim.start({}));
    hub()->svc()->setServicePort(m_sim.port);
    hub()->svc()->masterDetected(QHostAddress(QHostAddress::LocalHost).toIPv4Address());
    m_window = std::make_unique<MainWindow>();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QTRY_VERIFY_WITH_TIMEOUT(!tree()->findItems(QStringLiteral("Upper 2"), Qt::MatchRecursive).isEmpty(), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(!tree()->findItems(QStringLiteral("Tag 10"), Qt::MatchRecursive).isEmpty(), kWait);
}

void TestHighDpi::cleanupTestCase()
{
    m_window.reset();
}

// A picture of each row is the same as one taken with the list three times
// as wide: nothing of a text was cut or shortened with an ellipsis.
void TestHighDpi::nodeListTextsWhole()
{
    QTreeWidget *list = tree();
    QList<QTreeWidgetItem *> rows;
    for (int g = 0; g < list->topLevelItemCount(); ++g) {
        rows << list->topLevelItem(g);
        for (int c = 0; c < list->topLevelItem(g)->childCount(); ++c)
            rows << list->topLevelItem(g)->child(c);
    }
    QVERIFY(rows.size() >= 20);
    auto *dock = m_window->findChild<QDockWidget *>(QStringLiteral("list"));
    const int width = dock->width();

    QList<QImage> narrow;
    for (QTreeWidgetItem *row : qAsConst(rows)) {
        list->scrollToItem(row);
        const QPixmap shot = list->viewport()->grab(textCell(list, row));
        // Drawn at the screen's resolution.
        QCOMPARE(shot.devicePixelRatio(), 2.0);
        QCOMPARE(shot.width(), 2 * textCell(list, row).width());
        narrow << shot.toImage();
    }
    // Away from the window, which has no room for it that wide.
    dock->setFloating(true);
    dock->resize(3 * width, dock->height());
    QTRY_VERIFY(dock->width() > 2 * width);
    for (int i = 0; i < rows.size(); ++i) {
        list->scrollToItem(rows.at(i));
        QRect rect = textCell(list, rows.at(i));
        rect.setWidth(narrow.at(i).width() / 2);
        const QImage wide = list->viewport()->grab(rect).toImage();
        QVERIFY2(wide == narrow.at(i), qPrintable(rows.at(i)->text(0)));
    }
    dock->setFloating(false);
}

// Icons are drawn from pictures made for the density, not scaled up.
void TestHighDpi::iconsAtTheScreensResolution()
{
    const QList<QTreeWidgetItem *> found = tree()->findItems(QStringLiteral("Anchor 1"), Qt::MatchRecursive);
    QCOMPARE(found.size(), 1);
    const QPixmap icon = found.first()->icon(0).pixmap(m_window->windowHandle(), QSize(16, 16));
    QCOMPARE(icon.devicePixelRatio(), 2.0);
    QCOMPARE(icon.size(), QSize(32, 32));
    const QImage drawn = icon.toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage base = QImage(QStringLiteral(":/images/icon_anchor_green.png")).convertToFormat(QImage::Format_ARGB32);
    const QImage twice = QImage(QStringLiteral(":/images/icon_anchor_green@2x.png"))
                             .scaled(32, 32, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                             .convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(base.size(), QSize(32, 32));
    QVERIFY(drawn == base || drawn == twice);
}

// The grid's red X axis, one pixel wide at 1x, is two device pixels wide.
void TestHighDpi::mapLinesScaled()
{
    MapTab *map = m_window->findChild<MapTab *>();
    QTRY_VERIFY(map->isValid());
    map->fitCameraTop();
    QImage frame = map->grabFramebuffer();
    QCOMPARE(frame.size(), 2 * map->size());
    qglviewer::Camera *camera = map->camera();
    camera->computeProjectionMatrix();
    camera->computeModelViewMatrix();
    const qglviewer::Vec onAxis = camera->projectedCoordinatesOf(qglviewer::Vec(7.5, 0, 0));
    const int x = int(2 * onAxis.x);
    int red = 0;
    for (int y = int(2 * onAxis.y) - 8; y <= int(2 * onAxis.y) + 8; ++y) {
        const QColor c = frame.pixelColor(x, y);
        red += c.red() > 180 && c.green() < 120 && c.blue() < 120;
    }
    QCOMPARE(red, 2);
}

QTEST_MAIN(TestHighDpi)
#include "tst_highdpi.moc"
