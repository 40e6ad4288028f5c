#pragma once

#include "AnchorSurvey.h"

#include <QHash>

#include <cstdint>

// Antenna-delay calibration of all anchors at once. A range between two
// anchors is their true distance plus the range error of each of them; with
// the surveyed coordinates giving the true distances, every pair is one
// equation err(i) + err(j) = measured - surveyed, and the errors follow by
// least squares. A group of anchors is solvable when it is connected and has
// an odd cycle: two anchors that only see each other give only the sum of
// their errors, and such anchors are left alone.
class AnchorDelaySolver
{
public:
    struct AnchorResult {
        bool solved = false;
        double errorMetres = 0.0; // positive: this anchor's ranges are too long
        double changeUnits = 0.0; // to add to both of its delays
        int pairs = 0;            // ranges that took part
    };

    struct Result {
        QHash<uint64_t, AnchorResult> anchors;
        int pairsUsed = 0;
        int pairsRejected = 0;    // outliers left out of the fit
        double rmsBefore = 0.0;   // measured vs surveyed, pairs used
        double rmsAfter = 0.0;    // the same once the errors are taken out
    };

    // A range that disagrees with the fit by more than this and by more than
    // kOutlierFactor times the fit's RMS is taken as an outlier.
    static constexpr double kOutlierFloor = 0.10;
    static constexpr double kOutlierFactor = 4.0;

    static Result solve(const AnchorSurvey &survey);
};
