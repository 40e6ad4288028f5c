#pragma once

#include <QColor>
#include <QString>

#include <optional>

// How the setup table shows coordinates and distances: the colour bands of
// the disagreement between a measured distance and the one the coordinates
// imply, the texts, and the reading of typed coordinates.
class SetupCellFormat
{
public:
    // Shown for a coordinate the master does not know.
    static QString unknownCoordinate();

    static QColor distanceColour(double difference);
    static QString distanceText(double measured, double stdev);
    static QString distanceToolTip(double measured, double fromPositions, double difference);
    static QString coordinateText(bool known, double value);

    enum class Typed { Number, Auto, Invalid };
    // A typed coordinate: a number (read as the node details and the
    // settings dialog read one), empty (or the unknown marker, or "auto")
    // for "auto", or text that is neither and must never be sent.
    static Typed readCoordinate(const QString &text, double *value);
    // A coordinate as "setPos" carries it: stored in single precision and
    // rounded to millimetres, with 3 decimals.
    static QString sentCoordinate(double value);
};
