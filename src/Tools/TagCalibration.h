#pragma once

#include <QHash>
#include <QVector>

#include <cstdint>
#include <optional>

// Antenna-delay calibration of one tag standing at a known position: the
// ranges it measures to every anchor are collected, outliers are rejected
// by a gate around each anchor's median, and the mean of what is left is
// compared with the true distance. The tag's delay error is the median of
// the per-anchor biases, so that one badly surveyed or uncalibrated anchor
// does not steer it.
class TagCalibration
{
public:
    struct AnchorStats {
        uint64_t anchor = 0;
        int samples = 0;
        int kept = 0;
        double meanMeasured = 0.0;
        bool hasTrue = false;     // the anchor's position is known
        double trueRange = 0.0;
        double bias = 0.0;        // mean measured - true, metres
        double changeUnits = 0.0; // to add to the tag's delays
        bool ready = false;       // enough samples and a true range
    };

    struct Suggestion {
        bool valid = false;
        int readyAnchors = 0;
        double biasMetres = 0.0;
        int changeUnits = 0;      // bounded to +/- the largest step
        bool limited = false;     // the bound cut the change
    };

    explicit TagCalibration(int minSamples = 50);

    void setTruePosition(double x, double y, double z);
    void setAnchorPosition(uint64_t anchor, double x, double y, double z);
    void clearAnchorPositions();
    void addSample(uint64_t anchor, double range);
    void clearSamples();

    int minSamples() const { return m_minSamples; }
    int sampleCount(uint64_t anchor) const { return m_samples.value(anchor).size(); }
    QVector<uint64_t> anchors() const;
    AnchorStats stats(uint64_t anchor) const;
    Suggestion suggestion(int maxStep) const;

    // The gate: samples further from the median than this many robust
    // standard deviations (and at least kGateFloor) are outliers.
    static constexpr double kGateSigmas = 3.0;
    static constexpr double kGateFloor = 0.15;

private:
    struct Position {
        double x, y, z;
    };

    int m_minSamples;
    bool m_hasTruePosition = false;
    Position m_true{0.0, 0.0, 0.0};
    QHash<uint64_t, Position> m_anchors;
    QHash<uint64_t, QVector<double>> m_samples;
};
