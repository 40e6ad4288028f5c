#pragma once

#include "AnchorSurvey.h"

#include <QHash>

#include <cstdint>

// Checks the surveyed anchor coordinates against the ranges the anchors
// measure to each other: fits the anchors' positions to the ranges, starting
// from the surveyed layout, and lays the fit onto the surveyed coordinates
// (rotation and shift only, robust to one bad anchor), so the fit keeps the
// origin and axes the installer set. Each anchor's residual is how far its
// surveyed position lies from where the ranges put it; the worst is flagged.
//
// Heights are held as surveyed: anchors hang at similar heights, and ranges
// between them say almost nothing about height, so a fitted height would be
// noise.
class LayoutCheck
{
public:
    struct AnchorResult {
        bool checked = false;
        double fitX = 0.0, fitY = 0.0, fitZ = 0.0;
        double residual = 0.0; // metres between surveyed and fitted
        int pairs = 0;         // ranges to other checked anchors
    };

    struct Result {
        QHash<uint64_t, AnchorResult> anchors;
        uint64_t flagged = 0;    // the anchor that disagrees most, 0 when none was checked
        double worstResidual = 0.0;
        int checkedCount = 0;
        double rangeRms = 0.0;   // ranges vs the fitted layout
    };

    // Groups of anchors in range of each other need at least this many
    // members: with fewer, the ranges fix the shape with nothing to spare.
    static constexpr int kMinGroup = 4;
    // A residual above this is a survey fault, not noise or delay error.
    static constexpr double kSurveyFault = 0.25;

    static Result check(const AnchorSurvey &survey);
};
