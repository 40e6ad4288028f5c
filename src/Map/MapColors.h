#pragma once

#include <QColor>

#include <cstdint>

class QJsonObject;
class QString;

// The colours of nodes in the map.
class MapColors
{
public:
    // By mode: a tag takes its colour from its id (red = bits 0-7, green =
    // bits 8-15, blue = bits 16-23); anchors blue, masters dark green, other
    // modes dark cyan, all lightened; the selected node light red.
    static QColor defaultColor(uint64_t id, const QString &mode, uint64_t selectedId);
    // Blue at or below minTemp, red at or above maxTemp, and the blend of
    // blue, green, yellow and red in between. An invalid colour for a
    // temperature that is not a number, so that the caller falls back to the
    // default colour.
    static QColor temperatureColor(double t, double minTemp, double maxTemp);
    // Scale for the heat map: goes from red through yellow to green as f
    // goes from 0 to 1 (clamped).
    static QColor qualityColor(double f);
    // A colour key of a settings document: obj[key] as a colour name
    // ("#rrggbb", "red") goes into *value. A name that is no colour sets
    // *value to the fallback and gives the one console line to show, which
    // starts with `owner`; a key absent or not a string keeps *value and
    // gives an empty text.
    static QString readColorKey(const QJsonObject &obj, const char *key, const QColor &fallback, QColor *value,
                                const QString &owner);
};
