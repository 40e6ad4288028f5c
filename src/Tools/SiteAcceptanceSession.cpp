#include "SiteAcceptanceSession.h"

#include "PredictedDop.h"
#include "RtlsConvert.h"
#include "RtlsMeas.h"
#include "RtlsModelConstants.h"
#include "RtlsObject.h"
#include "RtlsPos.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int kCsvDecimals = 4;
// Room for a run at 50 Hz for 30 s without growing.
constexpr int kReserveSamples = 1500;

double nan()
{
    return std::numeric_limits<double>::quiet_NaN();
}

QString metres(double v)
{
    return QString::number(v, 'f', kCsvDecimals);
}

double figureOf(const SurveyStatistics::Figures &f, SurveyPlan::Figure figure)
{
    if (!f.valid())
        return nan();
    switch (figure) {
    case SurveyPlan::Figure::Cep50:
        return f.cep50;
    case SurveyPlan::Figure::Cep95:
        return f.cep95;
    case SurveyPlan::Figure::Rms3d:
        return f.rms3dError;
    }
    return nan();
}

// Figures are held against the target to the millimetre, as they are
// shown: positions travel as single-precision numbers, and 0.3 m must not
// fail a target of 0.3 m by a few micrometres of rounding.
bool meetsTarget(double figure, double target)
{
    return std::llround(figure * 1000.0) <= std::llround(target * 1000.0);
}

// The CSV quotes a name that holds a separator, a quote or a line break.
QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

SiteAcceptanceSession::PointResult::PointResult() : figure(nan()), hdop(nan()) {}

SiteAcceptanceSession::Overall::Overall() : figure(nan()) {}

void SiteAcceptanceSession::setPlan(const SurveyPlan &plan)
{
    stop();
    m_plan = plan;
    m_runs = QVector<QVector<Run>>(plan.points.size());
}

void SiteAcceptanceSession::addPoint(const SurveyPoint &point)
{
    m_plan.points.append(point);
    m_runs.append(QVector<Run>());
}

bool SiteAcceptanceSession::removePoint(int index)
{
    if (index < 0 || index >= m_plan.points.size() || index == m_running)
        return false;
    m_plan.points.removeAt(index);
    m_runs.removeAt(index);
    if (m_running > index)
        --m_running;
    return true;
}

void SiteAcceptanceSession::setPoint(int index, const SurveyPoint &point)
{
    if (index >= 0 && index < m_plan.points.size())
        m_plan.points[index] = point;
}

int SiteAcceptanceSession::indexOf(const QString &name) const
{
    for (int i = 0; i < m_plan.points.size(); ++i)
        if (m_plan.points.at(i).name == name)
            return i;
    return -1;
}

bool SiteAcceptanceSession::start(int point, uint64_t tag, int minPqf, qint64 nowMs)
{
    if (point < 0 || point >= m_plan.points.size() || tag == 0)
        return false;
    stop();
    Run run;
    run.number = m_runs.at(point).size() + 1;
    run.tag = tag;
    run.startedMs = nowMs;
    run.minPqf = minPqf;
    run.samples.reserve(m_plan.limit == SurveyPlan::Limit::Reports ? m_plan.reports : kReserveSamples);
    m_runs[point].append(run);
    m_plan.points[point].tag = tag;
    m_running = point;
    m_tag = tag;
    m_lastTime = -1.0;
    m_lastUpdate = 0;
    return true;
}

void SiteAcceptanceSession::stop()
{
    m_running = -1;
    m_tag = 0;
}

const SiteAcceptanceSession::Run *SiteAcceptanceSession::currentRun() const
{
    return m_running >= 0 ? &m_runs.at(m_running).last() : nullptr;
}

bool SiteAcceptanceSession::addReport(RtlsObject *node)
{
    if (!node || m_running < 0 || node->id() != m_tag)
        return false;
    // Views hear of a node for service answers too: only a new report (a
    // new time stamp or receive time) that carried a position counts.
    const double time = node->msgTime();
    const uint64_t update = node->lastUpdate();
    if (time == m_lastTime && update == m_lastUpdate)
        return false;
    m_lastTime = time;
    m_lastUpdate = update;
    if (!(node->msgFlags() & Rtls::kMsgCoordinates) || !node->hasPos())
        return false;
    const RtlsPos *pos = node->pos();
    if ((pos->flags() & Rtls::kPosXYZ) != Rtls::kPosXYZ)
        return false;

    Run &run = m_runs[m_running].last();
    Sample s;
    // Both in milliseconds since the epoch: the report's own stamp, or when
    // it came.
    s.time = (time > 0.0 ? time : double(update)) / 1000.0;
    // The position as the location engine reported it: the map smooths a
    // tag that stands still, which would hide the very scatter measured.
    s.x = pos->reportedX();
    s.y = pos->reportedY();
    s.z = pos->reportedZ();
    s.pqf = pos->pqf();
    s.used = s.pqf >= run.minPqf;
    run.samples.append(s);
    if (s.used)
        ++run.used;
    if ((node->msgFlags() & Rtls::kMsgMeasurements) && node->hasMeas()) {
        const RtlsMeas::Table table = node->meas()->current();
        for (auto it = table.cbegin(); it != table.cend(); ++it)
            ++run.heard[it.key()];
    }
    return true;
}

QVector<SurveyStatistics::Position> SiteAcceptanceSession::usedPositions(const Run &run)
{
    QVector<SurveyStatistics::Position> out;
    out.reserve(run.used);
    for (const Sample &s : run.samples)
        if (s.used)
            out.append({double(s.x), double(s.y), double(s.z)});
    return out;
}

SiteAcceptanceSession::PointResult SiteAcceptanceSession::result(int point, const QVector<Anchor> &anchors) const
{
    PointResult r;
    const SurveyPoint &p = m_plan.points.at(point);
    const qglviewer::Vec at(p.x, p.y, p.z);
    QVector<qglviewer::Vec> layout;
    layout.reserve(anchors.size());
    for (const Anchor &a : anchors)
        layout.append(qglviewer::Vec(a.x, a.y, a.z));
    r.hdop = PredictedDop::hdop(at, layout);

    const QVector<Run> &runs = m_runs.at(point);
    r.runs = runs.size();
    const Run *run = runs.isEmpty() ? nullptr : &runs.last();
    if (run) {
        r.run = runs.size() - 1;
        const SurveyStatistics::Position truth{p.x, p.y, p.z};
        r.figures = SurveyStatistics::compute(usedPositions(*run), truth);
        r.figure = figureOf(r.figures, m_plan.figure);
        for (auto it = run->heard.cbegin(); it != run->heard.cend(); ++it)
            if (2 * it.value() >= run->reports())
                r.inRange.append(it.key());
        std::sort(r.inRange.begin(), r.inRange.end());
        if (run->reports() == 0)
            r.status = Status::NoReports;
        else if (!r.figures.valid())
            r.status = Status::NoUsable;
        else
            r.status = meetsTarget(r.figure, m_plan.target) ? Status::Pass : Status::Fail;
    }

    // The nearest anchors, of those the tag heard when it was run.
    QVector<QPair<double, const Anchor *>> byDistance;
    for (const Anchor &a : anchors) {
        if (run && !run->heard.isEmpty() && !run->heard.contains(a.id))
            continue;
        byDistance.append({(qglviewer::Vec(a.x, a.y, a.z) - at).norm(), &a});
    }
    std::sort(byDistance.begin(), byDistance.end(),
              [](const auto &l, const auto &r) { return l.first < r.first; });
    for (int i = 0; i < byDistance.size() && i < kNearAnchors; ++i)
        if (byDistance.at(i).second->flagged)
            r.flaggedNear.append(byDistance.at(i).second->id);
    return r;
}

QVector<SiteAcceptanceSession::PointResult> SiteAcceptanceSession::results(const QVector<Anchor> &anchors) const
{
    QVector<PointResult> out;
    out.reserve(m_plan.points.size());
    for (int i = 0; i < m_plan.points.size(); ++i)
        out.append(result(i, anchors));
    return out;
}

SiteAcceptanceSession::Overall SiteAcceptanceSession::overall(const QVector<PointResult> &results) const
{
    Overall o;
    QVector<QVector<SurveyStatistics::Position>> used;
    used.reserve(results.size());
    QVector<SurveyStatistics::Set> sets;
    double worst = -1.0;
    bool anyRun = false;
    for (int i = 0; i < results.size(); ++i) {
        const PointResult &r = results.at(i);
        switch (r.status) {
        case Status::Pass:
            ++o.passed;
            break;
        case Status::Fail:
        case Status::NoUsable:
            ++o.failed;
            break;
        case Status::NotRun:
        case Status::NoReports:
            ++o.open;
            break;
        }
        anyRun = anyRun || r.status != Status::NotRun;
        // A point where nothing met the minimum quality is the worst there is.
        const double badness = r.status == Status::NoUsable ? std::numeric_limits<double>::infinity() : r.figure;
        if (!std::isnan(badness) && badness > worst) {
            worst = badness;
            o.worst = i;
        }
        if (r.run >= 0 && r.figures.valid()) {
            used.append(usedPositions(m_runs.at(i).at(r.run)));
            const SurveyPoint &p = m_plan.points.at(i);
            sets.append({nullptr, {p.x, p.y, p.z}});
        }
    }
    for (int i = 0; i < sets.size(); ++i)
        sets[i].positions = &used.at(i);
    o.figures = SurveyStatistics::pooled(sets);
    o.figure = figureOf(o.figures, m_plan.figure);
    if (!anyRun)
        o.verdict = Verdict::NotRun;
    else if (o.failed > 0)
        o.verdict = Verdict::Fail;
    else if (o.open > 0)
        o.verdict = Verdict::Incomplete;
    else
        o.verdict = Verdict::Pass;
    return o;
}

QString SiteAcceptanceSession::toCsv() const
{
    QString csv = QStringLiteral(
        "point,run,tag,started,time,x,y,z,pqf,used,error_x,error_y,error_z,horizontal_error\n");
    for (int i = 0; i < m_plan.points.size(); ++i) {
        const SurveyPoint &p = m_plan.points.at(i);
        for (const Run &run : m_runs.at(i)) {
            const QString head = QStringLiteral("%1,%2,0x%3,%4,")
                                     .arg(csvField(p.name))
                                     .arg(run.number)
                                     .arg(Rtls::hexId(run.tag))
                                     .arg(QDateTime::fromMSecsSinceEpoch(run.startedMs, Qt::UTC)
                                              .toString(Qt::ISODateWithMs));
            for (const Sample &s : run.samples) {
                const double ex = s.x - p.x, ey = s.y - p.y, ez = s.z - p.z;
                csv += head
                       + QStringList{QString::number(s.time, 'f', 3), metres(s.x), metres(s.y), metres(s.z),
                                     QString::number(s.pqf), s.used ? QStringLiteral("1") : QStringLiteral("0"),
                                     metres(ex), metres(ey), metres(ez), metres(std::hypot(ex, ey))}
                             .join(QLatin1Char(','))
                       + QLatin1Char('\n');
            }
        }
    }
    return csv;
}
