#include "AnchorDelaySolver.h"

#include "CalibrationConstants.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>

namespace {

struct Edge {
    int a;
    int b;
    double excess; // measured - surveyed
    bool used = true;
};

// Connected groups of anchors over the used edges, and whether each group
// holds an odd cycle (then the per-anchor errors are determined).
QVector<QVector<int>> solvableGroups(int n, const QVector<Edge> &edges)
{
    QVector<QVector<int>> adjacency(n);
    for (const Edge &e : edges)
        if (e.used) {
            adjacency[e.a].append(e.b);
            adjacency[e.b].append(e.a);
        }
    QVector<int> colour(n, -1);
    QVector<QVector<int>> groups;
    for (int start = 0; start < n; ++start) {
        if (colour[start] >= 0 || adjacency[start].isEmpty())
            continue;
        QVector<int> group{start};
        bool oddCycle = false;
        colour[start] = 0;
        for (int k = 0; k < group.size(); ++k) {
            const int v = group[k];
            for (int w : qAsConst(adjacency[v])) {
                if (colour[w] < 0) {
                    colour[w] = 1 - colour[v];
                    group.append(w);
                } else if (colour[w] == colour[v]) {
                    oddCycle = true;
                }
            }
        }
        if (oddCycle && group.size() >= 3)
            groups.append(group);
    }
    return groups;
}

double rms(const QVector<double> &values)
{
    if (values.isEmpty())
        return 0.0;
    double sum = 0.0;
    for (double v : values)
        sum += v * v;
    return std::sqrt(sum / values.size());
}

} // namespace

AnchorDelaySolver::Result AnchorDelaySolver::solve(const AnchorSurvey &survey)
{
    const QVector<AnchorSurvey::Anchor> &anchors = survey.anchors;
    Result result;
    for (const AnchorSurvey::Anchor &a : anchors)
        result.anchors.insert(a.id, AnchorResult());
    // One equation per pair: err(a) + err(b) = measured - surveyed.
    QVector<Edge> edges;
    const QVector<AnchorSurvey::Pair> pairs = survey.surveyedPairs();
    for (const AnchorSurvey::Pair &p : pairs)
        edges.append(Edge{p.a, p.b, p.measured - p.surveyed});

    const int n = anchors.size();
    QVector<double> error(n, 0.0);
    QVector<bool> solved(n, false);
    // Fit, drop the worst outlier if there is one, fit again.
    for (int pass = 0; pass < 1 + edges.size(); ++pass) {
        std::fill(solved.begin(), solved.end(), false);
        const QVector<QVector<int>> groups = solvableGroups(n, edges);
        for (const QVector<int> &group : groups) {
            QHash<int, int> column;
            for (int k = 0; k < group.size(); ++k)
                column.insert(group[k], k);
            QVector<const Edge *> rows;
            for (const Edge &e : edges)
                if (e.used && column.contains(e.a))
                    rows.append(&e);
            Eigen::MatrixXd A = Eigen::MatrixXd::Zero(rows.size(), group.size());
            Eigen::VectorXd y(rows.size());
            for (int r = 0; r < rows.size(); ++r) {
                A(r, column.value(rows[r]->a)) = 1.0;
                A(r, column.value(rows[r]->b)) = 1.0;
                y(r) = rows[r]->excess;
            }
            const Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(A);
            if (qr.rank() < group.size())
                continue;
            const Eigen::VectorXd x = qr.solve(y);
            for (int k = 0; k < group.size(); ++k) {
                error[group[k]] = x(k);
                solved[group[k]] = true;
            }
        }

        QVector<double> residuals;
        Edge *worst = nullptr;
        double worstAbs = 0.0;
        for (Edge &e : edges) {
            if (!e.used || !solved[e.a] || !solved[e.b])
                continue;
            const double r = e.excess - error[e.a] - error[e.b];
            residuals.append(r);
            if (std::fabs(r) > worstAbs) {
                worstAbs = std::fabs(r);
                worst = &e;
            }
        }
        const double fitRms = rms(residuals);
        if (!worst || worstAbs <= std::max(kOutlierFloor, kOutlierFactor * fitRms))
            break;
        worst->used = false;
        ++result.pairsRejected;
    }

    QVector<double> before;
    QVector<double> after;
    for (const Edge &e : edges) {
        if (!e.used || !solved[e.a] || !solved[e.b])
            continue;
        before.append(e.excess);
        after.append(e.excess - error[e.a] - error[e.b]);
        ++result.anchors[anchors[e.a].id].pairs;
        ++result.anchors[anchors[e.b].id].pairs;
    }
    for (int i = 0; i < n; ++i) {
        if (!solved[i])
            continue;
        AnchorResult &r = result.anchors[anchors[i].id];
        r.solved = true;
        r.errorMetres = error[i];
        r.changeUnits = Calib::unitsFor(error[i]);
    }
    result.pairsUsed = before.size();
    result.rmsBefore = rms(before);
    result.rmsAfter = rms(after);
    return result;
}
