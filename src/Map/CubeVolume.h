#pragma once

#include "AbstractVolume.h"

// A box along the world axes from the frame position p to
// p + (length, width, height); a negative size extends it to the other side
// of p. The base of the grid, the heat map and the zones.
class CubeVolume : public AbstractVolume
{
    Q_OBJECT
    Q_PROPERTY(qglviewer::Vec size READ size WRITE setSize NOTIFY newSize)
    Q_PROPERTY(double length READ length WRITE setLength NOTIFY lengthChanged)
    Q_PROPERTY(double width READ width WRITE setWidth NOTIFY widthChanged)
    Q_PROPERTY(double height READ height WRITE setHeight NOTIFY heightChanged)

public:
    explicit CubeVolume(QObject *parent = nullptr);

    qglviewer::Vec size() const { return m_size; }
    double length() const { return m_size.x; }
    double width() const { return m_size.y; }
    double height() const { return m_size.z; }

    // The box's lower and upper corners, whatever the signs of the sizes.
    qglviewer::Vec minCorner() const;
    qglviewer::Vec maxCorner() const;

    // The frame keys, then "length", "width", "height" when they are numbers
    // (stored without signals).
    void fromJSON(const QJsonObject &obj) override;
    QJsonObject toJSON() const override;
    // Between the two faces on every axis, both faces included.
    bool isInside(const qglviewer::Vec &p) const override;
    // The same box grown by margin on every side.
    bool isInsideWithMargin(const qglviewer::Vec &p, double margin) const;

signals:
    void newSize(const qglviewer::Vec &size);
    void lengthChanged(double length);
    void widthChanged(double width);
    void heightChanged(double height);

public slots:
    virtual void setSize(const qglviewer::Vec &size);
    virtual void setLength(double length);
    virtual void setWidth(double width);
    virtual void setHeight(double height);

protected:
    qglviewer::Vec m_size;
};
