#include "Dispatch.h"
#include "MapGrid.h"
#include "MapGridSettings.h"
#include "MapGlErrors.h"
#include "MapHeat.h"
#include "MapHeatSettings.h"
#include "MapLog.h"
#include "MapMetaTypes.h"
#include "MapScene.h"
#include "MapTab.h"
#include "MapTabSettings.h"
#include "MapZone.h"
#include "NodeObject.h"
#include "RtlsObject.h"
#include "RtlsMeas.h"
#include "RtlsPos.h"
#include "SentrovaInterface.h"
#include "SettingsTab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QGLViewer/camera.h>
#include <QGLViewer/qglviewer.h>
#include <QGridLayout>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <GL/gl.h>

#include <functional>
#include <memory>
#include <random>

using qglviewer::Vec;

namespace {

const QColor kBackground(161, 187, 206);

bool near(const QColor &c, const QColor &want, int tolerance = 30)
{
    return std::abs(c.red() - want.red()) <= tolerance && std::abs(c.green() - want.green()) <= tolerance
        && std::abs(c.blue() - want.blue()) <= tolerance;
}

QString describe(const QColor &c)
{
    return QStringLiteral("(%1, %2, %3)").arg(c.red()).arg(c.green()).arg(c.blue());
}

// A trail drawn in full, every point of the history, as the map drew it
// before it left out what the screen cannot show.
class FullTrailViewer : public QGLViewer
{
public:
    const NodeObject *object = nullptr;
    int historySize = 0;

protected:
    void draw() override
    {
        glDisable(GL_LIGHTING);
        glLineWidth(1.0f);
        const QColor c = object->color();
        glColor3ub(GLubyte(c.red()), GLubyte(c.green()), GLubyte(c.blue()));
        glBegin(GL_LINE_STRIP);
        for (int i = std::min(historySize, object->history().size()) - 1; i >= 0; --i) {
            const Vec p = object->history().at(i);
            glVertex3d(p.x, p.y, p.z);
        }
        glEnd();
        glEnable(GL_LIGHTING);
    }
};

// Same camera for the map and the reference: looking down from 40 m, about
// 18 pixels a metre, so that a centimetre is a fifth of a pixel.
void lookFromHigh(QGLViewer *viewer, Vec at)
{
    viewer->camera()->setType(qglviewer::Camera::PERSPECTIVE);
    viewer->camera()->setSceneRadius(50);
    viewer->camera()->setSceneCenter(Vec(0, 0, 0));
    viewer->camera()->setPosition(at + Vec(0, 0, 40));
    viewer->camera()->setUpVector(Vec(0, 1, 0));
    viewer->camera()->lookAt(at);
}

// Pixels of the given colour, but none within exclude pixels of skip.
QVector<QPoint> pixelsOf(const QImage &image, const QColor &colour, QPoint skip, int exclude)
{
    QVector<QPoint> found;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (std::abs(x - skip.x()) <= exclude && std::abs(y - skip.y()) <= exclude)
                continue;
            if (near(image.pixelColor(x, y), colour, 8))
                found.append(QPoint(x, y));
        }
    }
    return found;
}

// Share of points that have a point of other within reach pixels.
double shareNear(const QVector<QPoint> &points, const QImage &other, const QColor &colour, int reach)
{
    int close = 0;
    for (const QPoint &p : points) {
        bool hit = false;
        for (int dy = -reach; dy <= reach && !hit; ++dy) {
            for (int dx = -reach; dx <= reach && !hit; ++dx) {
                const QPoint q = p + QPoint(dx, dy);
                hit = other.rect().contains(q) && near(other.pixelColor(q), colour, 8);
            }
        }
        close += hit ? 1 : 0;
    }
    return points.isEmpty() ? 1.0 : double(close) / points.size();
}

} // namespace

// The map as a user sees it, under Xvfb with Mesa: pixels sampled where the
// camera projects the scene's points, not whole pictures.
class tst_MapTab : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void background();
    void tagInItsColour();
    void selectedTurnsRed();
    void inactiveTagShrinks();
    void trailBehindAMovingTag();
    void trailAfterAWildFirstFix();
    void reducedTrailLooksFull();
    void labelIsWritten();
    void pickingSelects();
    void measuredRangeLines();
    void hiddenTagsAreNotPicked();
    void floorPlanRightWayUp();
    void translucentBoxShowsTagsInside();
    void zoneOnTheSecondStorey();
    void nodeImageOnTheTopDisk();
    void heatMapCells();
    void levelColourFollowsTags();
    void keysSwitchPresets();
    void recordingIndicator();
    void settersEmitOnChange();
    void exportImage();
    void savedTopViewIsKept();
    void closingLeavesNoStateFile();
    void glErrorNames_data();
    void glErrorNames();
    void glErrorsAreReported();
    void panelsAreRegistered();
    void panelShowsTheView();
    void panelWritesTheView_data();
    void panelWritesTheView();
    void advancedRowsFollowTheSwitch();
    void gridAndHeatPanelsWrite_data();
    void gridAndHeatPanelsWrite();
    void gridAndHeatPanelsFollow();

private:
    RtlsObject *addNode(uint64_t id, const QString &mode, Vec at);
    void move(RtlsObject *node, Vec to);
    QImage frame();
    QColor pixelAt(const QImage &image, Vec world);
    // True when some pixel within radius of the projected point passes test.
    bool anyNear(const QImage &image, Vec world, int radius, const std::function<bool(const QColor &)> &test);

    SentrovaInterface *m_hub = nullptr;
    std::unique_ptr<MapTab> m_map;
    QList<RtlsObject *> m_nodes;
};

void tst_MapTab::initTestCase()
{
    registerMapMetaTypes();
    m_hub = SentrovaInterface::instance();
    m_map.reset(new MapTab);
    m_map->resize(800, 600);
    m_map->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_map.get()));
    // A small scene, seen from above: 200 pixels a metre.
    m_map->grid()->setLength(2);
    m_map->grid()->setWidth(2);
    m_map->grid()->setShow(false);
    m_map->fitCameraTop();
}

void tst_MapTab::cleanup()
{
    // Tags of earlier tests go far away; selection and options back.
    for (RtlsObject *node : qAsConst(m_nodes))
        move(node, Vec(1000, 1000, 0));
    m_nodes.clear();
    Dispatch::instance()->emitIdSelected(0);
    m_map->setNodeMode(0x02);
    m_map->setSelectedNodeOnly(false);
    m_map->grid()->setShow(false);
    m_map->grid()->setHeight(0);
    m_map->setFloorSize(3.0);
    m_map->setFloorExtend(0.0);
    m_map->fitCameraTop();
    const QList<MapZone *> zones = m_map->zones();
    for (MapZone *zone : zones)
        m_map->removeZone(zone);
}

RtlsObject *tst_MapTab::addNode(uint64_t id, const QString &mode, Vec at)
{
    QJsonObject element;
    element.insert("id", QStringLiteral("0x%1").arg(id, 4, 16, QLatin1Char('0')));
    element.insert("mode", mode);
    QJsonObject root;
    root.insert("node", QJsonArray{element});
    m_hub->fromJSON(root);
    RtlsObject *node = m_hub->node(id);
    if (node) {
        m_nodes.append(node);
        move(node, at);
    }
    return node;
}

void tst_MapTab::move(RtlsObject *node, Vec to)
{
    node->pos()->setPos(float(to.x), float(to.y), float(to.z));
    m_hub->announceNodeUpdated(node);
}

QImage tst_MapTab::frame()
{
    // Rendered now, whatever the clock says.
    return m_map->grabFramebuffer();
}

QColor tst_MapTab::pixelAt(const QImage &image, Vec world)
{
    const Vec s = m_map->camera()->projectedCoordinatesOf(world);
    return image.pixelColor(int(s.x), int(s.y));
}

bool tst_MapTab::anyNear(const QImage &image, Vec world, int radius, const std::function<bool(const QColor &)> &test)
{
    const Vec s = m_map->camera()->projectedCoordinatesOf(world);
    for (int dy = -radius; dy <= radius; ++dy) {
        for (int dx = -radius; dx <= radius; ++dx) {
            const QPoint p(int(s.x) + dx, int(s.y) + dy);
            if (image.rect().contains(p) && test(image.pixelColor(p)))
                return true;
        }
    }
    return false;
}

void tst_MapTab::background()
{
    const QImage image = frame();
    QCOMPARE(image.size(), m_map->size() * m_map->devicePixelRatio());
    QCOMPARE(image.pixelColor(5, 5), kBackground);
    QCOMPARE(image.pixelColor(image.width() - 5, image.height() - 5), kBackground);
}

void tst_MapTab::tagInItsColour()
{
    // A tag's colour comes from its id: 0x0000C8 is red.
    addNode(0xC8, "tag", Vec(-1, 0, 0));
    const QImage image = frame();
    // Seen from above, the white disk sits on the glyph; the body shows
    // round its edge.
    const QColor body = pixelAt(image, Vec(-1 + 0.2, 0, 0.1));
    QVERIFY2(body.red() > 80 && body.green() < 40 && body.blue() < 40, qPrintable(describe(body)));
    QVERIFY(near(pixelAt(image, Vec(-1, 0, 0.3)), Qt::white, 40));
    QCOMPARE(pixelAt(image, Vec(-1.6, 0, 0)), kBackground);
}

void tst_MapTab::selectedTurnsRed()
{
    // 0xC80000 is blue.
    addNode(0xC80000, "tag", Vec(0.5, 0.5, 0));
    const Vec rim(0.7, 0.5, 0.1);
    QColor c = pixelAt(frame(), rim);
    QVERIFY2(c.blue() > 80 && c.red() < 40, qPrintable(describe(c)));
    Dispatch::instance()->emitIdSelected(0xC80000);
    c = pixelAt(frame(), rim);
    QVERIFY2(c.red() > 100 && c.blue() < 60, qPrintable(describe(c)));
    Dispatch::instance()->emitIdSelected(0);
    c = pixelAt(frame(), rim);
    QVERIFY2(c.blue() > 80 && c.red() < 40, qPrintable(describe(c)));
}

void tst_MapTab::inactiveTagShrinks()
{
    RtlsObject *tag = addNode(0x3000C8, "tag", Vec(0, -1, 0));
    QVERIFY(pixelAt(frame(), Vec(0.2, -1, 0.1)) != kBackground);
    emit m_hub->nodeInactiveSignal(tag);
    QCOMPARE(pixelAt(frame(), Vec(0.2, -1, 0.1)), kBackground);
    QCOMPARE(pixelAt(frame(), Vec(0, -1, 0.1)), kBackground);
    // Heard again, it is back.
    move(tag, Vec(0, -1, 0));
    QVERIFY(pixelAt(frame(), Vec(0.2, -1, 0.1)) != kBackground);
}

void tst_MapTab::trailBehindAMovingTag()
{
    m_map->setNodeModeHistory(true);
    RtlsObject *tag = addNode(0xC8, "tag", Vec(-1.5, 1, 0));
    move(tag, Vec(-0.5, 1, 0));
    move(tag, Vec(0.5, 1, 0));
    const QImage image = frame();
    // Half way along the first step: only the trail is there.
    QVERIFY(anyNear(image, Vec(-1.0, 1, 0), 2, [](const QColor &c) { return near(c, QColor(200, 0, 0), 10); }));
    m_map->setNodeModeHistory(false);
    QVERIFY(!anyNear(frame(), Vec(-1.0, 1, 0), 2, [](const QColor &c) { return c != kBackground; }));
}

void tst_MapTab::trailAfterAWildFirstFix()
{
    m_map->setNodeModeHistory(true);
    // The first fix kilometres off, then the tag's real walk: the trail is
    // drawn where the tag walked, not where the first fix left its origin.
    // 0xC80001 is blue, and new: its first fix is the wild one.
    RtlsObject *tag = addNode(0xC80001, "tag", Vec(-4000, -4000, 0));
    move(tag, Vec(-1.5, -1.5, 0));
    move(tag, Vec(-0.5, -1.5, 0));
    move(tag, Vec(0.5, -1.5, 0));
    const QImage image = frame();
    auto blue = [](const QColor &c) { return near(c, QColor(0, 0, 200), 10); };
    QVERIFY(anyNear(image, Vec(-1.0, -1.5, 0), 2, blue));
    QVERIFY(anyNear(image, Vec(0.0, -1.5, 0), 2, blue));
    m_map->setNodeModeHistory(false);
}

void tst_MapTab::reducedTrailLooksFull()
{
    // A tag wandering round a 3 m circle in steps of a centimetre or two,
    // with a jitter of its own: most of its 3000 points fall within a pixel
    // of the one before, seen from 40 m.
    m_map->scene()->clearHistory();
    m_map->setNodeMode(Map::kModeHistory);
    m_map->setHistorySize(3000);
    RtlsObject *tag = addNode(0xC90, "tag", Vec(3, 0, 0));
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> jitter(-0.02, 0.02);
    for (int i = 1; i < 3000; ++i) {
        const double a = i * 2.0 * M_PI / 2000.0;
        move(tag, Vec((3 + 0.3 * std::sin(5 * a)) * std::cos(a) + jitter(rng), 3 * std::sin(a) + jitter(rng), 0));
    }
    const NodeObject *object = m_map->scene()->nodeObject(0xC90);
    QVERIFY(object);
    QVERIFY(object->history().size() > 2500);
    lookFromHigh(m_map.get(), Vec(0, 0, 0));
    const QImage shown = frame();
    QVERIFY2(m_map->drawnTrailVertices() * 4 < object->history().size(),
             qPrintable(QString::number(m_map->drawnTrailVertices())));

    FullTrailViewer full;
    full.setStateFileName(QString());
    full.object = object;
    full.historySize = 3000;
    full.resize(m_map->size());
    full.show();
    QVERIFY(QTest::qWaitForWindowExposed(&full));
    lookFromHigh(&full, Vec(0, 0, 0));
    const QImage reference = full.grabFramebuffer();
    QCOMPARE(reference.size(), shown.size());

    // The glyph at the newest point is the map's alone: left out.
    const Vec s = m_map->camera()->projectedCoordinatesOf(object->history().at(0));
    const QPoint glyph(int(s.x), int(s.y));
    const QColor colour = object->color();
    const QVector<QPoint> wanted = pixelsOf(reference, colour, glyph, 8);
    const QVector<QPoint> drawn = pixelsOf(shown, colour, glyph, 8);
    QVERIFY2(wanted.size() > 300, qPrintable(QString::number(wanted.size())));
    // Each way: every trail pixel of one picture has one of the other
    // within a pixel.
    QCOMPARE(shareNear(wanted, shown, colour, 1), 1.0);
    QCOMPARE(shareNear(drawn, reference, colour, 1), 1.0);

    // Looked at from elsewhere, the trail is off screen: nothing is sent.
    lookFromHigh(m_map.get(), Vec(200, 200, 0));
    frame();
    QCOMPARE(m_map->drawnTrailVertices(), 0);
    m_map->setHistorySize(Map::kDefaultHistorySize);
    m_map->scene()->clearHistory();
}

void tst_MapTab::labelIsWritten()
{
    addNode(0xC8, "tag", Vec(-1, -1, 0));
    const QImage labelled = frame();
    m_map->setNodeModeLabeled(false);
    const QImage plain = frame();
    // The label's black text starts at the glyph's centre, seen from above,
    // and runs to the right.
    auto dark = [](const QColor &c) { return c.red() < 60 && c.green() < 60 && c.blue() < 60; };
    const Vec s = m_map->camera()->projectedCoordinatesOf(Vec(-1, -1, 0.3));
    int written = 0;
    int elsewhere = 0;
    for (int y = 0; y < plain.height(); ++y) {
        for (int x = 0; x < plain.width(); ++x) {
            if (!dark(labelled.pixelColor(x, y)) || dark(plain.pixelColor(x, y)))
                continue;
            const bool inLabel = x >= int(s.x) && x < int(s.x) + 60 && y >= int(s.y) - 16 && y <= int(s.y) + 2;
            ++(inLabel ? written : elsewhere);
        }
    }
    QVERIFY2(written > 10, qPrintable(QString::number(written)));
    QCOMPARE(elsewhere, 0);

    // A tag gone quiet leaves no label where its glyph was; heard again,
    // it has its label back.
    m_map->setNodeModeLabeled(true);
    RtlsObject *tag = m_nodes.last();
    m_map->scene()->nodeInActive(tag);
    const QImage quiet = frame();
    int left = 0;
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x)
            left += dark(quiet.pixelColor(x, y)) && !dark(plain.pixelColor(x, y));
    QCOMPARE(left, 0);
    move(tag, Vec(-1, -1, 0));
    const QImage heard = frame();
    int back = 0;
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x)
            back += dark(heard.pixelColor(x, y)) && !dark(plain.pixelColor(x, y));
    QVERIFY2(back > 10, qPrintable(QString::number(back)));
}

void tst_MapTab::pickingSelects()
{
    addNode(0xC8, "tag", Vec(-1, 0, 0));
    addNode(0x4000C8, "tag", Vec(1, 0, 0));
    frame();
    const Vec s = m_map->camera()->projectedCoordinatesOf(Vec(1, 0, 0.1));
    QTest::mouseClick(m_map.get(), Qt::LeftButton, Qt::ShiftModifier, QPoint(int(s.x), int(s.y)));
    QTRY_COMPARE(Dispatch::instance()->selectedId(), uint64_t(0x4000C8));
    const Vec e = m_map->camera()->projectedCoordinatesOf(Vec(-1, 0, 0.1));
    QTest::mouseClick(m_map.get(), Qt::LeftButton, Qt::ShiftModifier, QPoint(int(e.x), int(e.y)));
    QTRY_COMPARE(Dispatch::instance()->selectedId(), uint64_t(0xC8));
}

void tst_MapTab::measuredRangeLines()
{
    addNode(0x9000, "anchor", Vec(-1.5, 0.5, 0));
    RtlsObject *tag = addNode(0x9000C8, "tag", Vec(1.5, 0.5, 0));
    tag->meas()->updateFromJson(QJsonDocument::fromJson("[{\"anchor\":\"0x9000\",\"dist\":1.0}]").array());
    m_hub->announceNodeUpdated(tag);
    Dispatch::instance()->emitIdSelected(0x9000C8);
    const QImage image = frame();
    auto blue = [](const QColor &c) { return c.blue() > 200 && c.red() < 60 && c.green() < 60; };
    auto green = [](const QColor &c) { return c.green() > 200 && c.red() > 40 && c.red() < 110 && c.blue() < 110; };
    // The measured metre from the anchor towards the tag, then only the link.
    QVERIFY(anyNear(image, Vec(-0.9, 0.5, 0), 2, blue));
    QVERIFY(!anyNear(image, Vec(0.2, 0.5, 0), 2, blue));
    QVERIFY(anyNear(image, Vec(0.2, 0.5, 0), 2, green));
    m_map->setDrawLinesActive(false);
    QVERIFY(!anyNear(frame(), Vec(-0.9, 0.5, 0), 2, blue));
    m_map->setDrawLinesActive(true);
}

void tst_MapTab::hiddenTagsAreNotPicked()
{
    addNode(0x5000C8, "tag", Vec(-1, 0, 0));
    addNode(0x6000C8, "tag", Vec(1, 0, 0));
    addNode(0x7000, "anchor", Vec(0, 1, 0));
    Dispatch::instance()->emitIdSelected(0x5000C8);
    m_map->setSelectedNodeOnly(true);
    const QImage image = frame();
    QCOMPARE(pixelAt(image, Vec(1.2, 0, 0.1)), kBackground);
    QVERIFY(pixelAt(image, Vec(-0.8, 0, 0.1)) != kBackground);
    QVERIFY(pixelAt(image, Vec(0.15, 1, 0.1)) != kBackground);
    const Vec s = m_map->camera()->projectedCoordinatesOf(Vec(1, 0, 0.1));
    QTest::mouseClick(m_map.get(), Qt::LeftButton, Qt::ShiftModifier, QPoint(int(s.x), int(s.y)));
    QTest::qWait(50);
    QCOMPARE(Dispatch::instance()->selectedId(), uint64_t(0x5000C8));
}

void tst_MapTab::floorPlanRightWayUp()
{
    QTemporaryDir dir;
    QImage plan(60, 40, QImage::Format_RGB32);
    for (int y = 0; y < plan.height(); ++y)
        for (int x = 0; x < plan.width(); ++x)
            plan.setPixel(x, y, y < plan.height() / 2 ? qRgb(255, 0, 0) : qRgb(0, 0, 255));
    const QString path = dir.filePath("plan.png");
    QVERIFY(plan.save(path));
    MapZone *zone = m_map->addZone();
    zone->fromJSON(QJsonDocument::fromJson(QStringLiteral("{\"x\":-1.5,\"y\":-1,\"length\":3,\"width\":2,"
                                                          "\"type\":\"FLOORPLAN\",\"image\":\"%1\"}")
                                               .arg(path)
                                               .toUtf8())
                       .object());
    const QImage image = frame();
    // The picture's top is the far (+y) side of the plan.
    QVERIFY2(near(pixelAt(image, Vec(0, 0.5, 0)), Qt::red), qPrintable(describe(pixelAt(image, Vec(0, 0.5, 0)))));
    QVERIFY2(near(pixelAt(image, Vec(0, -0.5, 0)), Qt::blue), qPrintable(describe(pixelAt(image, Vec(0, -0.5, 0)))));
    QVERIFY(near(pixelAt(image, Vec(-1.4, 0.9, 0)), Qt::red));
    QVERIFY(near(pixelAt(image, Vec(1.4, -0.9, 0)), Qt::blue));
    QCOMPARE(pixelAt(image, Vec(-1.7, 0, 0)), kBackground);

    // The picture taken away, or one that cannot be read, leaves the plain
    // plan, not the picture shown before.
    zone->setImage(QString());
    QVERIFY2(near(pixelAt(frame(), Vec(0, 0.5, 0)), Qt::white), qPrintable(describe(pixelAt(frame(), Vec(0, 0.5, 0)))));
    zone->setImage(path);
    QVERIFY(near(pixelAt(frame(), Vec(0, 0.5, 0)), Qt::red));
    const QString broken = dir.filePath("broken.png");
    QFile file(broken);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a picture");
    file.close();
    QSignalSpy console(m_map.get(), &MapTab::displayMessage);
    zone->setImage(broken);
    QCOMPARE(console.count(), 1);
    QVERIFY(near(pixelAt(frame(), Vec(0, 0.5, 0)), Qt::white));
}

void tst_MapTab::translucentBoxShowsTagsInside()
{
    MapZone *zone = m_map->addZone();
    // Without a type the file's mode stays: 2, the translucent box.
    zone->fromJSON(QJsonDocument::fromJson("{\"x\":-1,\"y\":-1,\"length\":2,\"width\":2,\"height\":2,"
                                           "\"mode\":2}").object());
    QCOMPARE(zone->mode(), MapZone::TranslucentBox);
    // 0xFF00C8 is violet (200, 0, 255); the box is green below its level.
    addNode(0xFF00C8, "tag", Vec(0.5, 0.5, 0.5));
    const QImage image = frame();
    const QColor empty = pixelAt(image, Vec(-0.5, -0.5, 1));
    QVERIFY2(empty.green() > empty.red() + 60 && empty.green() > empty.blue() + 60, qPrintable(describe(empty)));
    // The tag under the roof shows through it, tinted.
    const QColor rim = pixelAt(image, Vec(0.7, 0.5, 0.6));
    QVERIFY2(rim.blue() > rim.green() + 40 && rim.red() > rim.green(), qPrintable(describe(rim)));
    const QColor disk = pixelAt(image, Vec(0.5, 0.5, 0.8));
    QVERIFY2(disk.red() > empty.red() + 40 && disk.blue() > empty.blue() + 20, qPrintable(describe(disk)));
}

void tst_MapTab::zoneOnTheSecondStorey()
{
    // Storeys of 1 m pulled 1 m apart: the second storey (1 to 2 m) is drawn
    // from 2 to 3 m, and so is a zone on it.
    m_map->setFloorSize(1.0);
    m_map->setFloorExtend(1.0);
    m_map->grid()->setHeight(3);
    m_map->fitCameraSide();
    MapZone *zone = m_map->addZone();
    zone->fromJSON(QJsonDocument::fromJson("{\"x\":-1,\"y\":-1,\"z\":1,\"length\":2,\"width\":2,"
                                           "\"height\":0.8,\"level\":1,\"type\":\"MACHINE\"}").object());
    auto is = [](const QColor &want) { return [want](const QColor &c) { return near(c, want, 10); }; };
    auto background = [](const QColor &c) { return c == kBackground; };
    QImage image = frame();
    // Seen from the side: the floor and the roof of the outline where the
    // storeys put them, nothing where the unspread box would be.
    QVERIFY(anyNear(image, Vec(-0.5, -1, 2.0), 2, is(QColor(0, 255, 0))));
    QVERIFY(anyNear(image, Vec(-0.5, -1, 2.8), 2, is(QColor(0, 255, 0))));
    QVERIFY(!anyNear(image, Vec(-0.5, -1, 1.0), 2, std::not_fn(background)));
    QVERIFY(!anyNear(image, Vec(-0.5, -1, 1.8), 2, std::not_fn(background)));
    // A tag in the box on that storey counts; one a storey higher does not.
    RtlsObject *tag = addNode(0x9000C8, "tag", Vec(0.5, 0, 2.2));
    QVERIFY(zone->nodesInside().isEmpty());
    QVERIFY(anyNear(frame(), Vec(-0.5, -1, 2.8), 2, is(QColor(0, 255, 0))));
    move(tag, Vec(0.5, 0, 1.4));
    QCOMPARE(zone->nodesInside().size(), 1);
    image = frame();
    QVERIFY(anyNear(image, Vec(-0.5, -1, 2.8), 2, is(QColor(255, 0, 0))));
    // Drawn between the zone's spread floor and roof.
    QVERIFY2(pixelAt(image, Vec(0.5, 0, 2.4 + 0.1)) != kBackground, qPrintable(describe(pixelAt(image, Vec(0.5, 0, 2.5)))));
}

void tst_MapTab::nodeImageOnTheTopDisk()
{
    QTemporaryDir dir;
    QImage picture(32, 32, QImage::Format_RGB32);
    picture.fill(qRgb(255, 0, 255));
    const QString path = dir.filePath("badge.png");
    QVERIFY(picture.save(path));
    m_map->fromJSON(QJsonDocument::fromJson(
                        QStringLiteral("{\"node\":[{\"id\":\"0xA0C8\",\"image\":\"%1\"}]}").arg(path).toUtf8())
                        .object());
    addNode(0xA0C8, "tag", Vec(1, -1, 0));
    const QColor centre = pixelAt(frame(), Vec(1, -1, 0.3));
    QVERIFY2(near(centre, QColor(255, 0, 255), 40), qPrintable(describe(centre)));
}

void tst_MapTab::heatMapCells()
{
    MapHeat *heat = m_map->heat();
    heat->fromJSON(QJsonDocument::fromJson("{\"x\":-2,\"y\":-2,\"length\":4,\"width\":4,\"gridres\":1,"
                                           "\"show\":true,\"mode\":0,\"min\":0,\"max\":100}").object());
    RtlsObject *tag = addNode(0xB0C8, "tag", Vec(-1.5, 1.5, 0));
    tag->pos()->setPQF(100);
    m_hub->announceNodeUpdated(tag);
    move(tag, Vec(1000, 1000, 0));
    const QImage image = frame();
    // The good cell is green over the background; empty cells are not drawn.
    const QColor good = pixelAt(image, Vec(-1.2, 1.2, 0));
    QVERIFY2(good.green() > good.red() + 40 && good.green() > good.blue(), qPrintable(describe(good)));
    QCOMPARE(pixelAt(image, Vec(1.5, -1.5, 0)), kBackground);
    // Samples after a frame: the cell turns poor, and an empty cell gets its
    // first colour.
    tag->pos()->setPQF(0);
    for (int i = 0; i < 4; ++i)
        move(tag, Vec(-1.5, 1.5, 0));
    move(tag, Vec(1.5, 1.5, 0));
    move(tag, Vec(1000, 1000, 0));
    const QImage later = frame();
    const QColor worse = pixelAt(later, Vec(-1.2, 1.2, 0));
    QVERIFY2(worse.red() > worse.green() + 20 && worse.red() > worse.blue() + 40, qPrintable(describe(worse)));
    const QColor poor = pixelAt(later, Vec(1.5, 1.5, 0));
    QVERIFY2(poor.red() > poor.green() + 80 && poor.red() > poor.blue() + 80, qPrintable(describe(poor)));
    QCOMPARE(pixelAt(later, Vec(1.5, -1.5, 0)), kBackground);
    heat->setShow(false);
    QCOMPARE(pixelAt(frame(), Vec(-1.2, 1.2, 0)), kBackground);
}

void tst_MapTab::levelColourFollowsTags()
{
    MapZone *zone = m_map->addZone();
    zone->fromJSON(QJsonDocument::fromJson("{\"x\":-1.5,\"y\":-1.5,\"length\":3,\"width\":3,\"level\":1}").object());
    const Vec edge(0.3, -1.5, 0);
    auto is = [](const QColor &want) { return [want](const QColor &c) { return near(c, want, 10); }; };
    QVERIFY(anyNear(frame(), edge, 2, is(QColor(0, 255, 0))));
    RtlsObject *tag = addNode(0x8000C8, "tag", Vec(-1.9, 0, 0.5));
    QVERIFY(anyNear(frame(), edge, 2, is(QColor(0, 255, 0))));
    move(tag, Vec(-1.0, 0, 0.5));
    QVERIFY(anyNear(frame(), edge, 2, is(QColor(255, 0, 0))));
    QVERIFY(!anyNear(frame(), edge, 2, is(QColor(0, 255, 0))));
    move(tag, Vec(-1.9, 0, 0.5));
    QVERIFY(anyNear(frame(), edge, 2, is(QColor(0, 255, 0))));

    // A tag that falls silent inside no longer counts; heard there again,
    // it counts again.
    move(tag, Vec(-1.0, 0, 0.5));
    QVERIFY(anyNear(frame(), edge, 2, is(QColor(255, 0, 0))));
    tag->setLastUpdate(quint64(QDateTime::currentMSecsSinceEpoch() - 11000));
    m_hub->checkActivity();
    QVERIFY(zone->nodesInside().isEmpty());
    QVERIFY(anyNear(frame(), edge, 2, is(QColor(0, 255, 0))));
    move(tag, Vec(-1.0, 0, 0.5));
    QVERIFY(anyNear(frame(), edge, 2, is(QColor(255, 0, 0))));
}

void tst_MapTab::keysSwitchPresets()
{
    QTest::keyClick(m_map.get(), Qt::Key_P);
    QCOMPARE(m_map->camera()->type(), qglviewer::Camera::PERSPECTIVE);
    QTest::keyClick(m_map.get(), Qt::Key_O);
    QCOMPARE(m_map->camera()->type(), qglviewer::Camera::ORTHOGRAPHIC);
    QVERIFY((m_map->camera()->viewDirection() - Vec(0, 0, -1)).norm() < 1e-6);
    QTest::keyClick(m_map.get(), Qt::Key_F);
    QVERIFY((m_map->camera()->viewDirection() - Vec(1, 0, 0)).norm() < 1e-6);
    QTest::keyClick(m_map.get(), Qt::Key_S);
    QVERIFY((m_map->camera()->viewDirection() - Vec(0, -1, 0)).norm() < 1e-6);
    const bool shown = m_map->grid()->show();
    QTest::keyClick(m_map.get(), Qt::Key_G);
    QCOMPARE(m_map->grid()->show(), !shown);
    // The perspective preset levels the camera: no roll.
    QTest::keyClick(m_map.get(), Qt::Key_P);
    QVERIFY(std::fabs(m_map->camera()->rightVector().z) < 1e-6);
}

void tst_MapTab::recordingIndicator()
{
    QTabWidget tabs;
    tabs.addTab(new QWidget, QStringLiteral("Map"));
    m_map->setTabWidget(&tabs, 0);
    QCOMPARE(m_map->tabText(), QStringLiteral("Map"));
    m_map->recording(12);
    QCOMPARE(tabs.tabText(0), QStringLiteral("Map (12)"));
    m_map->recording(13);
    QCOMPARE(tabs.tabText(0), QStringLiteral("Map (13)"));
    m_map->recording(-1);
    QCOMPARE(tabs.tabText(0), QStringLiteral("Map (13)"));
    m_map->setTabWidget(nullptr, -1);
}

void tst_MapTab::settersEmitOnChange()
{
    MapTab view;
    QSignalSpy mode(&view, &MapTab::nodeModeChanged);
    QSignalSpy minTemp(&view, &MapTab::minTempChanged);
    QSignalSpy maxTemp(&view, &MapTab::maxTempChanged);
    QSignalSpy history(&view, &MapTab::historySizeChanged);
    QSignalSpy quality(&view, &MapTab::minPqfChanged);
    // The defaults again: nothing to tell.
    view.setMinTemp(12.0);
    view.setMinTemp(12);
    view.setMaxTemp(35);
    view.setHistorySize(100);
    view.setMinPqf(0);
    view.setNodeMode(0x02);
    QCOMPARE(minTemp.count() + maxTemp.count() + history.count() + quality.count() + mode.count(), 0);
    view.setMinTemp(15);
    view.setMaxTemp(30.5);
    view.setHistorySize(200);
    view.setMinPqf(10);
    view.setNodeMode(0x06);
    QCOMPARE(minTemp.takeFirst().at(0).toDouble(), 15.0);
    QCOMPARE(maxTemp.takeFirst().at(0).toDouble(), 30.5);
    QCOMPARE(history.takeFirst().at(0).toInt(), 200);
    QCOMPARE(quality.takeFirst().at(0).toInt(), 10);
    QCOMPARE(mode.takeFirst().at(0).toUInt(), 0x06u);
    // A mode bit is told every time it is set, changed or not.
    view.setNodeModeTemp(true);
    view.setNodeModeTemp(true);
    view.setNodeModeHistory(false);
    QCOMPARE(mode.count(), 3);
    QCOMPARE(mode.at(1).at(0).toUInt(), 0x07u);
    QCOMPARE(mode.at(2).at(0).toUInt(), 0x03u);
    QCOMPARE(view.nodeMode(), 0x03u);
}

void tst_MapTab::exportImage()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("site.png");
    QSignalSpy console(m_map.get(), &MapTab::displayMessage);
    QVERIFY(m_map->saveImage(path));
    const QImage saved(path);
    QCOMPARE(saved.size(), m_map->size() * m_map->devicePixelRatio());
    QCOMPARE(saved.pixelColor(3, 3), kBackground);
    QVERIFY(!m_map->saveImage(dir.filePath("no/such/folder/site.png")));
    QCOMPARE(console.count(), 2);
    QVERIFY(console.at(1).at(0).toString().startsWith("Cannot save map image: "));
}

void tst_MapTab::savedTopViewIsKept()
{
    MapTab map;
    map.fromJSON(QJsonDocument::fromJson("{\"gui\":{\"perspective\":false,\"background-color\":\"#203040\"}}").object());
    map.resize(300, 200);
    map.show();
    QVERIFY(QTest::qWaitForWindowExposed(&map));
    const QImage image = map.grabFramebuffer();
    QCOMPARE(map.camera()->type(), qglviewer::Camera::ORTHOGRAPHIC);
    QCOMPARE(image.pixelColor(2, 2), QColor("#203040"));
    const QJsonObject gui = map.toJSON(QJsonObject()).value("gui").toObject();
    QCOMPARE(gui.value("perspective").toBool(true), false);
    QCOMPARE(gui.value("background-color").toString(), QStringLiteral("#203040"));
}

void tst_MapTab::closingLeavesNoStateFile()
{
    QTemporaryDir dir;
    const QString working = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    {
        MapTab map;
        map.resize(200, 150);
        map.show();
        QVERIFY(QTest::qWaitForWindowExposed(&map));
        // No key closes the map.
        QTest::keyClick(&map, Qt::Key_Escape);
        QVERIFY(map.isVisible());
        QVERIFY(map.close());
    }
    QVERIFY(QDir::setCurrent(working));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

void tst_MapTab::glErrorNames_data()
{
    QTest::addColumn<uint>("code");
    QTest::addColumn<QString>("name");
    QTest::newRow("enum") << uint(GL_INVALID_ENUM) << "INVALID_ENUM";
    QTest::newRow("value") << uint(GL_INVALID_VALUE) << "INVALID_VALUE";
    QTest::newRow("operation") << uint(GL_INVALID_OPERATION) << "INVALID_OPERATION";
    QTest::newRow("memory") << uint(GL_OUT_OF_MEMORY) << "OUT_OF_MEMORY";
    QTest::newRow("framebuffer") << uint(0x0506) << "INVALID_FRAMEBUFFER_OPERATION";
    QTest::newRow("stack overflow has no name") << uint(0x0503) << "";
    QTest::newRow("no error") << uint(GL_NO_ERROR) << "";
}

void tst_MapTab::glErrorNames()
{
    QFETCH(uint, code);
    QFETCH(QString, name);
    QCOMPARE(MapGlErrors::name(code), name);
}

void tst_MapTab::glErrorsAreReported()
{
    // The report is a debug line, off in the test run's logging rules.
    const_cast<QLoggingCategory &>(lcMap()).setEnabled(QtDebugMsg, true);
    m_map->makeCurrent();
    while (glGetError() != GL_NO_ERROR) {
    }
    glLineWidth(-1.0f);
    QTest::ignoreMessage(QtDebugMsg, "GL_INVALID_VALUE - src/test:7");
    QCOMPARE(MapGlErrors::report("src/test", 7), 1);
    QCOMPARE(MapGlErrors::report("src/test", 8), 0);
    m_map->doneCurrent();
    const_cast<QLoggingCategory &>(lcMap()).setEnabled(QtDebugMsg, false);
}

template<typename T>
T *cell(QGridLayout *grid, int row, int column)
{
    QLayoutItem *item = grid->itemAtPosition(row, column);
    return item ? qobject_cast<T *>(item->widget()) : nullptr;
}

void tst_MapTab::panelsAreRegistered()
{
    const QStringList titles = SettingsTab::instance()->settingsTitles();
    QVERIFY(titles.contains("Main Viewer Settings"));
    QVERIFY(titles.contains("Map Grid Settings"));
    QVERIFY(titles.contains("Heat Map Settings"));
    // A view that goes takes its panels with it.
    const int before = titles.size();
    {
        MapTab other;
        QCOMPARE(SettingsTab::instance()->settingsTitles().size(), before + 3);
    }
    QCOMPARE(SettingsTab::instance()->settingsTitles().size(), before);
}

void tst_MapTab::panelShowsTheView()
{
    MapTab view;
    MapTabSettings *panel = view.settingsPanel();
    QGridLayout *basic = panel->basicGrid();
    QCOMPARE(cell<QLabel>(basic, 0, 0)->text(), QStringLiteral("Draw Lines:"));
    QVERIFY(cell<QCheckBox>(basic, 0, 1)->isChecked());
    QVERIFY(!cell<QCheckBox>(basic, 1, 1)->isChecked());
    QCOMPARE(cell<QSlider>(basic, 3, 1)->value(), 3000);
    QCOMPARE(cell<QLabel>(basic, 3, 2)->text(), QStringLiteral("3.000"));
    // The extend slider cannot show 0: it sits at its minimum, the label says 0.
    QCOMPARE(cell<QSlider>(basic, 4, 1)->value(), 1);
    QCOMPARE(cell<QLabel>(basic, 4, 2)->text(), QStringLiteral("0.000"));
    QCOMPARE(view.floorExtend(), 0.0);
    QCOMPARE(cell<QLabel>(basic, 5, 0)->text(), QStringLiteral("Node View Mode:"));
    QCOMPARE(cell<QLabel>(basic, 7, 1)->text(), QStringLiteral("Show Node Labels:"));
    QVERIFY(cell<QCheckBox>(basic, 7, 2)->isChecked());
    QVERIFY(!cell<QCheckBox>(basic, 6, 2)->isChecked());
    QGridLayout *advanced = panel->advancedGrid();
    QCOMPARE(cell<QSpinBox>(advanced, 0, 1)->value(), 12);
    QCOMPARE(cell<QSpinBox>(advanced, 1, 1)->value(), 35);
    QCOMPARE(cell<QSpinBox>(advanced, 2, 1)->maximum(), 36000);
    QCOMPARE(cell<QSpinBox>(advanced, 2, 1)->value(), 100);
    QCOMPARE(cell<QSpinBox>(advanced, 3, 1)->value(), 0);
}

void tst_MapTab::panelWritesTheView_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("advanced");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("property");
    QTest::addColumn<QVariant>("expected");
    QTest::newRow("draw lines off") << 0 << 1 << false << 0 << "drawLinesActive" << QVariant(false);
    QTest::newRow("measurements on") << 1 << 1 << false << 1 << "drawCirclesActive" << QVariant(true);
    QTest::newRow("selected only") << 2 << 1 << false << 1 << "selectedNodeOnly" << QVariant(true);
    QTest::newRow("floor size") << 3 << 1 << false << 2500 << "floorSize" << QVariant(2.5);
    QTest::newRow("floor extend") << 4 << 1 << false << 750 << "floorExtend" << QVariant(0.75);
    QTest::newRow("temperature colours") << 6 << 2 << false << 1 << "nodeMode" << QVariant(uint(0x03));
    QTest::newRow("labels off") << 7 << 2 << false << 0 << "nodeMode" << QVariant(uint(0x00));
    QTest::newRow("history") << 8 << 2 << false << 1 << "nodeMode" << QVariant(uint(0x06));
    QTest::newRow("1D") << 9 << 2 << false << 1 << "nodeMode" << QVariant(uint(0x0A));
    QTest::newRow("arrows") << 10 << 2 << false << 1 << "nodeMode" << QVariant(uint(0x12));
    QTest::newRow("min temperature") << 0 << 1 << true << -5 << "minTemp" << QVariant(-5.0);
    QTest::newRow("max temperature") << 1 << 1 << true << 40 << "maxTemp" << QVariant(40.0);
    QTest::newRow("history size") << 2 << 1 << true << 500 << "historySize" << QVariant(500);
    QTest::newRow("quality") << 3 << 1 << true << 30 << "minPqf" << QVariant(30);
}

void tst_MapTab::panelWritesTheView()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(bool, advanced);
    QFETCH(int, value);
    QFETCH(QString, property);
    QFETCH(QVariant, expected);
    MapTab view;
    MapTabSettings *panel = view.settingsPanel();
    QGridLayout *grid = advanced ? panel->advancedGrid() : panel->basicGrid();
    QWidget *control = grid->itemAtPosition(row, column)->widget();
    if (auto *box = qobject_cast<QCheckBox *>(control))
        box->setChecked(value != 0);
    else if (auto *slider = qobject_cast<QSlider *>(control))
        slider->setValue(value);
    else if (auto *spin = qobject_cast<QSpinBox *>(control))
        spin->setValue(value);
    QCOMPARE(view.property(qPrintable(property)), expected);
    if (property == "floorSize")
        QCOMPARE(panel->floorSizeLabel()->text(), QStringLiteral("2.500"));
}

void tst_MapTab::advancedRowsFollowTheSwitch()
{
    SettingsTab *tab = SettingsTab::instance();
    tab->resize(900, 700);
    tab->show();
    QVERIFY(QTest::qWaitForWindowExposed(tab));
    MapTabSettings *panel = m_map->settingsPanel();
    QSpinBox *history = cell<QSpinBox>(panel->advancedGrid(), 2, 1);
    QCheckBox *lines = cell<QCheckBox>(panel->basicGrid(), 0, 1);
    tab->setShowAdvanced(false);
    QTRY_VERIFY(!history->isVisibleTo(tab));
    QVERIFY(lines->isVisibleTo(tab));
    tab->setShowAdvanced(true);
    QTRY_VERIFY(history->isVisibleTo(tab));
    QVERIFY(lines->isVisibleTo(tab));
    tab->setShowAdvanced(false);
    tab->hide();
}

void tst_MapTab::gridAndHeatPanelsWrite_data()
{
    QTest::addColumn<bool>("heat");
    QTest::addColumn<bool>("advanced");
    QTest::addColumn<int>("row");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("property");
    QTest::addColumn<QVariant>("expected");
    QTest::newRow("grid hidden") << false << false << 0 << 0.0 << "show" << QVariant(false);
    QTest::newRow("grid spacing") << false << false << 1 << 0.5 << "gridres" << QVariant(0.5);
    QTest::newRow("grid major lines") << false << false << 2 << 10.0 << "stepSize" << QVariant(10);
    QTest::newRow("grid length") << false << false << 3 << 30.0 << "length" << QVariant(30.0);
    QTest::newRow("grid not mirrored") << false << false << 6 << 0.0 << "mirrorX" << QVariant(false);
    QTest::newRow("grid position") << false << true << 1 << -4.0 << "y" << QVariant(-4.0);
    QTest::newRow("heat shown") << true << false << 0 << 1.0 << "show" << QVariant(true);
    QTest::newRow("heat predicted dop") << true << false << 1 << 2.0 << "mode" << QVariant(int(MapHeat::Hdop));
    QTest::newRow("heat scale minimum") << true << false << 2 << -5.0 << "min" << QVariant(-5);
    QTest::newRow("heat values") << true << false << 4 << 1.0 << "showValues" << QVariant(true);
    QTest::newRow("heat cell size") << true << false << 5 << 0.5 << "gridres" << QVariant(0.5);
    QTest::newRow("heat tag height") << true << true << 2 << 1.2 << "z" << QVariant(1.2);
}

void tst_MapTab::gridAndHeatPanelsWrite()
{
    QFETCH(bool, heat);
    QFETCH(bool, advanced);
    QFETCH(int, row);
    QFETCH(double, value);
    QFETCH(QString, property);
    QFETCH(QVariant, expected);
    MapGrid grid;
    MapHeat heatMap;
    std::unique_ptr<SettingsTabWidget> panel;
    QObject *target = heat ? static_cast<QObject *>(&heatMap) : static_cast<QObject *>(&grid);
    if (heat)
        panel.reset(new MapHeatSettings(&heatMap));
    else
        panel.reset(new MapGridSettings(&grid));
    QGridLayout *layout = advanced ? panel->advancedGrid() : panel->basicGrid();
    QWidget *control = layout->itemAtPosition(row, 1)->widget();
    if (auto *box = qobject_cast<QCheckBox *>(control))
        box->setChecked(value != 0.0);
    else if (auto *spin = qobject_cast<QSpinBox *>(control))
        spin->setValue(int(value));
    else if (auto *real = qobject_cast<QDoubleSpinBox *>(control))
        real->setValue(value);
    else if (auto *combo = qobject_cast<QComboBox *>(control))
        combo->setCurrentIndex(int(value));
    else
        QFAIL("no control in that cell");
    QCOMPARE(target->property(qPrintable(property)), expected);
}

void tst_MapTab::gridAndHeatPanelsFollow()
{
    MapGrid grid;
    MapHeat heat;
    MapGridSettings gridPanel(&grid);
    MapHeatSettings heatPanel(&heat);
    // A loaded settings document shows in the panels.
    grid.fromJSON(QJsonDocument::fromJson("{\"length\":12,\"step-size\":4}").object());
    QCOMPARE(cell<QDoubleSpinBox>(gridPanel.basicGrid(), 3, 1)->value(), 12.0);
    QCOMPARE(cell<QSpinBox>(gridPanel.basicGrid(), 2, 1)->value(), 4);
    // Another mode brings its own scale while the scale is untouched.
    heat.setMode(MapHeat::Hdop);
    QCOMPARE(cell<QComboBox>(heatPanel.basicGrid(), 1, 1)->currentIndex(), 2);
    QCOMPARE(cell<QSpinBox>(heatPanel.basicGrid(), 2, 1)->value(), 1);
    QCOMPARE(cell<QSpinBox>(heatPanel.basicGrid(), 3, 1)->value(), 5);
}

QTEST_MAIN(tst_MapTab)
#include "tst_maptab.moc"
