#include "MeasurementStats.h"

#include <algorithm>
#include <cmath>

void MeasurementStats::add(double value)
{
    if (!std::isfinite(value))
        return;
    ++m_count;
    if (m_count == 1) {
        m_min = m_max = value;
    } else {
        m_min = std::min(m_min, value);
        m_max = std::max(m_max, value);
    }
    const double delta = value - m_mean;
    m_mean += delta / m_count;
    m_m2 += delta * (value - m_mean);
}

void MeasurementStats::clear()
{
    *this = MeasurementStats();
}

double MeasurementStats::stddev() const
{
    return m_count > 1 ? std::sqrt(std::max(0.0, m_m2 / (m_count - 1))) : 0.0;
}
