#pragma once

#include "AnchorSurvey.h"

#include <QVector>

#include <cstdint>

// What the layout check and the all-anchors delay calibration say of each
// anchor at one moment, from the anchors' surveyed coordinates and the
// ranges they measured to each other; and which anchors they flag, so that
// the site acceptance tool can name them beside the points they spoil.
//
// An anchor is flagged by the layout check when its surveyed position lies
// more than LayoutCheck::kSurveyFault from where the ranges put it. The
// delay solution takes the surveyed coordinates as the truth, so it is only
// believed while the layout check flags nothing: then an anchor whose
// ranges are off by more than kRangeErrorFault is flagged for its antenna
// delays.
class AnchorReview
{
public:
    static constexpr double kRangeErrorFault = 0.10;

    struct Anchor
    {
        uint64_t id = 0;
        bool surveyed = false;
        double x = 0.0, y = 0.0, z = 0.0;
        bool layoutChecked = false;
        double residual = 0.0;   // metres between surveyed and fitted
        double fitX = 0.0, fitY = 0.0;
        bool delaySolved = false;
        double rangeError = 0.0; // metres its ranges are too long
        bool layoutFault = false;
        bool delayFault = false;

        bool flagged() const { return layoutFault || delayFault; }
    };

    static QVector<Anchor> review(const AnchorSurvey &survey);
};
