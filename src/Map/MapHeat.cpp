#include "MapHeat.h"

#include "MapColors.h"
#include "MapConstants.h"
#include "MapFrameContext.h"
#include "MapGeometry.h"
#include "MapGlErrors.h"
#include "MapLog.h"
#include "PredictedDop.h"
#include "RtlsConvert.h"
#include "RtlsMeas.h"
#include "RtlsModelConstants.h"
#include "RtlsObject.h"
#include "RtlsPos.h"

#include <QGLViewer/camera.h>

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const char *const kGlSource = "src/Map/MapHeat";

using Rtls::key;

struct Range
{
    int min;
    int max;
};

Range naturalRange(int mode)
{
    switch (mode) {
    case MapHeat::Rssi:
        return {Map::kHeatRssiMin, Map::kHeatRssiMax};
    case MapHeat::Hdop:
        return {Map::kHeatHdopMin, Map::kHeatHdopMax};
    default:
        return {Map::kHeatPqfMin, Map::kHeatPqfMax};
    }
}

} // namespace

MapHeat::MapHeat(QObject *parent)
    : CubeVolume(parent), m_gridres(Map::kHeatResolution), m_min(Map::kHeatPqfMin), m_max(Map::kHeatPqfMax)
{
    m_frame.setPosition(Map::kHeatX, Map::kHeatY, 0.0);
    m_size = qglviewer::Vec(Map::kHeatLength, Map::kHeatWidth, Map::kHeatHeight);
    layout();
    connect(this, &CubeVolume::newSize, this, &MapHeat::layout);
    connect(this, &AbstractObject::newFrame, this, &MapHeat::layout);
}

void MapHeat::layout()
{
    const double length = std::fabs(m_size.x);
    const double width = std::fabs(m_size.y);
    double cell = m_gridres;
    const double longest = std::max(length, width);
    if (longest / cell > Map::kHeatMaxCellsPerSide)
        cell = longest / Map::kHeatMaxCellsPerSide;
    m_cellSize = cell;
    m_columns = std::max(1, int(std::ceil(length / cell - 1e-9)));
    m_rows = std::max(1, int(std::ceil(width / cell - 1e-9)));
    const size_t n = size_t(m_columns) * size_t(m_rows);
    // Samples belong to the cells they fell in; a new layout starts afresh.
    m_pqf.assign(n, Cell());
    m_rssi.assign(n, Cell());
    m_changedCells.clear();
    m_cellChanged.assign(n, false);
    touch();
}

void MapHeat::touch()
{
    m_resultsDirty = true;
    emit changed();
}

void MapHeat::report(const QString &line)
{
    qCWarning(lcMap).noquote() << line;
    emit displayMessage(line);
}

int MapHeat::cellAt(double x, double y) const
{
    const qglviewer::Vec lo = minCorner();
    const double cx = (x - lo.x) / m_cellSize;
    const double cy = (y - lo.y) / m_cellSize;
    if (!(cx >= 0.0 && cy >= 0.0 && x <= lo.x + std::fabs(m_size.x) && y <= lo.y + std::fabs(m_size.y)))
        return -1;
    const int column = std::min(m_columns - 1, int(cx));
    const int row = std::min(m_rows - 1, int(cy));
    return row * m_columns + column;
}

void MapHeat::accumulate(std::vector<Cell> &store, double x, double y, double v)
{
    const int cell = cellAt(x, y);
    if (cell < 0 || !std::isfinite(v))
        return;
    store[size_t(cell)].sum += v;
    ++store[size_t(cell)].count;
    if (m_mode != Hdop && &store == &(m_mode == Rssi ? m_rssi : m_pqf))
        cellChanged(cell);
}

void MapHeat::cellChanged(int cell)
{
    if (m_resultsDirty || m_cellChanged[size_t(cell)])
        return;
    m_cellChanged[size_t(cell)] = true;
    m_changedCells.push_back(cell);
    // While the map is hidden changes pile up; past a quarter of the cells
    // one pass over all of them is the cheaper way.
    if (m_changedCells.size() > m_cellChanged.size() / 4)
        m_resultsDirty = true;
}

void MapHeat::nodeUpdated(RtlsObject *node)
{
    // A node made by one location report counts once it is heard again: a
    // flood of random ids leaves the heat map as it was.
    if (!node || (node->msgFlags() & Rtls::kMsgHeardOnce))
        return;
    const QString mode = node->mode();
    const bool anchor = Rtls::isAnchorOrMaster(mode);
    // A node set to another mode no longer ranges as an anchor.
    if (!anchor)
        forgetNode(node->id());
    if (!node->hasPos())
        return;
    const RtlsPos *pos = node->pos();
    if (anchor) {
        const qglviewer::Vec p(pos->x(), pos->y(), pos->z());
        auto it = m_anchors.find(node->id());
        if (it == m_anchors.end() || *it != p) {
            m_anchors.insert(node->id(), p);
            if (m_mode == Hdop)
                m_resultsDirty = true;
        }
        return;
    }
    if (mode != QLatin1String("tag"))
        return;
    accumulate(m_pqf, pos->x(), pos->y(), pos->pqf());
    if (node->id() == m_selected && node->hasMeas()) {
        const RtlsMeas *meas = node->meas();
        const int count = meas->currentCount();
        if (count == 0)
            return;
        double sum = 0;
        for (int i = 0; i < count; ++i)
            sum += meas->currentEntry(i).rssi;
        accumulate(m_rssi, pos->x(), pos->y(), sum / count);
    }
}

void MapHeat::forgetNode(uint64_t id)
{
    if (m_anchors.remove(id) > 0 && m_mode == Hdop)
        touch();
}

void MapHeat::selectNode(uint64_t id)
{
    if (id == m_selected)
        return;
    m_selected = id;
    // The signal strength map is of one node; another node starts a new one.
    m_rssi.assign(m_rssi.size(), Cell());
    touch();
}

void MapHeat::resetDataStore()
{
    m_pqf.assign(m_pqf.size(), Cell());
    m_rssi.assign(m_rssi.size(), Cell());
    touch();
}

double MapHeat::value(int cell) const
{
    return valueWith(cell, anchorPositions());
}

QVector<qglviewer::Vec> MapHeat::anchorPositions() const
{
    QVector<qglviewer::Vec> anchors;
    anchors.reserve(m_anchors.size());
    for (const qglviewer::Vec &a : m_anchors)
        anchors.append(a);
    return anchors;
}

double MapHeat::valueWith(int cell, const QVector<qglviewer::Vec> &anchors) const
{
    if (cell < 0 || cell >= m_columns * m_rows)
        return std::numeric_limits<double>::quiet_NaN();
    if (m_mode == Hdop) {
        const qglviewer::Vec lo = minCorner();
        const int column = cell % m_columns;
        const int row = cell / m_columns;
        const qglviewer::Vec centre(lo.x + (column + 0.5) * m_cellSize, lo.y + (row + 0.5) * m_cellSize, lo.z);
        return PredictedDop::hdop(centre, anchors);
    }
    const std::vector<Cell> &store = m_mode == Rssi ? m_rssi : m_pqf;
    const Cell &c = store[size_t(cell)];
    return c.count > 0 ? c.sum / c.count : std::numeric_limits<double>::quiet_NaN();
}

int MapHeat::samples(int cell) const
{
    if (cell < 0 || cell >= m_columns * m_rows)
        return 0;
    return (m_mode == Rssi ? m_rssi : m_pqf)[size_t(cell)].count;
}

double MapHeat::scalePosition(double v) const
{
    double f;
    if (m_max == m_min)
        f = v >= m_max ? 1.0 : 0.0;
    else
        f = (v - m_min) / double(m_max - m_min);
    if (std::isinf(v))
        f = v > 0 ? 1.0 : 0.0;
    // A low dilution of precision is the good end.
    if (m_mode == Hdop)
        f = 1.0 - f;
    return std::min(1.0, std::max(0.0, f));
}

void MapHeat::refreshResults()
{
    const size_t n = size_t(m_columns) * size_t(m_rows);
    m_slotOfCell.assign(n, -1);
    m_slotCells.clear();
    m_slotValues.clear();
    m_texels.assign(n * 4, 0);
    m_uploadAll = true;
    m_texts.clear();
    m_textStale.clear();
    for (int cell : m_changedCells)
        m_cellChanged[size_t(cell)] = false;
    m_changedCells.clear();
    const QVector<qglviewer::Vec> anchors = anchorPositions();
    for (int cell = 0; cell < int(n); ++cell) {
        const double v = valueWith(cell, anchors);
        if (!std::isnan(v))
            showCell(cell, v);
    }
    m_labelOrder.resize(m_slotCells.size());
    for (size_t slot = 0; slot < m_labelOrder.size(); ++slot)
        m_labelOrder[slot] = int(slot);
    m_newSlots.clear();
    m_resultsDirty = false;
}

void MapHeat::updateResults()
{
    if (m_resultsDirty) {
        refreshResults();
        return;
    }
    // Only the mean of a sampled store changes here: the predicted map
    // changes as a whole, with the anchors.
    const std::vector<Cell> &store = m_mode == Rssi ? m_rssi : m_pqf;
    for (int cell : m_changedCells) {
        const Cell &c = store[size_t(cell)];
        const double v = c.sum / c.count;
        // A sum that is no number any more leaves the cell empty, and only
        // a rebuild takes a cell out.
        if (std::isnan(v)) {
            refreshResults();
            return;
        }
        m_cellChanged[size_t(cell)] = false;
        showCell(cell, v);
    }
    m_changedCells.clear();
}

void MapHeat::showCell(int cell, double v)
{
    int slot = m_slotOfCell[size_t(cell)];
    if (slot < 0) {
        slot = int(m_slotCells.size());
        m_slotOfCell[size_t(cell)] = slot;
        m_slotCells.push_back(cell);
        m_slotValues.push_back(v);
        m_texts.emplace_back();
        m_textStale.push_back(true);
        m_newSlots.push_back(slot);
    } else {
        if (m_slotValues[size_t(slot)] == v)
            return;
        m_slotValues[size_t(slot)] = v;
        m_textStale[size_t(slot)] = true;
    }
    // As the GL turns a colour into bytes.
    const QColor c = MapColors::qualityColor(scalePosition(v));
    uint8_t *texel = m_texels.data() + size_t(cell) * 4;
    texel[0] = uint8_t(std::lround(c.redF() * 255.0));
    texel[1] = uint8_t(std::lround(c.greenF() * 255.0));
    texel[2] = uint8_t(std::lround(c.blueF() * 255.0));
    texel[3] = uint8_t(std::lround(Map::kHeatAlpha * 255.0));
    if (!m_uploadAll) {
        const int row = cell / m_columns;
        m_firstDirtyRow = m_lastDirtyRow < 0 ? row : std::min(m_firstDirtyRow, row);
        m_lastDirtyRow = std::max(m_lastDirtyRow, row);
    }
}

QString MapHeat::text(double v) const
{
    if (std::isinf(v))
        return QStringLiteral("-");
    const int decimals = m_mode == Pqf ? 0 : (m_mode == Rssi ? 1 : 2);
    return QString::number(v, 'f', decimals);
}

QVector<MapHeat::ShownCell> MapHeat::shownCells() const
{
    QVector<ShownCell> cells;
    cells.reserve(int(m_slotCells.size()));
    for (size_t slot = 0; slot < m_slotCells.size(); ++slot) {
        ShownCell shown;
        shown.cell = m_slotCells[slot];
        shown.value = m_slotValues[slot];
        std::copy_n(m_texels.begin() + std::ptrdiff_t(size_t(shown.cell) * 4), 4, shown.rgba);
        cells.append(shown);
    }
    std::sort(cells.begin(), cells.end(), [](const ShownCell &a, const ShownCell &b) { return a.cell < b.cell; });
    return cells;
}

void MapHeat::addLabels(const MapFrameContext &frame, double z)
{
    if (!m_showValues || !frame.labels || !frame.camera)
        return;
    if (!m_newSlots.empty()) {
        // New slots are of cells that had none; each goes in its place.
        const auto byCell = [this](int a, int b) { return m_slotCells[size_t(a)] < m_slotCells[size_t(b)]; };
        std::sort(m_newSlots.begin(), m_newSlots.end(), byCell);
        m_labelMerge.resize(m_labelOrder.size() + m_newSlots.size());
        std::merge(m_labelOrder.begin(), m_labelOrder.end(), m_newSlots.begin(), m_newSlots.end(),
                   m_labelMerge.begin(), byCell);
        m_labelOrder.swap(m_labelMerge);
        m_newSlots.clear();
    }
    const qglviewer::Vec lo = minCorner();
    const qglviewer::Camera *camera = frame.camera;
    const qglviewer::Vec eye = camera->position();
    for (int slot : m_labelOrder) {
        const int cell = m_slotCells[size_t(slot)];
        const qglviewer::Vec centre(lo.x + (cell % m_columns + 0.5) * m_cellSize,
                                    lo.y + (cell / m_columns + 0.5) * m_cellSize, z);
        const int size = MapGeometry::labelPointSize((centre - eye).norm());
        if (size <= 0)
            continue;
        const qglviewer::Vec s = camera->projectedCoordinatesOf(centre);
        if (!(s.z > 0.0 && s.z < 1.0 && s.x >= 0 && s.y >= 0 && s.x < camera->screenWidth()
              && s.y < camera->screenHeight()))
            continue;
        if (m_textStale[size_t(slot)]) {
            m_texts[size_t(slot)] = text(m_slotValues[size_t(slot)]);
            m_textStale[size_t(slot)] = false;
        }
        frame.labels->push_back({float(s.x), float(s.y), size, &m_texts[size_t(slot)]});
    }
}

void MapHeat::draw(const MapFrameContext &frame)
{
    if (!m_show)
        return;
    updateResults();
    if (m_slotCells.empty())
        return;
    const qglviewer::Vec lo = minCorner();
    const double z = MapGeometry::spread(lo.z, frame.floorSize, frame.floorExtend);
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_CURRENT_BIT | GL_TEXTURE_BIT);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    // One texture over the box, a texel a cell, instead of a quad a cell:
    // the GL sets up four vertices whatever the number of cells. Nearest
    // texels give each pixel the colour of the cell under its centre, as
    // the cells' own quads would.
    if (m_texture == 0) {
        GLuint name = 0;
        glGenTextures(1, &name);
        m_texture = name;
        m_uploadAll = true;
    }
    glBindTexture(GL_TEXTURE_2D, m_texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    if (m_uploadAll) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, m_columns, m_rows, 0, GL_RGBA, GL_UNSIGNED_BYTE, m_texels.data());
        MapGlErrors::report(kGlSource, __LINE__);
    } else if (m_lastDirtyRow >= 0) {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, m_firstDirtyRow, m_columns, m_lastDirtyRow - m_firstDirtyRow + 1, GL_RGBA,
                        GL_UNSIGNED_BYTE, m_texels.data() + size_t(m_firstDirtyRow) * size_t(m_columns) * 4);
    }
    m_uploadAll = false;
    m_lastDirtyRow = -1;
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthMask(GL_FALSE);
    // Every cell is a whole cell: the last column and row may reach past
    // the box.
    const double x1 = lo.x + m_columns * m_cellSize;
    const double y1 = lo.y + m_rows * m_cellSize;
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3d(lo.x, lo.y, z);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3d(x1, lo.y, z);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3d(x1, y1, z);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3d(lo.x, y1, z);
    glEnd();
    glPopClientAttrib();
    glPopAttrib();
    addLabels(frame, z);
}

void MapHeat::setShow(bool show)
{
    if (show == m_show)
        return;
    m_show = show;
    emit showChanged(show);
}

void MapHeat::setShowValues(bool show)
{
    // Texts are made as cells are labelled: nothing to rebuild.
    if (show != m_showValues) {
        m_showValues = show;
        emit changed();
    }
}

void MapHeat::setGridres(double gridres)
{
    if (gridres > 0.0 && std::isfinite(gridres) && gridres != m_gridres) {
        m_gridres = gridres;
        layout();
    }
}

void MapHeat::setMin(int min)
{
    if (min != m_min) {
        m_min = min;
        touch();
    }
}

void MapHeat::setMax(int max)
{
    if (max != m_max) {
        m_max = max;
        touch();
    }
}

void MapHeat::setMode(int mode)
{
    if (mode == m_mode || mode < Pqf || mode > Hdop)
        return;
    // A scale the user has not touched follows the new mode's units.
    const Range old = naturalRange(m_mode);
    if (m_min == old.min && m_max == old.max) {
        const Range range = naturalRange(mode);
        m_min = range.min;
        m_max = range.max;
    }
    m_mode = mode;
    touch();
}

void MapHeat::fromJSON(const QJsonObject &obj)
{
    CubeVolume::fromJSON(obj);
    for (int i = 0; i < 2; ++i) {
        if (m_size[i] == 0.0 || !std::isfinite(m_size[i])) {
            const double fallback = i == 0 ? Map::kHeatLength : Map::kHeatWidth;
            report(tr("Heat map: %1 %2 is not usable, using %3")
                       .arg(QLatin1String(i == 0 ? "length" : "width"))
                       .arg(m_size[i])
                       .arg(fallback));
            m_size[i] = fallback;
        }
    }
    const QJsonValue show = obj.value(key("show"));
    if (show.isBool())
        setShow(show.toBool());
    const QJsonValue showValues = obj.value(key("showvalues"));
    if (showValues.isBool())
        m_showValues = showValues.toBool();
    const QJsonValue gridres = obj.value(key("gridres"));
    if (gridres.isDouble()) {
        if (gridres.toDouble() > 0.0) {
            m_gridres = gridres.toDouble();
        } else {
            report(tr("Heat map: cell size %1 is not positive, using %2")
                       .arg(gridres.toDouble())
                       .arg(Map::kHeatResolution));
            m_gridres = Map::kHeatResolution;
        }
    }
    const QString owner = tr("Heat map");
    const struct
    {
        const char *name;
        int min;
        int max;
        int *value;
    } integers[] = {
        {"mode", Pqf, Hdop, &m_mode},
        {"min", -Map::kHeatScaleLimit, Map::kHeatScaleLimit, &m_min},
        {"max", -Map::kHeatScaleLimit, Map::kHeatScaleLimit, &m_max},
    };
    for (const auto &integer : integers) {
        const QString line = Rtls::readIntKey(obj, integer.name, integer.min, integer.max, integer.value, owner);
        if (!line.isEmpty())
            report(line);
    }
    layout();
}

QJsonObject MapHeat::toJSON() const
{
    QJsonObject obj = CubeVolume::toJSON();
    obj.insert(key("show"), m_show);
    obj.insert(key("showvalues"), m_showValues);
    obj.insert(key("gridres"), m_gridres);
    obj.insert(key("mode"), m_mode);
    obj.insert(key("min"), m_min);
    obj.insert(key("max"), m_max);
    return obj;
}
