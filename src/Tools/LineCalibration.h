#pragma once

#include <QVector>

#include <cstdint>
#include <functional>
#include <optional>

// The arithmetic of the line method of anchor calibration: all anchors on
// one straight line, the two that measure farthest apart are its ends, and
// for every anchor between them the two parts must add up to the whole.
// Half of the excess is that anchor's ranging error.
class LineCalibration
{
public:
    // Measured distance from one anchor towards another, if there is one.
    using Distance = std::function<std::optional<double>(uint64_t from, uint64_t to)>;

    struct Ends {
        uint64_t begin = 0;
        uint64_t end = 0;
        double length = 0.0;
        bool valid() const { return begin != 0 && end != 0 && begin != end; }
    };

    enum class Alignment { OnLine, Near, Off };

    // The pair that measures farthest apart among ids (in the given order:
    // for every anchor the later ones; the first pair found wins a tie).
    static Ends findEnds(const QVector<uint64_t> &ids, const Distance &distance);

    // cos of the angle at an anchor between the directions to the two ends;
    // none when a distance is missing or not positive (no division by zero).
    static std::optional<double> cosine(double toBegin, double toEnd, double length);
    static Alignment alignment(double cosine);

    // Distance correction of a middle anchor: 0.5 * (L - dB - dE). Positive
    // when the two parts measure shorter than the whole.
    static double correction(double length, double toBegin, double toEnd);

    // The delay that takes the correction out: current - c / unit, rounded.
    // None when the result leaves the window of plausible delays.
    static std::optional<uint16_t> newDelay(uint16_t current, double correction);
};
