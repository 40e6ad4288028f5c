#pragma once

#include "RangeModel.h"
#include "SimConstants.h"
#include "SimSite.h"
#include "TagReport.h"

#include <QHash>
#include <QJsonArray>
#include <QVector>

// Runs the physics of a site: moves the tags, measures ranges, runs the
// internal location engine and keeps the master's anchor-to-anchor
// distance table. No sockets and no clock of its own: callers give the time.
class SiteEngine
{
public:
    SiteEngine(const SimSite &site, double noise, quint64 seed, qint64 startMs,
               double outlierProbability = SimConst::kOutlierProbability);

    SimSite &site() { return m_site; }
    const SimSite &site() const { return m_site; }
    RangeModel &ranges() { return m_ranges; }

    // Reports of every tag whose turn has come by nowMs.
    QVector<TagReport> dueReports(qint64 nowMs);
    TagReport measureTag(SimNode &tag, qint64 nowMs);

    // Anchor-to-anchor ranging, each pair averaged over count exchanges.
    void scanInfra(int count);
    // Measurements of a node in the form of the "meas" array.
    QJsonArray distancesJson(quint64 id) const;
    // Positions every anchor whose coordinates are not all known from fresh
    // anchor-to-anchor ranges; *resolved counts the anchors it placed.
    bool autoPosition(int *resolved, QString *error);
    void restartSchedule(qint64 nowMs);
    // Stands the tag at *at (its walk suspended), or lets it walk on when
    // at is null.
    void park(SimNode &tag, const Vec3 *at);

private:
    struct InfraRange {
        double dist = 0.0;
        double stdev = 0.0;
    };
    struct TagState {
        double nextDueMs = 0.0;
        quint32 seq = 0;
        QVector<Vec3> history;
        Vec3 lastFix;
        bool hasFix = false;
        Vec3 lastTruePos;
        bool moved = true;
        QVector<MeasSample> lastMeas;
    };

    SimSite m_site;
    RangeModel m_ranges;
    qint64 m_startMs;
    QHash<quint64, TagState> m_tags;
    QHash<quint64, QHash<quint64, InfraRange>> m_infra;

    void locate(TagState &st, const QVector<MeasSample> &meas, TagReport *r);
};
