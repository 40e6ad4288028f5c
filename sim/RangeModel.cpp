#include "RangeModel.h"

#include "SimConstants.h"
#include "SimNode.h"

#include <algorithm>
#include <cmath>
#include <vector>

RangeModel::RangeModel(double noiseMetres, quint64 seed)
    : m_noise(std::max(0.0, noiseMetres)), m_outlierProbability(SimConst::kOutlierProbability), m_rng(seed)
{
}

bool RangeModel::canRange(const SimNode &a, const Vec3 &pa, const SimNode &b, const Vec3 &pb) const
{
    return a.storey == b.storey && pa.distanceTo(pb) <= SimConst::kMaxRange;
}

double RangeModel::error()
{
    double e = m_noise * m_gauss(m_rng);
    if (m_unit(m_rng) < m_outlierProbability)
        e += 0.3 + m_unit(m_rng) * (SimConst::kOutlierMaxExcess - 0.3);
    return e;
}

double RangeModel::range(const SimNode &a, const Vec3 &pa, const SimNode &b, const Vec3 &pb)
{
    const double r = pa.distanceTo(pb) + a.biasMetres() + b.biasMetres() + error();
    return std::max(0.0, r);
}

double RangeModel::toaNs(const SimNode &tag, const Vec3 &pt, const SimNode &anchor, double emissionNs)
{
    const double metres = pt.distanceTo(anchor.truePos) + anchor.biasMetres() + tag.biasMetres() + error();
    return emissionNs + metres / SimConst::kSpeedOfLight * 1e9;
}

double RangeModel::averagedRange(const SimNode &a, const SimNode &b, int n, double *stdev)
{
    std::vector<double> s;
    s.reserve(size_t(std::max(n, 1)));
    for (int i = 0; i < std::max(n, 1); ++i)
        s.push_back(range(a, a.truePos, b, b.truePos));
    std::vector<double> sorted = s;
    std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
    const double median = sorted[sorted.size() / 2];
    const double gate = std::max(3.0 * m_noise, 0.05);
    double sum = 0.0, sum2 = 0.0;
    int kept = 0;
    for (double v : s) {
        if (std::fabs(v - median) > gate)
            continue;
        sum += v;
        sum2 += v * v;
        ++kept;
    }
    if (kept == 0) {
        *stdev = 0.0;
        return median;
    }
    const double mean = sum / kept;
    *stdev = kept > 1 ? std::sqrt(std::max(0.0, (sum2 - kept * mean * mean) / (kept - 1))) : 0.0;
    return mean;
}

double RangeModel::uniform(double lo, double hi)
{
    return lo + (hi - lo) * m_unit(m_rng);
}
