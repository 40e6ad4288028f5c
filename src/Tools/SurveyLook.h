#pragma once

#include "SiteAcceptanceSession.h"

#include <QColor>
#include <QString>

// How the site acceptance results look wherever they are shown (the table,
// the map, the report): the texts of a point's status and of the verdict,
// and their colours. A point that meets the target by a quarter or more is
// green, one that meets it with less to spare amber, one that misses it red,
// one without a result grey.
class SurveyLook
{
public:
    static constexpr double kComfortable = 0.75;

    static QColor colour(const SiteAcceptanceSession::PointResult &result, double target);
    static QString statusText(SiteAcceptanceSession::Status status);
    static QString verdictText(SiteAcceptanceSession::Verdict verdict);
    static QColor verdictColour(SiteAcceptanceSession::Verdict verdict);
};
