#pragma once

#include "SurveyPlan.h"
#include "SurveyStatistics.h"

#include <QHash>
#include <QString>
#include <QVector>

#include <cstdint>

class RtlsObject;

// The site acceptance test without its window: the surveyed points, the
// runs of a tag parked on each (every position it reported, the ones below
// the minimum quality kept but not used), and the verdict of each point and
// of the site against the target. A point can be run again; its newest run
// counts, the older ones stay for the CSV.
//
// A report costs one id comparison for any node but the running tag, and
// for that tag an append and a few look-ups; the statistics are worked out
// when asked for, on the view's clock.
class SiteAcceptanceSession
{
public:
    struct Sample
    {
        double time = 0.0; // the report's time stamp, seconds since the epoch
        float x = 0.0f, y = 0.0f, z = 0.0f;
        int pqf = 0;
        bool used = false;
    };

    struct Run
    {
        int number = 0; // 1 for a point's first run
        uint64_t tag = 0;
        qint64 startedMs = 0; // since the epoch
        int minPqf = 0;
        QVector<Sample> samples;
        int used = 0;
        // Position reports that carried a range to each anchor.
        QHash<uint64_t, int> heard;

        int reports() const { return samples.size(); }
        int belowQuality() const { return samples.size() - used; }
    };

    // An anchor as the results need it: where the master has it and whether
    // the layout check or the calibration flagged it.
    struct Anchor
    {
        uint64_t id = 0;
        double x = 0.0, y = 0.0, z = 0.0;
        bool flagged = false;
    };

    enum class Status { NotRun, NoReports, NoUsable, Pass, Fail };
    enum class Verdict { NotRun, Incomplete, Pass, Fail };

    struct PointResult
    {
        Status status = Status::NotRun;
        int runs = 0;
        int run = -1; // the newest, by index into runs(point)
        SurveyStatistics::Figures figures;
        double figure; // the one held against the target; NaN without one
        double hdop;   // predicted from the anchor layout
        QVector<uint64_t> inRange;     // heard in at least half of the run's reports
        QVector<uint64_t> flaggedNear; // flagged anchors among the four nearest
        PointResult();
    };

    struct Overall
    {
        Verdict verdict = Verdict::NotRun;
        SurveyStatistics::Figures figures; // every used position, pooled
        double figure;                     // the target's figure of the pool
        int worst = -1;                    // the point furthest from the target
        int passed = 0, failed = 0, open = 0;
        Overall();
    };

    // Flagged anchors are named beside a point when they are among the
    // point's this many nearest anchors (as many as a fix in space needs).
    static constexpr int kNearAnchors = 4;

    SurveyPlan &plan() { return m_plan; }
    const SurveyPlan &plan() const { return m_plan; }
    // A new plan: its points start without runs.
    void setPlan(const SurveyPlan &plan);
    void addPoint(const SurveyPoint &point);
    // The point goes with its runs; not while it runs.
    bool removePoint(int index);
    // A corrected point keeps its runs: their figures follow the new truth.
    void setPoint(int index, const SurveyPoint &point);
    int pointCount() const { return m_plan.points.size(); }
    int indexOf(const QString &name) const;

    // A new run of the point with the tag; positions below minPqf are kept
    // but not used.
    bool start(int point, uint64_t tag, int minPqf, qint64 nowMs);
    void stop();
    bool isRunning() const { return m_running >= 0; }
    int runningPoint() const { return m_running; }
    const Run *currentRun() const;

    // Takes the node's last report when it is the running tag's and a new
    // one that carried a position. Returns whether it was taken.
    bool addReport(RtlsObject *node);

    const QVector<Run> &runs(int point) const { return m_runs.at(point); }
    PointResult result(int point, const QVector<Anchor> &anchors) const;
    QVector<PointResult> results(const QVector<Anchor> &anchors) const;
    Overall overall(const QVector<PointResult> &results) const;

    // The positions a run used, for the statistics and the plots.
    static QVector<SurveyStatistics::Position> usedPositions(const Run &run);

    // "point,run,tag,started,time,x,y,z,pqf,used,error_x,error_y,error_z,
    // horizontal_error": every position of every run, errors against the
    // point's truth; metres with 4 decimals.
    QString toCsv() const;

private:
    SurveyPlan m_plan;
    QVector<QVector<Run>> m_runs; // beside m_plan.points
    int m_running = -1;
    uint64_t m_tag = 0;
    double m_lastTime = -1.0;
    uint64_t m_lastUpdate = 0;
};
