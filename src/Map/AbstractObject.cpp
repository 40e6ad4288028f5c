#include "AbstractObject.h"

#include <QMetaMethod>

#include <cmath>

namespace {

const char *const kPosKeys[3] = {"x", "y", "z"};
const char *const kOrientKeys[4] = {"orientQ0", "orientQ1", "orientQ2", "orientQ3"};

bool isIdentity(const qglviewer::Quaternion &q)
{
    return q[0] == 0.0 && q[1] == 0.0 && q[2] == 0.0 && q[3] == 1.0;
}

} // namespace

AbstractObject::AbstractObject(QObject *parent) : QObject(parent) {}

qglviewer::Quaternion AbstractObject::normalised(double q0, double q1, double q2, double q3)
{
    const double n = std::sqrt(q0 * q0 + q1 * q1 + q2 * q2 + q3 * q3);
    if (!std::isfinite(n) || n == 0.0)
        return qglviewer::Quaternion();
    qglviewer::Quaternion q;
    q.setValue(q0 / n, q1 / n, q2 / n, q3 / n);
    return q;
}

void AbstractObject::fromJSON(const QJsonObject &obj)
{
    qglviewer::Vec p = m_frame.position();
    for (int i = 0; i < 3; ++i) {
        const QJsonValue v = obj.value(QLatin1String(kPosKeys[i]));
        if (v.isDouble())
            p[i] = v.toDouble();
    }
    const qglviewer::Quaternion current = m_frame.orientation();
    double q[4] = {current[0], current[1], current[2], current[3]};
    bool orientationGiven = false;
    for (int i = 0; i < 4; ++i) {
        const QJsonValue v = obj.value(QLatin1String(kOrientKeys[i]));
        if (v.isDouble()) {
            q[i] = v.toDouble();
            orientationGiven = true;
        }
    }
    m_frame.setPosition(p);
    if (orientationGiven)
        m_frame.setOrientation(normalised(q[0], q[1], q[2], q[3]));
}

QJsonObject AbstractObject::toJSON() const
{
    QJsonObject obj;
    const qglviewer::Vec p = m_frame.position();
    for (int i = 0; i < 3; ++i) {
        if (p[i] != 0.0)
            obj.insert(QLatin1String(kPosKeys[i]), p[i]);
    }
    const qglviewer::Quaternion q = m_frame.orientation();
    if (!isIdentity(q)) {
        for (int i = 0; i < 4; ++i)
            obj.insert(QLatin1String(kOrientKeys[i]), q[i]);
    }
    return obj;
}

void AbstractObject::setFrame(const qglviewer::Frame &frame)
{
    m_frame = frame;
    emit newFrame(m_frame);
}

void AbstractObject::setX(double x)
{
    if (x == this->x())
        return;
    qglviewer::Vec p = m_frame.position();
    p.x = x;
    m_frame.setPosition(p);
    emit xChanged(x);
    emit newFrame(m_frame);
}

void AbstractObject::setY(double y)
{
    if (y == this->y())
        return;
    qglviewer::Vec p = m_frame.position();
    p.y = y;
    m_frame.setPosition(p);
    emit yChanged(y);
    emit newFrame(m_frame);
}

void AbstractObject::setZ(double z)
{
    if (z == this->z())
        return;
    qglviewer::Vec p = m_frame.position();
    p.z = z;
    m_frame.setPosition(p);
    emit zChanged(z);
    emit newFrame(m_frame);
}

void AbstractObject::moveTo(double x, double y, double z)
{
    m_frame.setPosition(x, y, z);
    announceFrame();
}

void AbstractObject::setOrientation(const qglviewer::Quaternion &q)
{
    m_frame.setOrientation(q);
    announceFrame();
}

void AbstractObject::announceFrame()
{
    static const QMetaMethod signal = QMetaMethod::fromSignal(&AbstractObject::newFrame);
    if (isSignalConnected(signal))
        emit newFrame(m_frame);
}
