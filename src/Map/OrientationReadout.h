#pragma once

#include <QGLViewer/quaternion.h>
#include <QString>
#include <QStringList>

#include <cstdint>

// What the orientation view shows for the selected node, without GL: the
// rotation to draw, the roll, pitch and yaw it amounts to, and the text
// lines. The IMU quaternion comes as q0 (scalar), q1, q2, q3 (x, y, z); a
// zero or non-finite quaternion means the node sent no orientation, and the
// body is drawn unturned with a note saying so.
class OrientationReadout
{
public:
    void clearSelection();
    // A node is selected; label is what names it ("0x2001" or "0x2001 Forklift").
    void select(uint64_t id, const QString &label);
    void setQuaternion(float q0, float q1, float q2, float q3);

    bool hasSelection() const { return m_selected; }
    uint64_t id() const { return m_id; }
    bool hasData() const { return m_hasData; }

    // Unit quaternion to draw; identity without data.
    const qglviewer::Quaternion &rotation() const { return m_rotation; }
    // Aerospace angles (yaw about Z, then pitch about Y, then roll about X),
    // degrees: roll and yaw in (-180, 180], pitch in [-90, 90].
    double roll() const { return m_roll; }
    double pitch() const { return m_pitch; }
    double yaw() const { return m_yaw; }

    // "No selection"; or the label and either the angles or "no orientation data".
    QStringList lines(int decimals = 1) const;

    static QString label(uint64_t id, const QString &name);

private:
    bool m_selected = false;
    uint64_t m_id = 0;
    QString m_label;
    bool m_hasData = false;
    qglviewer::Quaternion m_rotation;
    double m_roll = 0.0;
    double m_pitch = 0.0;
    double m_yaw = 0.0;
};
