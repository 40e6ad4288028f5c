#pragma once

#include "MapMetaTypes.h"

#include <QJsonObject>
#include <QObject>

// Anything placed in the map: a position and an orientation held in a
// libQGLViewer frame, written to and read from a JSON object.
class AbstractObject : public QObject
{
    Q_OBJECT
    Q_PROPERTY(qglviewer::Frame frame READ frame WRITE setFrame NOTIFY newFrame)
    Q_PROPERTY(double x READ x WRITE setX NOTIFY xChanged)
    Q_PROPERTY(double y READ y WRITE setY NOTIFY yChanged)
    Q_PROPERTY(double z READ z WRITE setZ NOTIFY zChanged)

public:
    explicit AbstractObject(QObject *parent = nullptr);

    const qglviewer::Frame &frame() const { return m_frame; }
    double x() const { return m_frame.position().x; }
    double y() const { return m_frame.position().y; }
    double z() const { return m_frame.position().z; }

    // Reads "x", "y", "z" and the orientation "orientQ0".."orientQ3"
    // (quaternion x, y, z, w); absent keys and keys that are not numbers keep
    // the current value. No signals.
    virtual void fromJSON(const QJsonObject &obj);
    // Writes the coordinates that are not 0, and the orientation when it is
    // not the identity.
    virtual QJsonObject toJSON() const;

    // A unit quaternion from four file values: a zero or non-finite one is
    // the identity.
    static qglviewer::Quaternion normalised(double q0, double q1, double q2, double q3);

signals:
    void newFrame(const qglviewer::Frame &frame);
    void xChanged(double x);
    void yChanged(double y);
    void zChanged(double z);

public slots:
    void setFrame(const qglviewer::Frame &frame);
    void setX(double x);
    void setY(double y);
    void setZ(double z);

protected:
    // Moves the frame; newFrame goes out only when someone listens, because
    // nodes are moved for every location report.
    void moveTo(double x, double y, double z);
    void setOrientation(const qglviewer::Quaternion &q);
    void announceFrame();

    qglviewer::Frame m_frame;
};
