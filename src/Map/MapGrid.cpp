#include "MapGrid.h"

#include "MapColors.h"
#include "MapConstants.h"
#include "MapGeometry.h"
#include "MapLog.h"
#include "RtlsConvert.h"
#include "MapPixelRatio.h"

#include <GL/gl.h>

#include <cmath>

namespace {

using Rtls::key;

void color(const QColor &c)
{
    glColor3f(float(c.redF()), float(c.greenF()), float(c.blueF()));
}

} // namespace

MapGrid::MapGrid(QObject *parent)
    : CubeVolume(parent),
      m_xAxisColor(QLatin1String(Map::kGridXAxisColor)),
      m_yAxisColor(QLatin1String(Map::kGridYAxisColor)),
      m_axisColor(QLatin1String(Map::kGridAxisColor)),
      m_stepAxisColor(QLatin1String(Map::kGridStepAxisColor)),
      m_stepSize(Map::kGridStepSize),
      m_gridres(Map::kGridResolution)
{
    m_size = qglviewer::Vec(Map::kGridLength, Map::kGridWidth, 0.0);
    connect(this, &CubeVolume::newSize, this, &MapGrid::touch);
    connect(this, &AbstractObject::newFrame, this, &MapGrid::touch);
}

qglviewer::Vec MapGrid::sceneMin() const
{
    qglviewer::Vec lo = m_frame.position();
    const qglviewer::Vec hi = sceneMax();
    if (m_mirrorX)
        lo.x -= hi.x;
    if (m_mirrorY)
        lo.y -= hi.y;
    return lo;
}

qglviewer::Vec MapGrid::sceneMax() const
{
    return m_frame.position() + m_size;
}

QVector<double> MapGrid::linePositions(double from, double to, double step, int maxLines)
{
    QVector<double> lines;
    if (!(step > 0.0) || !std::isfinite(from) || !std::isfinite(to))
        return lines;
    if (from > to)
        std::swap(from, to);
    const double first = std::ceil(from / step - 1e-9);
    const double last = std::floor(to / step + 1e-9);
    if (last - first + 1 > maxLines)
        return lines;
    for (double k = first; k <= last; k += 1.0)
        lines.append(k * step);
    return lines;
}

int MapGrid::storeys(double floorSize, double floorExtend) const
{
    if (floorExtend == 0.0 || !(floorSize > 0.0) || !(m_size.z > 0.0))
        return 1;
    const int n = int(std::ceil(m_size.z / floorSize - 1e-9));
    return std::max(1, std::min(n, Map::kGridMaxStoreys));
}

void MapGrid::setShow(bool show)
{
    if (show == m_show)
        return;
    m_show = show;
    emit showChanged(show);
}

void MapGrid::touch()
{
    m_compiled = false;
    emit changed();
}

void MapGrid::setXAxisColor(const QColor &color)
{
    if (color != m_xAxisColor) {
        m_xAxisColor = color;
        touch();
    }
}

void MapGrid::setYAxisColor(const QColor &color)
{
    if (color != m_yAxisColor) {
        m_yAxisColor = color;
        touch();
    }
}

void MapGrid::setAxisColor(const QColor &color)
{
    if (color != m_axisColor) {
        m_axisColor = color;
        touch();
    }
}

void MapGrid::setStepAxisColor(const QColor &color)
{
    if (color != m_stepAxisColor) {
        m_stepAxisColor = color;
        touch();
    }
}

void MapGrid::setStepSize(int stepSize)
{
    if (stepSize > 0 && stepSize != m_stepSize) {
        m_stepSize = stepSize;
        touch();
    }
}

void MapGrid::setGridres(double gridres)
{
    if (gridres > 0.0 && std::isfinite(gridres) && gridres != m_gridres) {
        m_gridres = gridres;
        touch();
    }
}

void MapGrid::setMirrorX(bool mirror)
{
    if (mirror != m_mirrorX) {
        m_mirrorX = mirror;
        touch();
    }
}

void MapGrid::setMirrorY(bool mirror)
{
    if (mirror != m_mirrorY) {
        m_mirrorY = mirror;
        touch();
    }
}

void MapGrid::readColor(const QJsonObject &obj, const char *name, const char *fallback, QColor *value)
{
    const QString line = MapColors::readColorKey(obj, name, QColor(QLatin1String(fallback)), value, tr("Map grid"));
    if (line.isEmpty())
        return;
    qCWarning(lcMap).noquote() << line;
    emit displayMessage(line);
}

void MapGrid::fromJSON(const QJsonObject &obj)
{
    CubeVolume::fromJSON(obj);
    for (int i = 0; i < 2; ++i) {
        if (!(m_size[i] > 0.0)) {
            const double fallback = i == 0 ? Map::kGridLength : Map::kGridWidth;
            const QString line = tr("Map grid: %1 %2 is not positive, using %3")
                                     .arg(QLatin1String(i == 0 ? "length" : "width"))
                                     .arg(m_size[i])
                                     .arg(fallback);
            qCWarning(lcMap).noquote() << line;
            emit displayMessage(line);
            m_size[i] = fallback;
        }
    }
    readColor(obj, "x-axis-color", Map::kGridXAxisColor, &m_xAxisColor);
    readColor(obj, "y-axis-color", Map::kGridYAxisColor, &m_yAxisColor);
    readColor(obj, "axis-color", Map::kGridAxisColor, &m_axisColor);
    readColor(obj, "step-axis-color", Map::kGridStepAxisColor, &m_stepAxisColor);
    const QString line = Rtls::readIntKey(obj, "step-size", 1, Map::kGridMaxStepSize, &m_stepSize, tr("Map grid"));
    if (!line.isEmpty()) {
        qCWarning(lcMap).noquote() << line;
        emit displayMessage(line);
    }
    touch();
}

QJsonObject MapGrid::toJSON() const
{
    QJsonObject obj = CubeVolume::toJSON();
    obj.insert(key("x-axis-color"), m_xAxisColor.name());
    obj.insert(key("y-axis-color"), m_yAxisColor.name());
    obj.insert(key("axis-color"), m_axisColor.name());
    obj.insert(key("step-axis-color"), m_stepAxisColor.name());
    obj.insert(key("step-size"), m_stepSize);
    return obj;
}

void MapGrid::compile()
{
    if (m_list == 0)
        m_list = glGenLists(1);
    if (m_list == 0)
        return;
    const qglviewer::Vec lo = sceneMin();
    const qglviewer::Vec hi = sceneMax();
    const QVector<double> xs = linePositions(lo.x, hi.x, m_gridres, Map::kGridMaxLines);
    const QVector<double> ys = linePositions(lo.y, hi.y, m_gridres, Map::kGridMaxLines);
    auto isMajor = [this](double v) {
        const long long k = std::llround(v / m_gridres);
        return k % m_stepSize == 0;
    };

    glNewList(m_list, GL_COMPILE);
    glBegin(GL_LINES);
    // Minor lines first, then the stronger ones over them, then the axes.
    for (int pass = 0; pass < 2; ++pass) {
        color(pass == 0 ? m_axisColor : m_stepAxisColor);
        for (double x : xs) {
            if (isMajor(x) == (pass == 1) && x != 0.0) {
                glVertex3d(x, lo.y, 0.0);
                glVertex3d(x, hi.y, 0.0);
            }
        }
        for (double y : ys) {
            if (isMajor(y) == (pass == 1) && y != 0.0) {
                glVertex3d(lo.x, y, 0.0);
                glVertex3d(hi.x, y, 0.0);
            }
        }
    }
    // The X axis runs along x (y = 0), the Y axis along y (x = 0).
    if (lo.y <= 0.0 && hi.y >= 0.0) {
        color(m_xAxisColor);
        glVertex3d(lo.x, 0.0, 0.0);
        glVertex3d(hi.x, 0.0, 0.0);
    }
    if (lo.x <= 0.0 && hi.x >= 0.0) {
        color(m_yAxisColor);
        glVertex3d(0.0, lo.y, 0.0);
        glVertex3d(0.0, hi.y, 0.0);
    }
    glEnd();
    glEndList();
    m_compiled = true;
}

void MapGrid::draw(double floorSize, double floorExtend)
{
    if (!m_show)
        return;
    if (!m_compiled)
        compile();
    if (m_list == 0)
        return;
    glPushAttrib(GL_ENABLE_BIT | GL_LINE_BIT | GL_CURRENT_BIT);
    glDisable(GL_LIGHTING);
    glLineWidth(MapPixelRatio::lineWidth(1.0));
    const double z = m_frame.position().z;
    const int n = storeys(floorSize, floorExtend);
    for (int k = 0; k < n; ++k) {
        glPushMatrix();
        glTranslated(0.0, 0.0, MapGeometry::spread(z + k * floorSize, floorSize, floorExtend));
        glCallList(m_list);
        glPopMatrix();
    }
    glPopAttrib();
}

void MapGrid::releaseGL()
{
    if (m_list != 0)
        glDeleteLists(m_list, 1);
    m_list = 0;
    m_compiled = false;
}
