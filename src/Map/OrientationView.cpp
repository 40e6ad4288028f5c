#include "OrientationView.h"

#include "Dispatch.h"
#include "OrientationViewSettings.h"
#include "RtlsIMU.h"
#include "RtlsObject.h"
#include "SentrovaInterface.h"
#include "SettingsTab.h"

#include <QGLViewer/camera.h>
#include <QFontMetrics>

#include <GL/gl.h>

using qglviewer::Vec;

namespace {

constexpr int kDefaultRefreshInterval = 50;
const QColor kBackground(161, 187, 206);
const QColor kText(20, 24, 32);

// Half sizes of the body: a tag's enclosure, longest along its X axis.
constexpr double kBodyX = 0.5;
constexpr double kBodyY = 0.3;
constexpr double kBodyZ = 0.1;

void drawBox()
{
    const double x = kBodyX, y = kBodyY, z = kBodyZ;
    glBegin(GL_QUADS);
    glNormal3d(0, 0, 1);
    glVertex3d(-x, -y, z); glVertex3d(x, -y, z); glVertex3d(x, y, z); glVertex3d(-x, y, z);
    glNormal3d(0, 0, -1);
    glVertex3d(-x, -y, -z); glVertex3d(-x, y, -z); glVertex3d(x, y, -z); glVertex3d(x, -y, -z);
    glNormal3d(1, 0, 0);
    glVertex3d(x, -y, -z); glVertex3d(x, y, -z); glVertex3d(x, y, z); glVertex3d(x, -y, z);
    glNormal3d(-1, 0, 0);
    glVertex3d(-x, -y, -z); glVertex3d(-x, -y, z); glVertex3d(-x, y, z); glVertex3d(-x, y, -z);
    glNormal3d(0, 1, 0);
    glVertex3d(-x, y, -z); glVertex3d(-x, y, z); glVertex3d(x, y, z); glVertex3d(x, y, -z);
    glNormal3d(0, -1, 0);
    glVertex3d(-x, -y, -z); glVertex3d(x, -y, -z); glVertex3d(x, -y, z); glVertex3d(-x, -y, z);
    glEnd();
}

} // namespace

OrientationView::OrientationView(QWidget *parent)
    : QGLViewer(parent)
{
    // Neither Escape nor closing may end the program or leave a state file
    // in the working folder: this is a dock, not a viewer application.
    setShortcut(EXIT_VIEWER, 0);
    setStateFileName(QString());
    setMinimumSize(160, 120);

    // The camera is set here, not in init(): the map may turn this view
    // with its own camera before the dock is first shown.
    // The scene is framed a little high and wide, so that the body stays
    // clear of the text in the top left corner however it turns.
    setSceneCenter(Vec(0, 0, 0.3));
    setSceneRadius(kAxisLength * 1.4);
    camera()->setUpVector(Vec(0, 0, 1));
    camera()->setPosition(Vec(2.6, -2.2, 2.1));
    camera()->lookAt(sceneCenter());
    showEntireScene();

    m_clock.setInterval(kDefaultRefreshInterval);
    connect(&m_clock, &QTimer::timeout, this, &OrientationView::onClock);

    connect(Dispatch::instance(), &Dispatch::idSelected, this, &OrientationView::idSelected);
    connect(SentrovaInterface::instance(), &SentrovaInterface::nodeUpdatedSignal, this,
            &OrientationView::nodeUpdated);

    m_panel = new OrientationViewSettings(this);
    SettingsTab::instance()->addSettingsWidget(tr("Orientation View Settings"), m_panel);

    const uint64_t selected = Dispatch::instance()->selectedId();
    if (selected != 0)
        idSelected(selected);
}

OrientationViewSettings *OrientationView::settingsPanel() const
{
    return m_panel;
}

OrientationView::~OrientationView()
{
    // The panel lives in the settings tab; it must not outlive its view.
    delete m_panel;
    if (m_bodyList != 0 && context()) {
        makeCurrent();
        glDeleteLists(m_bodyList, 1);
        glDeleteLists(m_axesList, 1);
        glDeleteLists(m_worldList, 1);
        doneCurrent();
    }
}

void OrientationView::idSelected(uint64_t id)
{
    if (id == 0) {
        m_node = nullptr;
        m_readout.clearSelection();
        markDirty();
        return;
    }
    RtlsObject *node = SentrovaInterface::instance()->node(id);
    m_node = node;
    m_readout.select(id, OrientationReadout::label(id, node ? node->name() : QString()));
    takeQuaternion(node);
    markDirty();
}

void OrientationView::nodeUpdated(RtlsObject *node)
{
    if (!node || !m_readout.hasSelection() || node->id() != m_readout.id())
        return;
    if (m_node != node) {
        m_node = node;
        m_readout.select(node->id(), OrientationReadout::label(node->id(), node->name()));
    }
    takeQuaternion(node);
    markDirty();
}

void OrientationView::takeQuaternion(RtlsObject *node)
{
    // hasImu(): a node that never sent sensor values gets no IMU record from us.
    if (node && node->hasImu()) {
        const RtlsIMU *imu = node->imu();
        m_readout.setQuaternion(imu->q0(), imu->q1(), imu->q2(), imu->q3());
    } else {
        m_readout.setQuaternion(0.0f, 0.0f, 0.0f, 0.0f);
    }
}

void OrientationView::markDirty()
{
    m_dirty = true;
}

void OrientationView::onClock()
{
    if (m_dirty)
        update();
}

void OrientationView::showEvent(QShowEvent *event)
{
    QGLViewer::showEvent(event);
    m_clock.start();
}

void OrientationView::hideEvent(QHideEvent *event)
{
    // A hidden dock draws nothing; the first frame after showing catches up.
    m_clock.stop();
    QGLViewer::hideEvent(event);
}

void OrientationView::setShowBodyAxes(bool show)
{
    if (show == m_showBodyAxes)
        return;
    m_showBodyAxes = show;
    emit showBodyAxesChanged(show);
    markDirty();
}

void OrientationView::setShowWorldAxes(bool show)
{
    if (show == m_showWorldAxes)
        return;
    m_showWorldAxes = show;
    emit showWorldAxesChanged(show);
    markDirty();
}

void OrientationView::setShowReadout(bool show)
{
    if (show == m_showReadout)
        return;
    m_showReadout = show;
    emit showReadoutChanged(show);
    markDirty();
}

void OrientationView::setRefreshInterval(int ms)
{
    ms = qBound(kMinRefreshInterval, ms, kMaxRefreshInterval);
    if (ms == m_clock.interval())
        return;
    m_clock.setInterval(ms);
    emit refreshIntervalChanged(ms);
}

void OrientationView::setAngleDecimals(int decimals)
{
    decimals = qBound(0, decimals, kMaxAngleDecimals);
    if (decimals == m_angleDecimals)
        return;
    m_angleDecimals = decimals;
    emit angleDecimalsChanged(decimals);
    markDirty();
}

void OrientationView::init()
{
    setBackgroundColor(kBackground);
    setForegroundColor(kText);
    buildLists();
}

void OrientationView::buildLists()
{
    m_bodyList = glGenLists(3);
    m_axesList = m_bodyList + 1;
    m_worldList = m_bodyList + 2;

    glNewList(m_bodyList, GL_COMPILE);
    glEnable(GL_LIGHTING);
    glColor3f(0.78f, 0.80f, 0.86f);
    drawBox();
    glEndList();

    // Axes unlit, so that each keeps its colour from every side.
    glNewList(m_axesList, GL_COMPILE);
    glDisable(GL_LIGHTING);
    glColor3f(1.0f, 0.0f, 0.0f);
    drawArrow(Vec(0, 0, 0), Vec(kAxisLength, 0, 0), 0.04);
    glColor3f(0.0f, 0.8f, 0.0f);
    drawArrow(Vec(0, 0, 0), Vec(0, kAxisLength, 0), 0.04);
    glColor3f(0.0f, 0.0f, 1.0f);
    drawArrow(Vec(0, 0, 0), Vec(0, 0, kAxisLength), 0.04);
    glEnable(GL_LIGHTING);
    glEndList();

    glNewList(m_worldList, GL_COMPILE);
    glDisable(GL_LIGHTING);
    glLineWidth(1.0f);
    glColor3f(0.35f, 0.35f, 0.40f);
    glBegin(GL_LINES);
    glVertex3d(-kAxisLength, 0, 0); glVertex3d(kAxisLength, 0, 0);
    glVertex3d(0, -kAxisLength, 0); glVertex3d(0, kAxisLength, 0);
    glVertex3d(0, 0, 0); glVertex3d(0, 0, kAxisLength);
    glEnd();
    glEnable(GL_LIGHTING);
    glEndList();
}

void OrientationView::draw()
{
    m_dirty = false;
    if (m_bodyList == 0)
        return;
    // The text of the previous frame went through a QPainter, which leaves
    // its own depth and blend state behind.
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    if (m_showWorldAxes)
        glCallList(m_worldList);
    if (m_readout.hasSelection()) {
        glPushMatrix();
        glMultMatrixd(m_readout.rotation().matrix());
        glCallList(m_bodyList);
        if (m_showBodyAxes)
            glCallList(m_axesList);
        glPopMatrix();
    }
    drawReadout();
}

void OrientationView::drawReadout()
{
    if (!m_showReadout && m_readout.hasSelection() && m_readout.hasData())
        return;
    // "No selection" and "no orientation data" are always said: without
    // them an unturned body would pass for a node lying flat facing east.
    const QStringList lines = m_readout.lines(m_angleDecimals);
    const QFontMetrics metrics(font());
    const int step = metrics.lineSpacing();
    int y = step + 4;
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    // drawText() paints in the current GL colour.
    glColor3ub(GLubyte(kText.red()), GLubyte(kText.green()), GLubyte(kText.blue()));
    for (const QString &line : lines) {
        drawText(8, y, line);
        y += step;
    }
    glPopAttrib();
}
