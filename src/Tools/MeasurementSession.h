#pragma once

#include "MeasurementStats.h"

#include <QHash>
#include <QMap>
#include <QString>
#include <QVector3D>
#include <QVector>

#include <array>
#include <cstdint>

class RtlsObject;

// The statistics of one measurement run of the measurement tool: the ranges
// of one node to one anchor or to all, and its position, report by report.
// A plain class, so that the numbers and the CSV can be checked without a
// window or a master.
class MeasurementSession
{
public:
    struct Reference
    {
        enum Kind { None, Distance, Position };
        Kind kind = None;
        double distance = 0.0; // metres, for Distance
        QVector3D position;    // for Position
    };

    struct Row
    {
        QString label;
        bool hasStats = true;
        MeasurementStats stats;
        bool hasBias = false;
        double bias = 0.0; // mean minus the reference
    };

    // The node measured; a new node starts from its next report.
    void setNode(uint64_t node);
    uint64_t node() const { return m_node; }
    // The anchor whose ranges count; 0 counts every anchor.
    void setAnchor(uint64_t anchor) { m_anchor = anchor; }
    uint64_t anchor() const { return m_anchor; }
    void clear();

    // Takes the node's last report if it is the node measured and a report
    // not taken yet: its ranges
    // (distances only) to the chosen anchors and, when the report carried
    // one, its position. Returns whether anything was added.
    bool addReport(RtlsObject *node);

    int reports() const { return m_reports; }
    const QMap<uint64_t, MeasurementStats> &ranges() const { return m_ranges; }
    const MeasurementStats &axis(int axis) const { return m_axes[size_t(axis)]; }

    // A row per anchor ranged, then X, Y, Z and, with a reference position,
    // the distance of the mean position from it. Biases: against the
    // reference distance, or, with a reference position, against the true
    // distance from it to each anchor whose position is given.
    QVector<Row> rows(const Reference &reference, const QHash<uint64_t, QVector3D> &anchorPositions) const;
    // "measurement,count,mean,stddev,min,max,bias", then one line per row;
    // metres with 4 decimals, empty where a row has no such value.
    static QString toCsv(const QVector<Row> &rows);

private:
    uint64_t m_node = 0;
    uint64_t m_anchor = 0;
    int m_reports = 0;
    double m_lastTime = -1.0;
    uint64_t m_lastUpdate = 0;
    QMap<uint64_t, MeasurementStats> m_ranges;
    std::array<MeasurementStats, 3> m_axes;
};
