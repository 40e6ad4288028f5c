#include "MapTab.h"

#include "Dispatch.h"
#include "MapCameraPreset.h"
#include "MapCameraState.h"
#include "MapConstants.h"
#include "MapConstraint.h"
#include "MapFigures.h"
#include "MapGeometry.h"
#include "MapGlErrors.h"
#include "MapGrid.h"
#include "MapGridSettings.h"
#include "MapHeat.h"
#include "MapHeatSettings.h"
#include "MapLog.h"
#include "MapMetaTypes.h"
#include "MapPixelRatio.h"
#include "MapScene.h"
#include "MapSiteFit.h"
#include "MapTabSettings.h"
#include "MapTexture.h"
#include "MapZone.h"
#include "NodeObject.h"
#include "RtlsObject.h"
#include "SentrovaInterface.h"
#include "SettingsTab.h"
#include "TrailReducer.h"

#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFont>
#include <QGLViewer/camera.h>
#include <QGLViewer/constraint.h>
#include <QGLViewer/manipulatedCameraFrame.h>
#include <QIcon>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTabWidget>

#include <GL/gl.h>

#include <algorithm>

namespace {

const char kGlSource[] = "src/Map/MapTab";
const char kLogoIcon[] = ":/images/logo.png";
const char kCaptureIcon[] = ":/images/capture.png";
// A right button released within this many pixels of where it was pressed
// is a click (the menu), not a drag (the camera).
constexpr int kClickSlop = 4;
// Anchors come in a burst (a listing, a settings file): the fit waits this
// long after the first one is placed, so that it sees them all.
constexpr int kSiteFitSettleMs = 500;

qglviewer::Vec spreadPosition(const NodeObject *object, const MapViewOptions &o)
{
    return MapGeometry::spread(object->frame().position(), o.floorSize, o.floorExtend);
}

qglviewer::Vec boxMin(const qglviewer::Vec &a, const qglviewer::Vec &b)
{
    return qglviewer::Vec(std::min(a.x, b.x), std::min(a.y, b.y), std::min(a.z, b.z));
}

qglviewer::Vec boxMax(const qglviewer::Vec &a, const qglviewer::Vec &b)
{
    return qglviewer::Vec(std::max(a.x, b.x), std::max(a.y, b.y), std::max(a.z, b.z));
}

} // namespace

MapTab::MapTab(QWidget *parent, MapNodeSource *source)
    : QGLViewer(parent),
      m_scene(new MapScene(source, this)),
      m_mapConstraint(new MapConstraint(this)),
      m_frontConstraint(new qglviewer::WorldConstraint),
      m_sideConstraint(new qglviewer::WorldConstraint),
      m_topConstraint(new qglviewer::WorldConstraint)
{
    registerMapMetaTypes();
    // The background is applied by init(), with the map's context current.
    setTextIsEnabled(false);
    // No key closes the map, and closing it writes no state file into the
    // working folder.
    setShortcut(EXIT_VIEWER, 0);
    setStateFileName(QString());

    m_frontConstraint->setRotationConstraintType(qglviewer::AxisPlaneConstraint::FORBIDDEN);
    m_sideConstraint->setRotationConstraintType(qglviewer::AxisPlaneConstraint::FORBIDDEN);
    m_topConstraint->setRotationConstraintType(qglviewer::AxisPlaneConstraint::AXIS);
    m_topConstraint->setRotationConstraintDirection(qglviewer::Vec(0, 0, 1));

    connect(m_scene, &MapScene::displayMessage, this, &MapTab::displayMessage);
    connect(m_scene, &MapScene::zoneAdded, this, &MapTab::zoneAdded);
    connect(m_scene, &MapScene::zoneUpdated, this, &MapTab::zoneUpdated);
    connect(m_scene, &MapScene::zoneRemoved, this, &MapTab::zoneRemoved);

    SentrovaInterface *hub = SentrovaInterface::instance();
    connect(hub, &SentrovaInterface::nodeAddedSignal, this, &MapTab::nodeUpdated);
    connect(hub, &SentrovaInterface::nodeUpdatedSignal, this, &MapTab::nodeUpdated);
    connect(hub, &SentrovaInterface::nodeInactiveSignal, this, &MapTab::nodeInActive);
    connect(hub, &SentrovaInterface::nodeAddedSignal, heat(), &MapHeat::nodeUpdated);
    connect(hub, &SentrovaInterface::nodeUpdatedSignal, heat(), &MapHeat::nodeUpdated);
    connect(Dispatch::instance(), &Dispatch::idSelected, this, &MapTab::idSelected);
    connect(hub, &SentrovaInterface::anchorListUpdated, this, &MapTab::refreshAnchors);

    m_panel = new MapTabSettings(this);
    SettingsTab::instance()->addSettingsWidget(tr("Main Viewer Settings"), m_panel);
    m_gridPanel = new MapGridSettings(grid());
    SettingsTab::instance()->addSettingsWidget(tr("Map Grid Settings"), m_gridPanel);
    m_heatPanel = new MapHeatSettings(heat());
    SettingsTab::instance()->addSettingsWidget(tr("Heat Map Settings"), m_heatPanel);

    buildContextMenu();

    m_clock.setInterval(Map::kRepaintIntervalMs);
    connect(&m_clock, &QTimer::timeout, this, &MapTab::onClock);
    m_clock.start();

    m_siteFitTimer.setSingleShot(true);
    m_siteFitTimer.setInterval(kSiteFitSettleMs);
    // A map not on screen has no shape to fit to yet: it fits when shown.
    connect(&m_siteFitTimer, &QTimer::timeout, this, [this] {
        if (isVisible())
            fitToSite();
    });
    // A user who moves the camera before the site is known has chosen a view.
    connect(camera()->frame(), &qglviewer::ManipulatedFrame::manipulated, this, [this] {
        m_fitWhenSiteKnown = false;
        m_siteFitTimer.stop();
    });
    update();
}

MapTab::~MapTab()
{
    // The panels live in the settings tab; they must not outlive the view
    // they write into.
    delete m_panel;
    delete m_gridPanel;
    delete m_heatPanel;
    releaseGL();
    camera()->frame()->setConstraint(nullptr);
}

void MapTab::releaseGL()
{
    if (!context())
        return;
    makeCurrent();
    for (MapZone *zone : m_scene->zones())
        zone->releaseGL();
    for (NodeObject *object : m_scene->nodeObjects())
        object->releaseGL();
    m_scene->grid()->releaseGL();
    m_labelAtlas.release();
    MapTexture::deleteNames(m_scene->takeReleasedTextures());
    doneCurrent();
}

MapTabSettings *MapTab::settingsPanel() const
{
    return m_panel;
}

MapGrid *MapTab::grid() const
{
    return m_scene->grid();
}

MapHeat *MapTab::heat() const
{
    return m_scene->heat();
}

const QList<MapZone *> &MapTab::zones() const
{
    return m_scene->zones();
}

bool MapTab::drawLinesActive() const
{
    return m_scene->options().drawLinesActive;
}

bool MapTab::drawCirclesActive() const
{
    return m_scene->options().drawCirclesActive;
}

bool MapTab::selectedNodeOnly() const
{
    return m_scene->options().selectedNodeOnly;
}

double MapTab::floorSize() const
{
    return m_scene->options().floorSize;
}

double MapTab::floorExtend() const
{
    return m_scene->options().floorExtend;
}

uint MapTab::nodeMode() const
{
    return m_scene->options().nodeMode;
}

double MapTab::minTemp() const
{
    return m_scene->options().minTemp;
}

double MapTab::maxTemp() const
{
    return m_scene->options().maxTemp;
}

int MapTab::historySize() const
{
    return m_scene->options().historySize;
}

int MapTab::minPqf() const
{
    return m_scene->options().minPqf;
}

void MapTab::setTabWidget(QTabWidget *tabWidget, int index)
{
    m_tabWidget = tabWidget;
    m_tabIndex = index;
    m_tabText = tabWidget ? tabWidget->tabText(index) : QString();
}

QJsonObject MapTab::toJSON(QJsonObject root) const
{
    MapScene::GuiSettings gui;
    gui.background = m_background;
    gui.perspective = camera()->type() == qglviewer::Camera::PERSPECTIVE;
    return m_scene->toJSON(root, gui);
}

void MapTab::fromJSON(const QJsonObject &root)
{
    const MapScene::GuiSettings gui = m_scene->fromJSON(root);
    if (gui.hasBackground) {
        m_background = gui.background;
        applyBackground();
    }
    if (gui.hasPerspective) {
        if (gui.perspective)
            fitCameraPerspective();
        else
            fitCameraTop();
        // The first display must not replace the saved view with its preset.
        m_cameraFromSettings = true;
    }
    m_dirty = true;
    update();
}

void MapTab::applyBackground()
{
    // libQGLViewer's setBackgroundColor sets the clear colour of whatever
    // context is current: after the first display that may be the
    // orientation view's, and the map would never show the colour. Before
    // the first display there is no context of ours; init() applies it.
    if (!isValid())
        return;
    makeCurrent();
    setBackgroundColor(m_background);
    doneCurrent();
    m_dirty = true;
}

// Clock and drawing

void MapTab::onClock()
{
    const bool sceneChanged = m_scene->takeDirty();
    if (sceneChanged || m_dirty) {
        m_dirty = false;
        update();
    }
}

void MapTab::init()
{
    setMouseTracking(true);
    setTextIsEnabled(true);
    // The viewer sets its own background when its context starts; init()
    // runs with this view's context current.
    setBackgroundColor(m_background);
    m_scene->addKnownNodes();
    if (!m_cameraFromSettings)
        fitCameraPerspective();
    // The nodes known before the first display count as the site too.
    if (m_fitWhenSiteKnown)
        setFitToSiteWhenKnown(true);
}

bool MapTab::isDrawn(const NodeObject *object) const
{
    if (!object->isPlaced())
        return false;
    const MapViewOptions &o = m_scene->options();
    return !(o.selectedNodeOnly && object->isTag() && object->id() != m_scene->selectedId());
}

MapFrameContext MapTab::frameContext()
{
    const MapViewOptions &o = m_scene->options();
    MapFrameContext frame;
    frame.floorSize = o.floorSize;
    frame.floorExtend = o.floorExtend;
    frame.historySize = o.historySize;
    frame.camera = camera();
    m_labels.clear();
    frame.labels = &m_labels;
    return frame;
}

void MapTab::draw()
{
    // Lines and labels as wide and as sharp on a high-density screen as on
    // any other.
    MapPixelRatio::set(devicePixelRatioF());
    m_labelAtlas.setPixelRatio(devicePixelRatioF());
    MapTexture::deleteNames(m_scene->takeReleasedTextures());
    const MapViewOptions &o = m_scene->options();
    const MapFrameContext frame = frameContext();

    grid()->draw(o.floorSize, o.floorExtend);
    for (MapZone *zone : m_scene->zones())
        zone->draw(o.floorSize, o.floorExtend);
    heat()->draw(frame);

    m_glyphs.clear();
    m_glyphs.setLight(-camera()->viewDirection());
    for (NodeObject *object : m_scene->nodeObjects()) {
        if (isDrawn(object)) {
            const unsigned int mode =
                m_scene->isInactive(object->id()) ? o.nodeMode & ~unsigned(Map::kModeLabels) : o.nodeMode;
            object->appendGlyph(m_glyphs, mode, frame);
        }
    }
    m_glyphs.draw();
    if (!(o.nodeMode & Map::kModeArrow)) {
        for (NodeObject *object : m_scene->nodeObjects()) {
            if (object->hasTexture() && isDrawn(object))
                object->drawTexturedDisk(frame);
        }
    }

    if (o.nodeMode & Map::kModeHistory) {
        m_trails.clear();
        // Points within a device pixel of a straight line show nothing
        // new: the line's ends are enough.
        TrailReducer reducer(TrailReducer::View::of(*camera()), 1.0 / devicePixelRatioF());
        for (NodeObject *object : m_scene->nodeObjects()) {
            if (isDrawn(object))
                object->appendTrail(m_trails, o.historySize, reducer);
        }
        m_trailVertices = m_trails.vertexCount();
        m_trails.draw(Map::kTrailWidth);
    } else {
        m_trailVertices = 0;
    }

    // Translucent faces last, so that what stands inside shows through.
    for (MapZone *zone : m_scene->zones())
        zone->drawFaces(o.floorSize, o.floorExtend);

    if (o.drawLinesActive)
        drawDistanceLines();
    if (o.drawCirclesActive)
        drawMeasurementFigures();
    m_survey.draw(frame);
    drawLabels();
    MapGlErrors::report(kGlSource, __LINE__);
}

void MapTab::drawDistanceLines()
{
    const NodeObject *selected = m_scene->nodeObject(m_scene->selectedId());
    if (!selected || !isDrawn(selected))
        return;
    const MapViewOptions &o = m_scene->options();
    const RtlsMeas::Table &measurements = m_scene->selectedMeasurements();
    const qglviewer::Vec q = spreadPosition(selected, o);
    const QRgb rangeColour = qRgb(0, 0, 255);
    const QRgb linkColour = QColor::fromRgbF(0.3, 1.0, 0.3).rgb();

    m_rangeLines.clear();
    m_links.clear();
    for (const NodeObject *object : m_scene->nodeObjects()) {
        if (object == selected || !isDrawn(object))
            continue;
        const qglviewer::Vec p = spreadPosition(object, o);
        m_links.segment(q, p, linkColour);
        const auto entry = measurements.constFind(object->id());
        if (entry == measurements.constEnd() || entry->kind != Rtls::kMeasDistance || entry->value == 0.0f)
            continue;
        qglviewer::Vec end;
        if (MapFigures::distanceSegment(p, q, entry->value, end))
            m_rangeLines.segment(p, end, rangeColour);
    }
    // The measured ranges first and wide, the links over them.
    m_rangeLines.draw(3.0f);
    m_links.draw(1.0f);
}

void MapTab::drawMeasurementFigures()
{
    const NodeObject *selected = m_scene->nodeObject(m_scene->selectedId());
    const RtlsMeas::Table &measurements = m_scene->selectedMeasurements();
    if (!selected || !isDrawn(selected) || measurements.isEmpty())
        return;
    const MapViewOptions &o = m_scene->options();
    const int kind = measurements.constBegin()->kind;
    if (kind != Rtls::kMeasDistance && kind != Rtls::kMeasToa)
        return;

    // The other drawn objects that the selected node measured, with values.
    m_figureObjects.clear();
    for (const NodeObject *object : m_scene->nodeObjects()) {
        if (object == selected || !isDrawn(object))
            continue;
        const auto entry = measurements.constFind(object->id());
        if (entry != measurements.constEnd() && entry->value != 0.0f)
            m_figureObjects.push_back({spreadPosition(object, o), double(entry->value)});
    }

    glPushAttrib(GL_ENABLE_BIT | GL_LINE_BIT | GL_CURRENT_BIT);
    glDisable(GL_LIGHTING);
    glLineWidth(MapPixelRatio::lineWidth(1.0));
    glColor3f(0.0f, 0.0f, 0.0f);
    constexpr int kMostPoints =
        Map::kCircleVertices > Map::kHyperbolaPoints ? Map::kCircleVertices : Map::kHyperbolaPoints;
    qglviewer::Vec points[kMostPoints];
    if (kind == Rtls::kMeasDistance) {
        const qglviewer::Quaternion facing = camera()->frame()->orientation();
        for (const auto &figure : m_figureObjects) {
            MapFigures::circle(figure.first, figure.second, facing, points);
            glBegin(GL_LINE_LOOP);
            for (int i = 0; i < Map::kCircleVertices; ++i)
                glVertex3d(points[i].x, points[i].y, points[i].z);
            glEnd();
        }
    } else {
        const qglviewer::Vec s = spreadPosition(selected, o);
        for (size_t i = 0; i < m_figureObjects.size(); ++i) {
            for (size_t j = 0; j < m_figureObjects.size(); ++j) {
                if (i == j)
                    continue;
                const auto &a = m_figureObjects[i];
                const auto &b = m_figureObjects[j];
                const int n = MapFigures::timeDifferenceLocus(a.first, b.first, s, a.second, b.second, points);
                glBegin(GL_LINE_STRIP);
                for (int k = 0; k < n; ++k)
                    glVertex3d(points[k].x, points[k].y, points[k].z);
                glEnd();
            }
        }
    }
    glPopAttrib();
}

void MapTab::drawLabels()
{
    if (m_labels.empty() || !textIsEnabled())
        return;
    startScreenCoordinatesSystem();
    m_labelAtlas.draw(m_labels);
    stopScreenCoordinatesSystem();
}

void MapTab::drawWithNames()
{
    MapFrameContext frame = frameContext();
    frame.labels = nullptr;
    for (NodeObject *object : m_scene->nodeObjects()) {
        // Hidden tags cannot be picked.
        if (!isDrawn(object))
            continue;
        glPushName(GLuint(object->selectionNumber()));
        object->drawPickBox(frame);
        glPopName();
    }
}

void MapTab::postSelection(const QPoint &)
{
    const int name = selectedName();
    if (name == -1)
        return;
    const NodeObject *object = m_scene->objectForSelection(name);
    Dispatch::instance()->emitIdSelected(object ? object->id() : 0);
}

// Camera

void MapTab::applyPreset(Preset preset)
{
    camera()->frame()->setConstraint(nullptr);
    const qglviewer::Vec min = grid()->sceneMin();
    const qglviewer::Vec max = grid()->sceneMax();
    setSceneBoundingBox(min, max);
    MapCameraPreset::Kind kind = MapCameraPreset::Perspective;
    switch (preset) {
    case Preset::Perspective:
        kind = MapCameraPreset::Perspective;
        break;
    case Preset::Top:
        kind = MapCameraPreset::Top;
        break;
    case Preset::Front:
        kind = MapCameraPreset::Front;
        break;
    case Preset::Side:
        kind = MapCameraPreset::Side;
        break;
    }
    m_preset = kind;
    const MapCameraPreset::Placement p = MapCameraPreset::placement(kind, min, max);
    camera()->setType(p.perspective ? qglviewer::Camera::PERSPECTIVE : qglviewer::Camera::ORTHOGRAPHIC);
    camera()->setPosition(p.position);
    camera()->setUpVector(p.up);
    camera()->lookAt(p.lookAt);
    showEntireScene();
    m_dirty = true;
    update();
    switch (preset) {
    case Preset::Perspective: {
        camera()->frame()->setConstraint(m_mapConstraint.get());
        // An identity rotation, so that the constraint levels the camera now.
        qglviewer::Quaternion identity;
        camera()->frame()->rotate(identity);
        break;
    }
    case Preset::Top:
        camera()->frame()->setConstraint(m_topConstraint.get());
        break;
    case Preset::Front:
        camera()->frame()->setConstraint(m_frontConstraint.get());
        break;
    case Preset::Side:
        camera()->frame()->setConstraint(m_sideConstraint.get());
        break;
    }
}

void MapTab::fitCameraPerspective()
{
    applyPreset(Preset::Perspective);
}

void MapTab::fitCameraTop()
{
    fitCameraSide();
    applyPreset(Preset::Top);
}

void MapTab::fitCameraFront()
{
    applyPreset(Preset::Front);
}

void MapTab::fitCameraSide()
{
    applyPreset(Preset::Side);
}

bool MapTab::fitToSite()
{
    m_fitWhenSiteKnown = false;
    m_siteFitTimer.stop();
    // The anchors and masters are the site; tags only stand in for it while
    // none has a position (a tag's report can be far off).
    const MapViewOptions &o = m_scene->options();
    std::vector<qglviewer::Vec> fixed;
    std::vector<qglviewer::Vec> tags;
    for (const NodeObject *object : m_scene->nodeObjects()) {
        if (!object->isPlaced())
            continue;
        (object->isTag() ? tags : fixed).push_back(spreadPosition(object, o));
    }
    const std::vector<qglviewer::Vec> &site = fixed.empty() ? tags : fixed;
    qglviewer::Vec min;
    qglviewer::Vec max;
    if (!MapSiteFit::extent(site, &min, &max)) {
        emit displayMessage(tr("Fit to Site: no node has a position yet"));
        return false;
    }
    // The clipping planes follow the scene box: it takes in the site too.
    setSceneBoundingBox(boxMin(grid()->sceneMin(), min), boxMax(grid()->sceneMax(), max));
    MapSiteFit::apply(camera(), MapSiteFit::fit(site, MapSiteFit::View::of(*camera())));
    // The first display must not put the preset back.
    m_cameraFromSettings = true;
    m_dirty = true;
    update();
    return true;
}

void MapTab::setFitToSiteWhenKnown(bool on)
{
    m_fitWhenSiteKnown = on;
    if (!on) {
        m_siteFitTimer.stop();
        return;
    }
    // Anchors known already (from the settings file, say) count. A wait
    // under way is not started again: listings may keep coming.
    if (m_siteFitTimer.isActive())
        return;
    for (const NodeObject *object : m_scene->nodeObjects()) {
        if (object->isPlaced() && !object->isTag()) {
            m_siteFitTimer.start();
            return;
        }
    }
}

void MapTab::armSiteFit(RtlsObject *node)
{
    if (!m_fitWhenSiteKnown || m_siteFitTimer.isActive() || !node)
        return;
    const NodeObject *object = m_scene->nodeObject(node->id());
    if (object && object->isPlaced() && !object->isTag())
        m_siteFitTimer.start();
}

MapCameraState MapTab::cameraState() const
{
    return MapCameraState::of(*camera(), m_preset);
}

void MapTab::setCameraState(const MapCameraState &state)
{
    switch (state.preset) {
    case MapCameraPreset::Perspective:
        applyPreset(Preset::Perspective);
        break;
    case MapCameraPreset::Top:
        applyPreset(Preset::Top);
        break;
    case MapCameraPreset::Front:
        applyPreset(Preset::Front);
        break;
    case MapCameraPreset::Side:
        applyPreset(Preset::Side);
        break;
    }
    // The preset's projection and constraint, the kept place; the clipping
    // planes take in what the camera turns about.
    setSceneBoundingBox(boxMin(grid()->sceneMin(), state.pivot), boxMax(grid()->sceneMax(), state.pivot));
    state.applyTo(camera());
    m_cameraFromSettings = true;
    setFitToSiteWhenKnown(false);
    m_dirty = true;
    update();
}

void MapTab::toggleGrid()
{
    grid()->setShow(!grid()->show());
    m_dirty = true;
    update();
}

void MapTab::keyPressEvent(QKeyEvent *e)
{
    switch (e->key()) {
    case Qt::Key_F:
        fitCameraFront();
        break;
    case Qt::Key_G:
        toggleGrid();
        break;
    case Qt::Key_O:
        fitCameraTop();
        break;
    case Qt::Key_P:
        fitCameraPerspective();
        break;
    case Qt::Key_S:
        fitCameraSide();
        break;
    default:
        QGLViewer::keyPressEvent(e);
        return;
    }
    update();
}

// Nodes and options

void MapTab::nodeUpdated(RtlsObject *obj)
{
    m_scene->nodeUpdated(obj);
    if (m_fitWhenSiteKnown)
        armSiteFit(obj);
}

void MapTab::nodeInActive(RtlsObject *obj)
{
    m_scene->nodeInActive(obj);
}

void MapTab::refreshAnchors()
{
    m_scene->refreshAnchors();
    if (m_fitWhenSiteKnown)
        setFitToSiteWhenKnown(true);
}

QColor MapTab::getDefaultColor(RtlsObject *rtlsNode)
{
    return m_scene->defaultColor(rtlsNode);
}

QColor MapTab::getColorByTemp(RtlsObject *rtlsNode)
{
    return m_scene->colorByTemp(rtlsNode);
}

void MapTab::idSelected(uint64_t id)
{
    m_scene->selectId(id);
    update();
}

void MapTab::setFloorSize(double size)
{
    m_scene->options().floorSize = size;
    m_scene->markDirty();
}

void MapTab::setFloorExtend(double extend)
{
    m_scene->options().floorExtend = extend;
    m_scene->markDirty();
}

void MapTab::setDrawLinesActive(bool active)
{
    m_scene->options().drawLinesActive = active;
    m_scene->markDirty();
}

void MapTab::setDrawCirclesActive(bool active)
{
    m_scene->options().drawCirclesActive = active;
    m_scene->markDirty();
}

void MapTab::setSelectedNodeOnly(bool only)
{
    m_scene->options().selectedNodeOnly = only;
    m_scene->markDirty();
}

void MapTab::setChildViewer(QGLViewer *viewer)
{
    m_childViewer = viewer;
    m_mapConstraint->setChildViewer(viewer);
}

void MapTab::setNodeMode(uint mode)
{
    if (mode == m_scene->options().nodeMode)
        return;
    m_scene->options().nodeMode = mode;
    emit nodeModeChanged(mode);
    m_scene->markDirty();
    update();
}

void MapTab::setNodeModeBit(unsigned int bit, bool on)
{
    unsigned int &mode = m_scene->options().nodeMode;
    mode = on ? (mode | bit) : (mode & ~bit);
    emit nodeModeChanged(mode);
    m_scene->markDirty();
    update();
}

void MapTab::setNodeModeTemp(bool on)
{
    setNodeModeBit(Map::kModeTemperature, on);
}

void MapTab::setNodeModeLabeled(bool on)
{
    setNodeModeBit(Map::kModeLabels, on);
}

void MapTab::setNodeModeHistory(bool on)
{
    setNodeModeBit(Map::kModeHistory, on);
}

void MapTab::setNodeMode1D(bool on)
{
    setNodeModeBit(Map::kMode1D, on);
}

void MapTab::setNodeModeArrow(bool on)
{
    setNodeModeBit(Map::kModeArrow, on);
}

void MapTab::setMinTemp(int arg)
{
    setMinTemp(double(arg));
}

void MapTab::setMaxTemp(int arg)
{
    setMaxTemp(double(arg));
}

void MapTab::setMinTemp(double arg)
{
    if (arg == m_scene->options().minTemp)
        return;
    m_scene->options().minTemp = arg;
    emit minTempChanged(arg);
    m_scene->markDirty();
}

void MapTab::setMaxTemp(double arg)
{
    if (arg == m_scene->options().maxTemp)
        return;
    m_scene->options().maxTemp = arg;
    emit maxTempChanged(arg);
    m_scene->markDirty();
}

void MapTab::setHistorySize(int arg)
{
    if (arg == m_scene->options().historySize)
        return;
    m_scene->options().historySize = arg;
    emit historySizeChanged(arg);
    m_scene->markDirty();
}

void MapTab::setMinPqf(int arg)
{
    if (arg == m_scene->options().minPqf)
        return;
    m_scene->options().minPqf = arg;
    emit minPqfChanged(arg);
}

void MapTab::clearHistory()
{
    m_scene->clearHistory();
}

MapZone *MapTab::addZone()
{
    return m_scene->addZone();
}

void MapTab::removeZone(MapZone *zone)
{
    m_scene->removeZone(zone);
}

// Recording indicator

void MapTab::recording(int size)
{
    if (!m_tabWidget || m_tabIndex < 0)
        return;
    if (size < 0) {
        m_tabWidget->setTabIcon(m_tabIndex, QIcon(QLatin1String(kLogoIcon)));
        return;
    }
    m_tabWidget->setTabIcon(m_tabIndex, QIcon(QLatin1String(kCaptureIcon)));
    m_tabWidget->setTabText(m_tabIndex, m_tabText + QStringLiteral(" (") + QString::number(size) + QLatin1Char(')'));
}

// Image export and the context menu

QImage MapTab::mapImage()
{
    return grabFramebuffer();
}

void MapTab::setSurveyMarkers(const QVector<MapSurveyMarker> &markers)
{
    m_survey.setMarkers(markers);
    m_dirty = true;
}

bool MapTab::saveImage(const QString &fileName)
{
    const QImage image = mapImage();
    if (image.isNull() || !image.save(fileName)) {
        const QString line = tr("Cannot save map image: ") + fileName;
        qCWarning(lcMap).noquote() << line;
        emit displayMessage(line);
        return false;
    }
    emit displayMessage(tr("Map image saved: ") + fileName);
    return true;
}

void MapTab::exportImage()
{
    const QString fileName = QFileDialog::getSaveFileName(this, tr("Export map image"), QStringLiteral("map.png"),
                                                          tr("Images (*.png *.jpg *.bmp)"));
    if (!fileName.isEmpty())
        saveImage(fileName);
}

void MapTab::buildContextMenu()
{
    m_contextMenu = new QMenu(this);
    m_contextMenu->addAction(tr("Top View"), this, &MapTab::fitCameraTop);
    m_contextMenu->addAction(tr("Front View"), this, &MapTab::fitCameraFront);
    m_contextMenu->addAction(tr("Side View"), this, &MapTab::fitCameraSide);
    m_contextMenu->addAction(tr("3D View"), this, &MapTab::fitCameraPerspective);
    m_contextMenu->addAction(tr("Fit to Site"), this, &MapTab::fitToSite);
    m_contextMenu->addAction(tr("Show/Hide Grid"), this, &MapTab::toggleGrid);
    m_contextMenu->addSeparator();
    m_contextMenu->addAction(tr("Export Image..."), this, &MapTab::exportImage);
    m_contextMenu->addAction(tr("Copy Image"), this, &QGLViewer::snapshotToClipboard);
    m_contextMenu->addAction(tr("Snapshot..."), this, [this] { saveSnapshot(false, false); });
}

void MapTab::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton)
        m_rightPressAt = event->pos();
    QGLViewer::mousePressEvent(event);
}

void MapTab::mouseReleaseEvent(QMouseEvent *event)
{
    QGLViewer::mouseReleaseEvent(event);
    if (event->button() == Qt::RightButton && (event->pos() - m_rightPressAt).manhattanLength() <= kClickSlop)
        m_contextMenu->popup(event->globalPos());
}

void MapTab::showEvent(QShowEvent *event)
{
    QGLViewer::showEvent(event);
    if (m_fitWhenSiteKnown)
        setFitToSiteWhenKnown(true);
}

void MapTab::contextMenuEvent(QContextMenuEvent *event)
{
    // A right drag moves the camera; the mouse's menu opens on a right
    // click (mouseReleaseEvent). The menu key opens it here.
    if (event->reason() == QContextMenuEvent::Keyboard)
        m_contextMenu->popup(event->globalPos());
    event->accept();
}
