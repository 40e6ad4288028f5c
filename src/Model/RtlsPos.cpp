#include "RtlsPos.h"

#include "RtlsConvert.h"
#include "RtlsQtJsonView.h"
#include "RtlsSimdJsonView.h"
#include "TlvReader.h"

#include <cmath>

namespace {

// Half away from zero to 3 decimals, as the masters expect coordinates.
double roundMillimetre(float v)
{
    return std::round(static_cast<double>(v) * 1000.0) / 1000.0;
}

} // namespace

RtlsPos::RtlsPos(QObject *parent) : QObject(parent) {}

float RtlsPos::x() const { return m_x; }
float RtlsPos::y() const { return m_y; }
float RtlsPos::z() const { return m_z; }
float RtlsPos::heading() const { return m_heading; }
uint8_t RtlsPos::pqf() const { return m_pqf; }
uint32_t RtlsPos::flags() const { return m_flags; }

float RtlsPos::averaged(float old, double sample) const
{
    return static_cast<float>((sample + m_avg * static_cast<double>(old)) / (m_avg + 1));
}

uint32_t RtlsPos::updateFromJson(const QJsonObject &obj)
{
    return applyJsonView(RtlsQtJsonView(obj));
}

uint32_t RtlsPos::applyJson(const RtlsQtJsonView &obj)
{
    return applyJsonView(obj);
}

uint32_t RtlsPos::applyJson(const RtlsSimdJsonView &obj)
{
    return applyJsonView(obj);
}

template<typename View>
uint32_t RtlsPos::applyJsonView(const View &obj)
{
    uint32_t result = Rtls::kPosResult;
    struct Axis {
        QLatin1String key;
        float *value;
        uint32_t bit;
    };
    const Axis axes[] = {{QLatin1String("x"), &m_x, Rtls::kPosX},
                         {QLatin1String("y"), &m_y, Rtls::kPosY},
                         {QLatin1String("z"), &m_z, Rtls::kPosZ}};
    View values[3];
    View heading;
    View pqf;
    obj.forEachMember([&](const auto &key, const View &value) {
        for (int i = 0; i < 3; ++i) {
            if (View::keyIs(key, axes[i].key)) {
                values[i] = value;
                return;
            }
        }
        if (View::keyIs(key, QLatin1String("heading")))
            heading = value;
        else if (View::keyIs(key, QLatin1String("pqf")))
            pqf = value;
    });
    for (int i = 0; i < 3; ++i) {
        // A coordinate that is not a number is absent: averaging a 0 into a
        // known position would drag it toward the origin, and an infinite
        // one would never average out again. A number beyond a float's
        // range is infinite once stored, so it is checked as a float.
        if (!values[i].isNumber() || !std::isfinite(static_cast<float>(values[i].number())))
            continue;
        m_reported[i] = static_cast<float>(values[i].number());
        *axes[i].value = averaged(*axes[i].value, values[i].number());
        result |= axes[i].bit;
    }
    if (heading.isNumber())
        m_heading = static_cast<float>(heading.number());
    if (pqf.isNumber())
        m_pqf = static_cast<uint8_t>(Rtls::truncateTo<int64_t>(pqf.number()));
    m_flags |= result;
    return result;
}

QJsonObject RtlsPos::toJson(uint32_t mask) const
{
    const uint32_t select = mask ? mask : m_flags;
    QJsonObject obj;
    if (select & Rtls::kPosX)
        obj.insert(QStringLiteral("x"), roundMillimetre(m_x));
    if (select & Rtls::kPosY)
        obj.insert(QStringLiteral("y"), roundMillimetre(m_y));
    if (select & Rtls::kPosZ)
        obj.insert(QStringLiteral("z"), roundMillimetre(m_z));
    return obj;
}

double RtlsPos::distance(const RtlsPos &other) const
{
    const double dx = static_cast<double>(m_x) - other.m_x;
    const double dy = static_cast<double>(m_y) - other.m_y;
    const double dz = static_cast<double>(m_z) - other.m_z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

int RtlsPos::updateFromTlv(const char *data, int size)
{
    if (!data || size <= 0)
        return -1;
    double sample[3] = {m_x, m_y, m_z};
    uint32_t given = 0;
    const int count = TlvReader::forEach(data, size, [&](const TlvReader &reader) {
        float f = 0.0f;
        uint8_t b = 0;
        switch (reader.type()) {
        case Rtls::kTlvPosX:
        case Rtls::kTlvPosY:
        case Rtls::kTlvPosZ:
            if (reader.readFloat(f)) {
                const int axis = reader.type() - Rtls::kTlvPosX;
                sample[axis] = f;
                given |= Rtls::kPosX << axis;
            }
            break;
        case Rtls::kTlvPosHeading:
            if (reader.readFloat(f))
                m_heading = f;
            break;
        case Rtls::kTlvPosPqf:
            if (reader.readUInt8(b))
                m_pqf = b;
            break;
        default:
            break;
        }
    });
    if (count < 0)
        return -1;
    // An unusable sample (NaN, or infinite, which averaging could never
    // recover from) leaves the position as it was.
    if (!std::isfinite(sample[0]) || !std::isfinite(sample[1]) || !std::isfinite(sample[2]))
        return count;
    m_flags |= given;
    for (int axis = 0; axis < 3; ++axis)
        if (given & (Rtls::kPosX << axis))
            m_reported[axis] = static_cast<float>(sample[axis]);
    m_x = averaged(m_x, sample[0]);
    m_y = averaged(m_y, sample[1]);
    m_z = averaged(m_z, sample[2]);
    return count;
}

void RtlsPos::setPos(float x, float y, float z)
{
    m_x = m_reported[0] = x;
    m_y = m_reported[1] = y;
    m_z = m_reported[2] = z;
    m_flags |= Rtls::kPosXYZ;
}

void RtlsPos::setX(float x)
{
    m_x = m_reported[0] = x;
    m_flags |= Rtls::kPosX;
}

void RtlsPos::setY(float y)
{
    m_y = m_reported[1] = y;
    m_flags |= Rtls::kPosY;
}

void RtlsPos::setZ(float z)
{
    m_z = m_reported[2] = z;
    m_flags |= Rtls::kPosZ;
}

void RtlsPos::setHeading(float heading) { m_heading = heading; }
void RtlsPos::setPQF(uint8_t pqf) { m_pqf = pqf; }
void RtlsPos::setFlags(uint32_t flags) { m_flags = flags; }

void RtlsPos::incrAvg()
{
    m_avg = static_cast<uint8_t>(m_avg + 1);
    if (m_avg < Rtls::kAvgRaised)
        m_avg = Rtls::kAvgRaised;
}

void RtlsPos::decrAvg()
{
    m_avg = m_avg == Rtls::kAvgLowered ? 0 : Rtls::kAvgLowered;
}
