#pragma once

#include <QObject>

#include <cstdint>

// A node's sensor values: orientation quaternion, acceleration magnitude,
// pressure, temperature, io bits and battery voltage.
class RtlsIMU : public QObject
{
    Q_OBJECT
    Q_PROPERTY(float q0 READ q0 WRITE setQ0)
    Q_PROPERTY(float q1 READ q1 WRITE setQ1)
    Q_PROPERTY(float q2 READ q2 WRITE setQ2)
    Q_PROPERTY(float q3 READ q3 WRITE setQ3)
    Q_PROPERTY(float am READ am WRITE setAM)
    Q_PROPERTY(uint32_t pressure READ pressure WRITE setPressure)
    Q_PROPERTY(float temperature READ temperature WRITE setTemperature)
    Q_PROPERTY(uint8_t io READ io WRITE setIO)
    Q_PROPERTY(float vbat READ vbat WRITE setVBat)

public:
    explicit RtlsIMU(QObject *parent = nullptr);

    float q0() const { return m_q0; }
    float q1() const { return m_q1; }
    float q2() const { return m_q2; }
    float q3() const { return m_q3; }
    float am() const { return m_am; }
    uint32_t pressure() const { return m_pressure; }
    float temperature() const { return m_temperature; }
    uint8_t io() const { return m_io; }
    float vbat() const { return m_vbat; }

    // Decodes a run of IMU elements (0x3C, 0x3F..0x44). Returns the number of
    // elements read, or -1 for a truncated run.
    int updateFromTlv(const char *data, int size);

public slots:
    virtual void setQuat(float q0, float q1, float q2, float q3);
    virtual void setQ0(float q0);
    virtual void setQ1(float q1);
    virtual void setQ2(float q2);
    virtual void setQ3(float q3);
    virtual void setAM(float am);
    virtual void setPressure(uint32_t pressure);
    virtual void setTemperature(float temperature);
    virtual void setIO(uint8_t io);
    virtual void setVBat(float vbat);

private:
    float m_q0 = 0.0f;
    float m_q1 = 0.0f;
    float m_q2 = 0.0f;
    float m_q3 = 0.0f;
    float m_am = 0.0f;
    uint32_t m_pressure = 0;
    float m_temperature = 0.0f;
    uint8_t m_io = 0;
    float m_vbat = 0.0f;
};
