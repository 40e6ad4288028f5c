#pragma once

#include "Vec3.h"

#include <QtGlobal>

#include <random>

struct SimNode;

// Produces the ranges and times of arrival that the radios would measure:
// true distance, plus both nodes' antenna-delay bias, plus Gaussian noise,
// plus now and then a non-line-of-sight outlier that only ever lengthens.
class RangeModel
{
public:
    RangeModel(double noiseMetres, quint64 seed);

    double noise() const { return m_noise; }
    void setOutlierProbability(double p) { m_outlierProbability = p; }
    bool canRange(const SimNode &a, const Vec3 &pa, const SimNode &b, const Vec3 &pb) const;
    double range(const SimNode &a, const Vec3 &pa, const SimNode &b, const Vec3 &pb);
    // Time of arrival at the anchor in nanoseconds after a common, unknown
    // emission instant (emissionNs), as TDOA anchors report it.
    double toaNs(const SimNode &tag, const Vec3 &pt, const SimNode &anchor, double emissionNs);
    // Robust mean of n range samples between two fixed nodes; *stdev gets
    // the spread of the samples kept.
    double averagedRange(const SimNode &a, const SimNode &b, int n, double *stdev);
    double uniform(double lo, double hi);

private:
    double m_noise;
    double m_outlierProbability;
    std::mt19937_64 m_rng;
    std::normal_distribution<double> m_gauss{0.0, 1.0};
    std::uniform_real_distribution<double> m_unit{0.0, 1.0};

    double error();
};
