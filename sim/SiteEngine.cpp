#include "SiteEngine.h"

#include "Positioner.h"
#include "SimConstants.h"

#include <QJsonObject>
#include <cmath>
#include <limits>

namespace {
constexpr int kInitialScanCount = 10;
constexpr double kRssiAtOneMetre = -60.0;
constexpr double kStillMetres = 0.01;
constexpr quint8 kStillIoBit = 0x02;

int qualityFor(double dist)
{
    return int(std::clamp(100.0 - dist * 2.0, 20.0, 100.0));
}

double rssiFor(double dist)
{
    return kRssiAtOneMetre - 20.0 * std::log10(std::max(dist, 1.0));
}
} // namespace

SiteEngine::SiteEngine(const SimSite &site, double noise, quint64 seed, qint64 startMs, double outlierProbability)
    : m_site(site), m_ranges(noise, seed), m_startMs(startMs)
{
    m_ranges.setOutlierProbability(outlierProbability);
    for (SimNode &n : m_site.nodes)
        n.bootMs = startMs;
    scanInfra(kInitialScanCount);
    restartSchedule(startMs);
}

void SiteEngine::restartSchedule(qint64 nowMs)
{
    const QVector<int> tags = m_site.tagIndexes();
    for (int rank = 0; rank < tags.size(); ++rank) {
        TagState &st = m_tags[m_site.nodes[tags[rank]].id];
        // Spread the first reports so the tags do not all speak at once.
        st.nextDueMs = double(nowMs) + (rank * 37) % 100;
    }
}

QVector<TagReport> SiteEngine::dueReports(qint64 nowMs)
{
    QVector<TagReport> out;
    const QVector<int> tags = m_site.tagIndexes();
    for (int rank = 0; rank < tags.size(); ++rank) {
        SimNode &tag = m_site.nodes[tags[rank]];
        TagState &st = m_tags[tag.id];
        const double interval = m_site.reportIntervalMs(tag, rank);
        if (interval <= 0.0 || st.nextDueMs > double(nowMs))
            continue;
        st.nextDueMs += interval;
        // A late tick sends one report, not a burst of the missed ones.
        if (st.nextDueMs <= double(nowMs))
            st.nextDueMs = double(nowMs) + interval;
        bool present = true;
        tag.pathPosition((nowMs - m_startMs) / 1000.0, &present);
        if (!present)
            continue;
        out.append(measureTag(tag, nowMs));
    }
    return out;
}

TagReport SiteEngine::measureTag(SimNode &tag, qint64 nowMs)
{
    TagState &st = m_tags[tag.id];
    bool present = true;
    tag.truePos = tag.pathPosition((nowMs - m_startMs) / 1000.0, &present);
    const Vec3 step = tag.truePos - st.lastTruePos;
    st.moved = step.norm() > kStillMetres;
    st.lastTruePos = tag.truePos;
    if (st.moved && !tag.fixedOrientation) {
        // Yaw only: the tag is carried upright, facing where it walks.
        const double yaw = std::atan2(step.y, step.x);
        tag.quat[0] = std::cos(yaw / 2.0);
        tag.quat[1] = 0.0;
        tag.quat[2] = 0.0;
        tag.quat[3] = std::sin(yaw / 2.0);
    }
    const NodeConfig &cfg = m_site.activeConfig();
    const bool tdoa = cfg.mode == QLatin1String("tdoa");
    const double emission = m_ranges.uniform(0.0, 1000.0);
    TagReport r;
    r.id = tag.id;
    r.timestamp = nowMs / 1000.0;
    r.seq = st.seq++;
    // The motion sensor's bit: set while the tag stands still.
    r.io = quint8(tag.io | (st.moved ? 0 : kStillIoBit));
    r.vbat = tag.vbat;
    r.temperature = tag.temperature;
    r.hasImu = true;
    for (int i = 0; i < 4; ++i)
        r.quat[i] = tag.quat[i];
    for (int ai : m_site.anchorIndexes()) {
        SimNode &a = m_site.nodes[ai];
        if (!m_ranges.canRange(tag, tag.truePos, a, a.truePos))
            continue;
        MeasSample m;
        m.anchor = a.id;
        const double trueDist = tag.truePos.distanceTo(a.truePos);
        m.tqf = qualityFor(trueDist);
        m.rssi = rssiFor(trueDist);
        // The way round an obstacle is longer than the line of sight.
        const double nlos = m_site.nlosExcess(tag.truePos, a.id);
        if (tdoa) {
            m.isToa = true;
            m.value = m_ranges.toaNs(tag, tag.truePos, a, emission) + nlos / SimConst::kSpeedOfLight * 1e9;
            ++a.tdoaCnt;
        } else {
            m.value = m_ranges.range(tag, tag.truePos, a, a.truePos) + nlos;
            m.stdev = m_ranges.noise();
            ++a.twrCnt;
            ++tag.twrCnt;
        }
        r.meas.append(m);
    }
    st.lastMeas = r.meas;
    if (!tdoa && cfg.locEngine == 1)
        locate(st, r.meas, &r);
    ++tag.reportsSent;
    return r;
}

void SiteEngine::locate(TagState &st, const QVector<MeasSample> &meas, TagReport *r)
{
    QVector<Vec3> anchors;
    QVector<double> dists;
    Vec3 centre;
    for (const MeasSample &m : meas) {
        const SimNode *a = m_site.find(m.anchor);
        if (!a || a->cfgMask != 0xE0)
            continue;
        anchors.append(a->cfgPos);
        dists.append(m.value);
        centre = centre + a->cfgPos;
    }
    if (anchors.size() < 4)
        return;
    centre = centre * (1.0 / anchors.size());
    // Tags walk below the anchors: start under their centre so the fit does
    // not settle on the mirror image above them.
    const Vec3 guess = st.hasFix ? st.lastFix : Vec3{centre.x, centre.y, centre.z - 1.0};
    const Positioner::Fix fix = Positioner::multilaterate(anchors, dists, guess, m_ranges.noise());
    if (!fix.ok)
        return;
    st.lastFix = fix.pos;
    st.hasFix = true;
    st.history.append(fix.pos);
    const int depth = m_site.activeConfig().filterDepth();
    while (st.history.size() > depth)
        st.history.removeFirst();
    Vec3 avg;
    for (const Vec3 &p : st.history)
        avg = avg + p;
    r->pos = avg * (1.0 / st.history.size());
    r->pqf = fix.pqf;
    r->hasPos = true;
}

void SiteEngine::park(SimNode &tag, const Vec3 *at)
{
    tag.parked = at != nullptr;
    if (at)
        tag.parkPos = *at;
    // The position filter starts afresh: fixes from where the tag was
    // carried from must not be averaged into where it stands.
    TagState &st = m_tags[tag.id];
    st.history.clear();
    st.hasFix = false;
}

void SiteEngine::scanInfra(int count)
{
    m_infra.clear();
    const QVector<int> anchors = m_site.anchorIndexes();
    for (int i = 0; i < anchors.size(); ++i)
        for (int j = i + 1; j < anchors.size(); ++j) {
            const SimNode &a = m_site.nodes[anchors[i]];
            const SimNode &b = m_site.nodes[anchors[j]];
            if (!m_ranges.canRange(a, a.truePos, b, b.truePos))
                continue;
            InfraRange ir;
            ir.dist = m_ranges.averagedRange(a, b, count, &ir.stdev);
            m_infra[a.id][b.id] = ir;
            m_infra[b.id][a.id] = ir;
        }
}

QJsonArray SiteEngine::distancesJson(quint64 id) const
{
    QJsonArray out;
    auto anchorText = [](quint64 a) { return QStringLiteral("%1").arg(a, 4, 16, QLatin1Char('0')).toUpper(); };
    const auto infra = m_infra.constFind(id);
    if (infra != m_infra.constEnd()) {
        for (auto it = infra->constBegin(); it != infra->constEnd(); ++it) {
            QJsonObject m;
            m.insert(QStringLiteral("anchor"), anchorText(it.key()));
            m.insert(QStringLiteral("dist"), std::round(it->dist * 1000.0) / 1000.0);
            m.insert(QStringLiteral("stdev"), std::round(it->stdev * 1000.0) / 1000.0);
            m.insert(QStringLiteral("tqf"), qualityFor(it->dist));
            m.insert(QStringLiteral("rssi"), std::round(rssiFor(it->dist) * 10.0) / 10.0);
            out.append(m);
        }
        return out;
    }
    const auto tag = m_tags.constFind(id);
    if (tag == m_tags.constEnd())
        return out;
    for (const MeasSample &s : tag->lastMeas) {
        QJsonObject m;
        m.insert(QStringLiteral("anchor"), anchorText(s.anchor));
        m.insert(s.isToa ? QStringLiteral("toa") : QStringLiteral("dist"), s.value);
        m.insert(QStringLiteral("tqf"), s.tqf);
        m.insert(QStringLiteral("rssi"), s.rssi);
        out.append(m);
    }
    return out;
}

bool SiteEngine::autoPosition(int *resolved, QString *error)
{
    *resolved = 0;
    QVector<int> anchors = m_site.anchorIndexes();
    // Anchors are solved storey by storey: floors block the radio.
    QHash<int, QVector<int>> byStorey;
    for (int ai : anchors)
        byStorey[m_site.nodes[ai].storey].append(ai);
    QStringList problems;
    for (auto it = byStorey.constBegin(); it != byStorey.constEnd(); ++it) {
        const QVector<int> &group = it.value();
        int unknown = 0;
        for (int ai : group)
            if (m_site.nodes[ai].cfgMask != 0xE0)
                ++unknown;
        if (unknown == 0)
            continue;
        const int n = group.size();
        QVector<QVector<double>> d(n, QVector<double>(n, 0.0));
        QVector<quint8> fixedAxes(n, 0);
        QVector<Vec3> coords(n);
        for (int i = 0; i < n; ++i) {
            const SimNode &a = m_site.nodes[group[i]];
            fixedAxes[i] = quint8(a.cfgMask >> 5 & Positioner::kAllAxes);
            coords[i] = a.cfgPos;
            for (int j = i + 1; j < n; ++j) {
                const SimNode &b = m_site.nodes[group[j]];
                double stdev = 0.0;
                const double r = m_ranges.canRange(a, a.truePos, b, b.truePos)
                                     ? m_ranges.averagedRange(a, b, SimConst::kAutoPosSamples, &stdev)
                                     : std::numeric_limits<double>::quiet_NaN();
                d[i][j] = d[j][i] = r;
            }
        }
        if (!Positioner::autoPosition(d, fixedAxes, &coords)) {
            problems.append(QStringLiteral("storey %1 has too few anchors in range of each other").arg(it.key()));
            continue;
        }
        for (int i = 0; i < n; ++i) {
            SimNode &a = m_site.nodes[group[i]];
            if (fixedAxes[i] == Positioner::kAllAxes)
                continue;
            a.cfgPos = coords[i];
            a.cfgMask = 0xE0;
            ++*resolved;
        }
    }
    *error = problems.join(QStringLiteral("; "));
    return problems.isEmpty();
}
