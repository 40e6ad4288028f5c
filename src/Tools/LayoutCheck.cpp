#include "LayoutCheck.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kMaxIterations = 100;
constexpr int kAlignIterations = 20;
// Residuals below this are noise and antenna-delay error, not a survey fault.
constexpr double kAlignFloor = 0.05;

using Pair = AnchorSurvey::Pair;

double median(QVector<double> v)
{
    if (v.isEmpty())
        return 0.0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

// Positions (x, y per member; z fixed) that fit the ranges best, by
// Levenberg-Marquardt from the surveyed layout.
Eigen::VectorXd fitPositions(const QVector<int> &group, const QVector<AnchorSurvey::Anchor> &anchors,
                             const QVector<Pair> &pairs, const QHash<int, int> &column, double *rangeRms)
{
    const int n = group.size();
    Eigen::VectorXd p(2 * n);
    for (int k = 0; k < n; ++k) {
        p(2 * k) = anchors[group[k]].x;
        p(2 * k + 1) = anchors[group[k]].y;
    }
    auto residuals = [&](const Eigen::VectorXd &q, Eigen::MatrixXd *jacobian) {
        Eigen::VectorXd r(pairs.size());
        if (jacobian)
            *jacobian = Eigen::MatrixXd::Zero(pairs.size(), 2 * n);
        for (int e = 0; e < pairs.size(); ++e) {
            const int i = column.value(pairs[e].a);
            const int j = column.value(pairs[e].b);
            const double dx = q(2 * i) - q(2 * j);
            const double dy = q(2 * i + 1) - q(2 * j + 1);
            const double dz = anchors[pairs[e].a].z - anchors[pairs[e].b].z;
            const double d = std::max(1e-9, std::sqrt(dx * dx + dy * dy + dz * dz));
            r(e) = d - pairs[e].measured;
            if (jacobian) {
                (*jacobian)(e, 2 * i) = dx / d;
                (*jacobian)(e, 2 * i + 1) = dy / d;
                (*jacobian)(e, 2 * j) = -dx / d;
                (*jacobian)(e, 2 * j + 1) = -dy / d;
            }
        }
        return r;
    };

    double lambda = 1e-3;
    Eigen::MatrixXd J;
    Eigen::VectorXd r = residuals(p, &J);
    double cost = r.squaredNorm();
    for (int it = 0; it < kMaxIterations; ++it) {
        const Eigen::MatrixXd JtJ = J.transpose() * J;
        const Eigen::VectorXd g = J.transpose() * r;
        // The damping also takes care of the free rotation and shift, which
        // the ranges cannot fix.
        Eigen::MatrixXd A = JtJ;
        A.diagonal().array() += lambda * (JtJ.diagonal().array() + 1e-6);
        const Eigen::VectorXd step = A.ldlt().solve(-g);
        const Eigen::VectorXd next = p + step;
        Eigen::MatrixXd Jn;
        const Eigen::VectorXd rn = residuals(next, &Jn);
        const double nextCost = rn.squaredNorm();
        if (nextCost < cost) {
            const bool converged = cost - nextCost < 1e-12 * std::max(1.0, cost) || step.norm() < 1e-7;
            p = next;
            J = Jn;
            r = rn;
            cost = nextCost;
            lambda = std::max(lambda / 3.0, 1e-9);
            if (converged)
                break;
        } else {
            lambda *= 4.0;
            if (lambda > 1e9)
                break;
        }
    }
    *rangeRms = pairs.isEmpty() ? 0.0 : std::sqrt(cost / pairs.size());
    return p;
}

} // namespace

LayoutCheck::Result LayoutCheck::check(const AnchorSurvey &survey)
{
    Result result;
    const QVector<AnchorSurvey::Anchor> &anchors = survey.anchors;
    for (const AnchorSurvey::Anchor &a : anchors)
        result.anchors.insert(a.id, AnchorResult());
    QVector<QVector<int>> adjacency(anchors.size());
    const QVector<Pair> allPairs = survey.surveyedPairs();
    for (const Pair &p : allPairs) {
        adjacency[p.a].append(p.b);
        adjacency[p.b].append(p.a);
    }

    QVector<bool> seen(anchors.size(), false);
    double sumSquares = 0.0;
    int pairCount = 0;
    for (int start = 0; start < anchors.size(); ++start) {
        if (seen[start] || adjacency[start].isEmpty())
            continue;
        QVector<int> group{start};
        seen[start] = true;
        for (int k = 0; k < group.size(); ++k)
            for (int w : qAsConst(adjacency[group[k]]))
                if (!seen[w]) {
                    seen[w] = true;
                    group.append(w);
                }
        if (group.size() < kMinGroup)
            continue;
        std::sort(group.begin(), group.end());
        QHash<int, int> column;
        for (int k = 0; k < group.size(); ++k)
            column.insert(group[k], k);
        QVector<Pair> pairs;
        for (const Pair &p : qAsConst(allPairs))
            if (column.contains(p.a))
                pairs.append(p);

        double groupRms = 0.0;
        const Eigen::VectorXd fit = fitPositions(group, anchors, pairs, column, &groupRms);
        sumSquares += groupRms * groupRms * pairs.size();
        pairCount += pairs.size();

        // Lay the fit onto the surveyed layout: weighted rotation and shift
        // in the horizontal plane, the weights taking a bad anchor out.
        const int n = group.size();
        QVector<double> weight(n, 1.0);
        QVector<double> residual(n, 0.0);
        QVector<double> ax(n), ay(n);
        for (int round = 0; round < kAlignIterations; ++round) {
            double wsum = 0.0, fx = 0.0, fy = 0.0, sx = 0.0, sy = 0.0;
            for (int k = 0; k < n; ++k) {
                wsum += weight[k];
                fx += weight[k] * fit(2 * k);
                fy += weight[k] * fit(2 * k + 1);
                sx += weight[k] * anchors[group[k]].x;
                sy += weight[k] * anchors[group[k]].y;
            }
            fx /= wsum;
            fy /= wsum;
            sx /= wsum;
            sy /= wsum;
            double cross = 0.0, dot = 0.0;
            for (int k = 0; k < n; ++k) {
                const double px = fit(2 * k) - fx, py = fit(2 * k + 1) - fy;
                const double qx = anchors[group[k]].x - sx, qy = anchors[group[k]].y - sy;
                cross += weight[k] * (px * qy - py * qx);
                dot += weight[k] * (px * qx + py * qy);
            }
            const double angle = std::atan2(cross, dot);
            const double c = std::cos(angle), s = std::sin(angle);
            for (int k = 0; k < n; ++k) {
                const double px = fit(2 * k) - fx, py = fit(2 * k + 1) - fy;
                ax[k] = sx + c * px - s * py;
                ay[k] = sy + s * px + c * py;
                residual[k] = std::hypot(ax[k] - anchors[group[k]].x, ay[k] - anchors[group[k]].y);
            }
            const double scale = std::max(kAlignFloor, 1.4826 * median(residual));
            for (int k = 0; k < n; ++k) {
                const double limit = 2.0 * scale;
                weight[k] = residual[k] <= limit ? 1.0 : (limit / residual[k]) * (limit / residual[k]);
            }
        }

        for (int k = 0; k < n; ++k) {
            AnchorResult &r = result.anchors[anchors[group[k]].id];
            r.checked = true;
            r.fitX = ax[k];
            r.fitY = ay[k];
            r.fitZ = anchors[group[k]].z;
            r.residual = residual[k];
            r.pairs = adjacency[group[k]].size();
            ++result.checkedCount;
            if (result.flagged == 0 || r.residual > result.worstResidual) {
                result.flagged = anchors[group[k]].id;
                result.worstResidual = r.residual;
            }
        }
    }
    result.rangeRms = pairCount > 0 ? std::sqrt(sumSquares / pairCount) : 0.0;
    return result;
}
