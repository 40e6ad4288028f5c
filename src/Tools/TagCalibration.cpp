#include "TagCalibration.h"

#include "CalibrationConstants.h"

#include <algorithm>
#include <cmath>

namespace {

double median(QVector<double> v)
{
    if (v.isEmpty())
        return 0.0;
    const int mid = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + mid, v.end());
    if (v.size() % 2)
        return v[mid];
    const double upper = v[mid];
    return 0.5 * (upper + *std::max_element(v.begin(), v.begin() + mid));
}

} // namespace

TagCalibration::TagCalibration(int minSamples) : m_minSamples(std::max(1, minSamples)) {}

void TagCalibration::setTruePosition(double x, double y, double z)
{
    m_true = Position{x, y, z};
    m_hasTruePosition = true;
}

void TagCalibration::setAnchorPosition(uint64_t anchor, double x, double y, double z)
{
    m_anchors.insert(anchor, Position{x, y, z});
}

void TagCalibration::clearAnchorPositions()
{
    m_anchors.clear();
}

void TagCalibration::addSample(uint64_t anchor, double range)
{
    if (!std::isfinite(range) || range <= 0.0)
        return;
    m_samples[anchor].append(range);
}

void TagCalibration::clearSamples()
{
    m_samples.clear();
}

QVector<uint64_t> TagCalibration::anchors() const
{
    QVector<uint64_t> ids;
    for (auto it = m_samples.constBegin(); it != m_samples.constEnd(); ++it)
        ids.append(it.key());
    std::sort(ids.begin(), ids.end());
    return ids;
}

TagCalibration::AnchorStats TagCalibration::stats(uint64_t anchor) const
{
    AnchorStats s;
    s.anchor = anchor;
    const QVector<double> samples = m_samples.value(anchor);
    s.samples = samples.size();
    if (!samples.isEmpty()) {
        const double mid = median(samples);
        QVector<double> deviation;
        deviation.reserve(samples.size());
        for (double v : samples)
            deviation.append(std::fabs(v - mid));
        const double gate = std::max(kGateFloor, kGateSigmas * 1.4826 * median(deviation));
        double sum = 0.0;
        for (double v : samples)
            if (std::fabs(v - mid) <= gate) {
                sum += v;
                ++s.kept;
            }
        s.meanMeasured = s.kept > 0 ? sum / s.kept : mid;
    }
    const auto position = m_anchors.constFind(anchor);
    if (m_hasTruePosition && position != m_anchors.constEnd()) {
        s.hasTrue = true;
        s.trueRange = std::sqrt((position->x - m_true.x) * (position->x - m_true.x)
                                + (position->y - m_true.y) * (position->y - m_true.y)
                                + (position->z - m_true.z) * (position->z - m_true.z));
        s.bias = s.meanMeasured - s.trueRange;
        s.changeUnits = Calib::unitsFor(s.bias);
    }
    s.ready = s.hasTrue && s.kept >= m_minSamples;
    return s;
}

TagCalibration::Suggestion TagCalibration::suggestion(int maxStep) const
{
    Suggestion out;
    QVector<double> biases;
    int withTrue = 0;
    for (uint64_t anchor : anchors()) {
        const AnchorStats s = stats(anchor);
        if (s.hasTrue)
            ++withTrue;
        if (s.ready)
            biases.append(s.bias);
    }
    out.readyAnchors = biases.size();
    // Three anchors make the median meaningful; a smaller site needs all of
    // the anchors it has.
    if (biases.isEmpty() || biases.size() < std::min(3, withTrue))
        return out;
    out.valid = true;
    out.biasMetres = median(biases);
    const long change = std::lround(Calib::unitsFor(out.biasMetres));
    out.changeUnits = int(std::clamp<long>(change, -maxStep, maxStep));
    out.limited = out.changeUnits != change;
    return out;
}
