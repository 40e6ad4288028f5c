#include "RtlsIMU.h"

#include "RtlsModelConstants.h"
#include "TlvReader.h"

RtlsIMU::RtlsIMU(QObject *parent) : QObject(parent) {}

int RtlsIMU::updateFromTlv(const char *data, int size)
{
    return TlvReader::forEach(data, size, [this](const TlvReader &reader) {
        float f = 0.0f;
        switch (reader.type()) {
        case Rtls::kTlvImuAm: {
            int8_t am = 0;
            if (reader.readInt8(am))
                m_am = am;
            break;
        }
        case Rtls::kTlvImuVBat:
            if (reader.readFloat(f))
                m_vbat = f;
            break;
        case Rtls::kTlvImuQ0:
            if (reader.readFloat(f))
                m_q0 = f;
            break;
        case Rtls::kTlvImuQ1:
            if (reader.readFloat(f))
                m_q1 = f;
            break;
        case Rtls::kTlvImuQ2:
            if (reader.readFloat(f))
                m_q2 = f;
            break;
        case Rtls::kTlvImuQ3:
            if (reader.readFloat(f))
                m_q3 = f;
            break;
        case Rtls::kTlvImuTemperature:
            if (reader.readFloat(f))
                m_temperature = f;
            break;
        default:
            break;
        }
    });
}

void RtlsIMU::setQuat(float q0, float q1, float q2, float q3)
{
    m_q0 = q0;
    m_q1 = q1;
    m_q2 = q2;
    m_q3 = q3;
}

void RtlsIMU::setQ0(float q0) { m_q0 = q0; }
void RtlsIMU::setQ1(float q1) { m_q1 = q1; }
void RtlsIMU::setQ2(float q2) { m_q2 = q2; }
void RtlsIMU::setQ3(float q3) { m_q3 = q3; }
void RtlsIMU::setAM(float am) { m_am = am; }
void RtlsIMU::setPressure(uint32_t pressure) { m_pressure = pressure; }
void RtlsIMU::setTemperature(float temperature) { m_temperature = temperature; }
void RtlsIMU::setIO(uint8_t io) { m_io = io; }
void RtlsIMU::setVBat(float vbat) { m_vbat = vbat; }
