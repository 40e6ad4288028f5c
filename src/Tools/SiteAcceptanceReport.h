#pragma once

#include "AnchorReview.h"
#include "SiteAcceptanceSession.h"

#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QString>
#include <QVector>

#include <cstdint>

// The commissioning report an installer hands over, as a PDF: the site and
// the date, the verdict and the overall figures, the anchors with their
// coordinates and calibration state, the map with the survey points, and a
// page per kPointsPerPage points with their figures and target plots.
// Written with Qt's own PDF writer; one text document per page, so that the
// pages come out as laid out whatever the text's length.
class SiteAcceptanceReport
{
public:
    static constexpr int kPointsPerPage = 4;
    // Anchor rows on the first page, and on each page after it.
    static constexpr int kAnchorsFirstPage = 16;
    static constexpr int kAnchorsPerPage = 40;

    struct AnchorRow
    {
        QString name;
        AnchorReview::Anchor review;
        bool delaysKnown = false;
        quint16 txDelay = 0, rxDelay = 0;
    };

    struct Input
    {
        QDateTime date;
        const SiteAcceptanceSession *session = nullptr;
        QVector<SiteAcceptanceSession::PointResult> results;
        SiteAcceptanceSession::Overall overall;
        QVector<AnchorRow> anchors;
        QHash<uint64_t, QString> nodeNames;
        QImage map;
    };

    static int pageCount(int points, int anchors);
    // False, with the reason in *error, when the file cannot be written.
    static bool write(const QString &fileName, const Input &input, QString *error);
};
