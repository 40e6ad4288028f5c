#pragma once

#include "NodeConfig.h"
#include "SimNode.h"

#include <QJsonObject>
#include <QString>
#include <QVector>

// The whole simulated site: its nodes and the system-wide settings that the
// masters keep (TDMA scheme, channel, output format, node configurations).
class SimSite
{
public:
    QVector<SimNode> nodes;
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

    // Reporting interval of the tag at tagRank (its place among tags) in ms,
    // or 0 when the TDMA scheme has no slot left for it.
    double reportIntervalMs(const SimNode &tag, int tagRank) const;
    static bool isUwbChannel(qint64 channel);
    static int schemeRateHz(int scheme);
    static int schemeCapacity(int scheme);
};
