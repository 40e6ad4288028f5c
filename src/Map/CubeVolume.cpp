#include "CubeVolume.h"

#include "MapConstants.h"

#include <algorithm>

namespace {

const char *const kSizeKeys[3] = {"length", "width", "height"};

} // namespace

CubeVolume::CubeVolume(QObject *parent)
    : AbstractVolume(parent), m_size(Map::kDefaultBoxSize, Map::kDefaultBoxSize, Map::kDefaultBoxSize)
{
}

qglviewer::Vec CubeVolume::minCorner() const
{
    const qglviewer::Vec p = m_frame.position();
    const qglviewer::Vec q = p + m_size;
    return qglviewer::Vec(std::min(p.x, q.x), std::min(p.y, q.y), std::min(p.z, q.z));
}

qglviewer::Vec CubeVolume::maxCorner() const
{
    const qglviewer::Vec p = m_frame.position();
    const qglviewer::Vec q = p + m_size;
    return qglviewer::Vec(std::max(p.x, q.x), std::max(p.y, q.y), std::max(p.z, q.z));
}

void CubeVolume::fromJSON(const QJsonObject &obj)
{
    AbstractVolume::fromJSON(obj);
    for (int i = 0; i < 3; ++i) {
        const QJsonValue v = obj.value(QLatin1String(kSizeKeys[i]));
        if (v.isDouble())
            m_size[i] = v.toDouble();
    }
}

QJsonObject CubeVolume::toJSON() const
{
    QJsonObject obj = AbstractVolume::toJSON();
    for (int i = 0; i < 3; ++i)
        obj.insert(QLatin1String(kSizeKeys[i]), m_size[i]);
    return obj;
}

bool CubeVolume::isInside(const qglviewer::Vec &p) const
{
    return isInsideWithMargin(p, 0.0);
}

bool CubeVolume::isInsideWithMargin(const qglviewer::Vec &p, double margin) const
{
    const qglviewer::Vec lo = minCorner();
    const qglviewer::Vec hi = maxCorner();
    for (int i = 0; i < 3; ++i) {
        // Written so that a NaN coordinate is outside.
        if (!(p[i] >= lo[i] - margin && p[i] <= hi[i] + margin))
            return false;
    }
    return true;
}

void CubeVolume::setSize(const qglviewer::Vec &size)
{
    if ((size - m_size).squaredNorm() < Map::kSizeChangeEpsilon2)
        return;
    m_size = size;
    emit newSize(m_size);
}

void CubeVolume::setLength(double length)
{
    if (length == m_size.x)
        return;
    m_size.x = length;
    emit lengthChanged(length);
    emit newSize(m_size);
}

void CubeVolume::setWidth(double width)
{
    if (width == m_size.y)
        return;
    m_size.y = width;
    emit widthChanged(width);
    emit newSize(m_size);
}

void CubeVolume::setHeight(double height)
{
    if (height == m_size.z)
        return;
    m_size.z = height;
    emit heightChanged(height);
    emit newSize(m_size);
}
