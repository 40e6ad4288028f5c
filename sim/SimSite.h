#pragma once

#include "NodeConfig.h"
#include "SimNode.h"

#include <QJsonObject>
#include <QString>
#include <QVector>

// A region of the site out of the line of sight of some anchors (racks,
// a wall): a tag standing in the box measures its ranges to those anchors
// longer by bias metres, as the signal goes round or through.
struct NlosRegion {
    Vec3 min;
    Vec3 max;
    double bias = 0.0;
    QVector<quint64> anchors; // empty: every anchor

    bool contains(const Vec3 &p) const;
    bool affects(quint64 anchor) const;
};

// The whole simulated site: its nodes and the system-wide settings that the
// masters keep (TDMA scheme, channel, output format, node configurations).
class SimSite
{
public:
    QVector<SimNode> nodes;
    QVector<NlosRegion> nlos;
    QVector<NodeConfig> configs{NodeConfig()};
    int tdmaScheme = 0;
    int uwbChannel = 5;
    QString outDataFormat = QStringLiteral("json");

    static SimSite defaultSite();
    // Reads a site description (see docs/SIMULATOR.md). Returns false with
    // a reason when the document is unusable.
    static bool fromJson(const QJsonObject &doc, SimSite *site, QString *error);
    static bool fromFile(const QString &path, SimSite *site, QString *error);

    // Gives every anchor without a fixed offset a random real antenna delay
    // around the nominal one, as manufacturing spread does.
    void assignDelayOffsets(quint64 seed);

    SimNode *find(quint64 id);
    const SimNode *find(quint64 id) const;
    const SimNode *master() const;
    quint64 masterId() const;
    QVector<int> anchorIndexes() const;
    QVector<int> tagIndexes() const;
    const NodeConfig &activeConfig() const;
    // What the non-line-of-sight regions add to a range between a tag at p
    // and the anchor.
    double nlosExcess(const Vec3 &p, quint64 anchor) const;

    // Reporting interval of the tag at tagRank (its place among tags) in ms,
    // or 0 when the TDMA scheme has no slot left for it.
    double reportIntervalMs(const SimNode &tag, int tagRank) const;
    static bool isUwbChannel(qint64 channel);
    static int schemeRateHz(int scheme);
    static int schemeCapacity(int scheme);
};
