#pragma once

#include "RtlsModelConstants.h"

#include <QJsonObject>
#include <QObject>

#include <cstdint>

class RtlsQtJsonView;
class RtlsSimdJsonView;

// A node's position in metres, smoothed by exponential averaging whose depth
// follows the node's io bits, with flags that tell which coordinates are known.
class RtlsPos : public QObject
{
    Q_OBJECT
    Q_PROPERTY(float x READ x WRITE setX)
    Q_PROPERTY(float y READ y WRITE setY)
    Q_PROPERTY(float z READ z WRITE setZ)
    Q_PROPERTY(float heading READ heading WRITE setHeading)
    Q_PROPERTY(uint8_t pqf READ pqf WRITE setPQF)
    Q_PROPERTY(uint32_t flags READ flags WRITE setFlags)

public:
    explicit RtlsPos(QObject *parent = nullptr);

    virtual float x() const;
    virtual float y() const;
    virtual float z() const;
    virtual float heading() const;
    virtual uint8_t pqf() const;
    virtual uint32_t flags() const;
    uint8_t avg() const { return m_avg; }
    // What the last report (or setter) gave, before the averaging: the
    // location engine's own figures, for tools that judge them.
    float reportedX() const { return m_reported[0]; }
    float reportedY() const { return m_reported[1]; }
    float reportedZ() const { return m_reported[2]; }

    // Averages "x", "y", "z" into the position and takes "heading" and
    // "pqf"; returns 0x200 plus the bit of every coordinate set.
    virtual uint32_t updateFromJson(const QJsonObject &obj);
    // The same, for a value of either JSON parser.
    uint32_t applyJson(const RtlsQtJsonView &obj);
    uint32_t applyJson(const RtlsSimdJsonView &obj);
    // "x"/"y"/"z" selected by mask (0: by this position's flags), each
    // rounded half away from zero to 3 decimals.
    virtual QJsonObject toJson(uint32_t mask) const;

    // Euclidean distance in metres.
    double distance(const RtlsPos &other) const;

    // Decodes a run of position elements (0x50..0x54). Returns the number of
    // elements read, or -1 for an empty or truncated run.
    int updateFromTlv(const char *data, int size);

public slots:
    virtual void setPos(float x, float y, float z);
    virtual void setX(float x);
    virtual void setY(float y);
    virtual void setZ(float z);
    virtual void setHeading(float heading);
    virtual void setPQF(uint8_t pqf);
    virtual void setFlags(uint32_t flags);
    virtual void incrAvg();
    virtual void decrAvg();

private:
    float averaged(float old, double sample) const;
    template<typename View>
    uint32_t applyJsonView(const View &obj);

    float m_x = 0.0f;
    float m_y = 0.0f;
    float m_z = 0.0f;
    float m_heading = 0.0f;
    uint8_t m_pqf = Rtls::kInitialPqf;
    uint8_t m_avg = 0;
    uint32_t m_flags = Rtls::kPosResult;
    float m_reported[3] = {0.0f, 0.0f, 0.0f};
};
