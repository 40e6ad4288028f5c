#include "Positioner.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

namespace {

constexpr int kGaussNewtonIterations = 25;
constexpr double kMinOutlierGate = 0.2;

Vec3 centroid(const QVector<Vec3> &pts)
{
    Vec3 c;
    for (const Vec3 &p : pts)
        c = c + p;
    return pts.isEmpty() ? c : c * (1.0 / pts.size());
}

struct Rigid {
    double r[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    Vec3 from;
    Vec3 to;
    Vec3 apply(const Vec3 &p) const
    {
        const Vec3 d = p - from;
        return Vec3{r[0] * d.x + r[1] * d.y + r[2] * d.z, r[3] * d.x + r[4] * d.y + r[5] * d.z,
                    r[6] * d.x + r[7] * d.y + r[8] * d.z} +
               to;
    }
};

// Horn's closed-form absolute orientation (unit quaternion), no scaling.
Rigid hornAlign(const QVector<Vec3> &src, const QVector<Vec3> &dst)
{
    Rigid t;
    t.from = centroid(src);
    t.to = centroid(dst);
    double s[3][3] = {};
    for (int i = 0; i < src.size(); ++i) {
        const Vec3 a = src[i] - t.from;
        const Vec3 b = dst[i] - t.to;
        const double av[3] = {a.x, a.y, a.z};
        const double bv[3] = {b.x, b.y, b.z};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                s[r][c] += av[r] * bv[c];
    }
    const double sxx = s[0][0], sxy = s[0][1], sxz = s[0][2];
    const double syx = s[1][0], syy = s[1][1], syz = s[1][2];
    const double szx = s[2][0], szy = s[2][1], szz = s[2][2];
    const QVector<double> n = {sxx + syy + szz, syz - szy, szx - sxz, sxy - syx,
                               syz - szy, sxx - syy - szz, sxy + syx, szx + sxz,
                               szx - sxz, sxy + syx, -sxx + syy - szz, syz + szy,
                               sxy - syx, szx + sxz, syz + szy, -sxx - syy + szz};
    QVector<double> values, vectors;
    Positioner::jacobiEigen(n, 4, &values, &vectors);
    const int best = int(std::max_element(values.begin(), values.end()) - values.begin());
    const double q0 = vectors[0 * 4 + best], qx = vectors[1 * 4 + best];
    const double qy = vectors[2 * 4 + best], qz = vectors[3 * 4 + best];
    t.r[0] = q0 * q0 + qx * qx - qy * qy - qz * qz;
    t.r[1] = 2 * (qx * qy - q0 * qz);
    t.r[2] = 2 * (qx * qz + q0 * qy);
    t.r[3] = 2 * (qy * qx + q0 * qz);
    t.r[4] = q0 * q0 - qx * qx + qy * qy - qz * qz;
    t.r[5] = 2 * (qy * qz - q0 * qx);
    t.r[6] = 2 * (qz * qx - q0 * qy);
    t.r[7] = 2 * (qz * qy + q0 * qx);
    t.r[8] = q0 * q0 - qx * qx - qy * qy + qz * qz;
    return t;
}

// Classical multidimensional scaling into three dimensions.
QVector<Vec3> classicalMds(const QVector<QVector<double>> &d)
{
    const int n = d.size();
    QVector<double> b(n * n, 0.0);
    QVector<double> rowMean(n, 0.0);
    double all = 0.0;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const double v = d[i][j] * d[i][j];
            b[i * n + j] = v;
            rowMean[i] += v / n;
            all += v / (double(n) * n);
        }
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            b[i * n + j] = -0.5 * (b[i * n + j] - rowMean[i] - rowMean[j] + all);
    QVector<double> values, vectors;
    Positioner::jacobiEigen(b, n, &values, &vectors);
    QVector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int c) { return values[a] > values[c]; });
    QVector<Vec3> x(n);
    for (int k = 0; k < std::min(3, n); ++k) {
        const double scale = std::sqrt(std::max(values[order[k]], 0.0));
        for (int i = 0; i < n; ++i) {
            const double v = vectors[i * n + order[k]] * scale;
            if (k == 0)
                x[i].x = v;
            else if (k == 1)
                x[i].y = v;
            else
                x[i].z = v;
        }
    }
    return x;
}

// Levenberg-damped Gauss-Newton over the free axes of every anchor
// (bit 1 x, 2 y, 4 z of fixedAxes[i] marks an axis that must not move).
void refine(const QVector<QVector<double>> &d, const QVector<quint8> &fixedAxes, QVector<Vec3> *coords)
{
    const int n = coords->size();
    QVector<std::array<int, 3>> param(n, {-1, -1, -1});
    int m = 0;
    for (int i = 0; i < n; ++i)
        for (int a = 0; a < 3; ++a)
            if (!(fixedAxes[i] & (1 << a)))
                param[i][a] = m++;
    if (m == 0)
        return;
    auto axis = [](Vec3 &p, int a) -> double & { return a == 0 ? p.x : (a == 1 ? p.y : p.z); };
    for (int it = 0; it < kGaussNewtonIterations; ++it) {
        QVector<double> jtj(m * m, 0.0), jtr(m, 0.0);
        for (int i = 0; i < n; ++i)
            for (int j = i + 1; j < n; ++j) {
                if (std::isnan(d[i][j]))
                    continue;
                const Vec3 diff = (*coords)[i] - (*coords)[j];
                const double len = std::max(diff.norm(), 1e-9);
                const double r = len - d[i][j];
                const double g[3] = {diff.x / len, diff.y / len, diff.z / len};
                // Jacobian row: +g for anchor i's axes, -g for anchor j's.
                int idx[6];
                double val[6];
                int k = 0;
                for (int a = 0; a < 3; ++a) {
                    if (param[i][a] >= 0) {
                        idx[k] = param[i][a];
                        val[k++] = g[a];
                    }
                    if (param[j][a] >= 0) {
                        idx[k] = param[j][a];
                        val[k++] = -g[a];
                    }
                }
                for (int p = 0; p < k; ++p) {
                    jtr[idx[p]] += val[p] * r;
                    for (int q = 0; q < k; ++q)
                        jtj[idx[p] * m + idx[q]] += val[p] * val[q];
                }
            }
        for (int k = 0; k < m; ++k)
            jtj[k * m + k] += 1e-6 + 1e-3 * jtj[k * m + k];
        QVector<double> step;
        if (!Positioner::solveLinear(jtj, jtr, m, &step))
            return;
        double moved = 0.0;
        for (int i = 0; i < n; ++i)
            for (int a = 0; a < 3; ++a)
                if (param[i][a] >= 0) {
                    axis((*coords)[i], a) -= step[param[i][a]];
                    moved += std::fabs(step[param[i][a]]);
                }
        if (moved < 1e-7)
            return;
    }
}

double alignmentError(const Rigid &t, const QVector<Vec3> &src, const QVector<Vec3> &dst)
{
    double e = 0.0;
    for (int i = 0; i < src.size(); ++i)
        e += t.apply(src[i]).distanceTo(dst[i]);
    return e;
}

void toConventionalFrame(QVector<Vec3> *coords)
{
    QVector<Vec3> &c = *coords;
    if (c.size() < 3)
        return;
    const Vec3 o = c[0];
    Vec3 e1 = c[1] - o;
    e1 = e1 * (1.0 / std::max(e1.norm(), 1e-9));
    Vec3 v2 = c[2] - o;
    Vec3 e2 = v2 - e1 * e1.dot(v2);
    e2 = e2 * (1.0 / std::max(e2.norm(), 1e-9));
    const Vec3 e3{e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x};
    for (Vec3 &p : c) {
        const Vec3 d = p - o;
        p = Vec3{e1.dot(d), e2.dot(d), e3.dot(d)};
    }
}

} // namespace

quint8 Positioner::pqfFromRms(double rms)
{
    return quint8(std::lround(std::clamp(100.0 - rms * 400.0, 0.0, 100.0)));
}

Positioner::Fix Positioner::multilaterate(const QVector<Vec3> &anchors, const QVector<double> &ranges,
                                          const Vec3 &guess, double noise)
{
    Fix fix;
    QVector<int> use(anchors.size());
    std::iota(use.begin(), use.end(), 0);
    if (use.size() < 4)
        return fix;
    Vec3 p = guess;
    for (;;) {
        for (int it = 0; it < kGaussNewtonIterations; ++it) {
            QVector<double> jtj(9, 0.0), jtr(3, 0.0);
            for (int k : use) {
                const Vec3 diff = p - anchors[k];
                const double len = std::max(diff.norm(), 1e-9);
                const double g[3] = {diff.x / len, diff.y / len, diff.z / len};
                const double r = len - ranges[k];
                for (int a = 0; a < 3; ++a) {
                    jtr[a] += g[a] * r;
                    for (int b = 0; b < 3; ++b)
                        jtj[a * 3 + b] += g[a] * g[b];
                }
            }
            for (int a = 0; a < 3; ++a)
                jtj[a * 4] += 1e-6;
            QVector<double> step;
            if (!solveLinear(jtj, jtr, 3, &step))
                return fix;
            p = Vec3{p.x - step[0], p.y - step[1], p.z - step[2]};
            if (std::fabs(step[0]) + std::fabs(step[1]) + std::fabs(step[2]) < 1e-6)
                break;
        }
        int worst = -1;
        double worstAbs = 0.0, sum2 = 0.0;
        for (int i = 0; i < use.size(); ++i) {
            const double r = p.distanceTo(anchors[use[i]]) - ranges[use[i]];
            sum2 += r * r;
            if (std::fabs(r) > worstAbs) {
                worstAbs = std::fabs(r);
                worst = i;
            }
        }
        fix.rms = std::sqrt(sum2 / use.size());
        if (use.size() > 4 && worstAbs > std::max(4.0 * noise, kMinOutlierGate)) {
            use.remove(worst);
            continue;
        }
        break;
    }
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
        return fix;
    fix.ok = true;
    fix.pos = p;
    fix.used = use.size();
    fix.pqf = pqfFromRms(fix.rms);
    return fix;
}

bool Positioner::autoPosition(const QVector<QVector<double>> &dist, const QVector<quint8> &fixedAxes,
                              QVector<Vec3> *coords)
{
    const int n = dist.size();
    if (n < 4 || coords->size() != n || fixedAxes.size() != n)
        return false;
    QVector<bool> known(n);
    for (int i = 0; i < n; ++i)
        known[i] = fixedAxes[i] == kAllAxes;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            if (i != j && std::isnan(dist[i][j]))
                return false;
    QVector<Vec3> x = classicalMds(dist);
    QVector<Vec3> src, dst;
    for (int i = 0; i < n; ++i)
        if (known[i]) {
            src.append(x[i]);
            dst.append((*coords)[i]);
        }
    if (src.size() >= 3) {
        // MDS cannot tell a layout from its mirror image: try both.
        QVector<Vec3> mirrored = x;
        QVector<Vec3> msrc = src;
        for (Vec3 &p : mirrored)
            p.z = -p.z;
        for (Vec3 &p : msrc)
            p.z = -p.z;
        const Rigid a = hornAlign(src, dst);
        const Rigid b = hornAlign(msrc, dst);
        const bool useMirror = alignmentError(b, msrc, dst) < alignmentError(a, src, dst);
        const Rigid &t = useMirror ? b : a;
        const QVector<Vec3> &base = useMirror ? mirrored : x;
        // Start from the aligned layout, keeping the axes that are known.
        for (int i = 0; i < n; ++i) {
            const Vec3 p = t.apply(base[i]);
            Vec3 &c = (*coords)[i];
            c = Vec3{fixedAxes[i] & 1 ? c.x : p.x, fixedAxes[i] & 2 ? c.y : p.y, fixedAxes[i] & 4 ? c.z : p.z};
        }
        refine(dist, fixedAxes, coords);
        return true;
    }
    *coords = x;
    refine(dist, QVector<quint8>(n, 0), coords);
    toConventionalFrame(coords);
    return true;
}

void Positioner::jacobiEigen(QVector<double> a, int n, QVector<double> *values, QVector<double> *vectors)
{
    QVector<double> v(n * n, 0.0);
    for (int i = 0; i < n; ++i)
        v[i * n + i] = 1.0;
    for (int sweep = 0; sweep < 100; ++sweep) {
        double off = 0.0;
        for (int p = 0; p < n; ++p)
            for (int q = p + 1; q < n; ++q)
                off += a[p * n + q] * a[p * n + q];
        if (off < 1e-22)
            break;
        for (int p = 0; p < n; ++p)
            for (int q = p + 1; q < n; ++q) {
                const double apq = a[p * n + q];
                if (std::fabs(apq) < 1e-300)
                    continue;
                const double theta = (a[q * n + q] - a[p * n + p]) / (2.0 * apq);
                const double t = (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0);
                const double s = t * c;
                for (int k = 0; k < n; ++k) {
                    const double akp = a[k * n + p], akq = a[k * n + q];
                    a[k * n + p] = c * akp - s * akq;
                    a[k * n + q] = s * akp + c * akq;
                }
                for (int k = 0; k < n; ++k) {
                    const double apk = a[p * n + k], aqk = a[q * n + k];
                    a[p * n + k] = c * apk - s * aqk;
                    a[q * n + k] = s * apk + c * aqk;
                }
                for (int k = 0; k < n; ++k) {
                    const double vkp = v[k * n + p], vkq = v[k * n + q];
                    v[k * n + p] = c * vkp - s * vkq;
                    v[k * n + q] = s * vkp + c * vkq;
                }
            }
    }
    values->resize(n);
    for (int i = 0; i < n; ++i)
        (*values)[i] = a[i * n + i];
    *vectors = v;
}

bool Positioner::solveLinear(QVector<double> a, QVector<double> b, int n, QVector<double> *x)
{
    for (int col = 0; col < n; ++col) {
        int pivot = col;
        for (int r = col + 1; r < n; ++r)
            if (std::fabs(a[r * n + col]) > std::fabs(a[pivot * n + col]))
                pivot = r;
        if (std::fabs(a[pivot * n + col]) < 1e-15)
            return false;
        if (pivot != col) {
            for (int k = 0; k < n; ++k)
                std::swap(a[col * n + k], a[pivot * n + k]);
            std::swap(b[col], b[pivot]);
        }
        for (int r = col + 1; r < n; ++r) {
            const double f = a[r * n + col] / a[col * n + col];
            for (int k = col; k < n; ++k)
                a[r * n + k] -= f * a[col * n + k];
            b[r] -= f * b[col];
        }
    }
    x->resize(n);
    for (int r = n - 1; r >= 0; --r) {
        double s = b[r];
        for (int k = r + 1; k < n; ++k)
            s -= a[r * n + k] * (*x)[k];
        (*x)[r] = s / a[r * n + r];
    }
    return true;
}
