#include "SurveyStatistics.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kCep50 = 0.50;
constexpr double kCep95 = 0.95;

double nan()
{
    return std::numeric_limits<double>::quiet_NaN();
}

} // namespace

double SurveyStatistics::quantile(QVector<double> &values, double p)
{
    if (values.isEmpty())
        return nan();
    std::sort(values.begin(), values.end());
    // The small slack keeps p * n that is a whole number in exact
    // arithmetic (0.95 * 20 = 19) from rounding up to the next rank.
    const int rank = int(std::ceil(p * values.size() - 1e-9));
    return values[std::clamp(rank, 1, values.size()) - 1];
}

SurveyStatistics::Figures SurveyStatistics::compute(const QVector<Position> &positions, const Position &truth)
{
    Figures f;
    f.count = positions.size();
    if (positions.isEmpty())
        return f;
    const double n = positions.size();
    for (const Position &p : positions) {
        f.mean.x += p.x;
        f.mean.y += p.y;
        f.mean.z += p.z;
    }
    f.mean.x /= n;
    f.mean.y /= n;
    f.mean.z /= n;
    f.biasX = f.mean.x - truth.x;
    f.biasY = f.mean.y - truth.y;
    f.biasZ = f.mean.z - truth.z;
    f.biasHorizontal = std::hypot(f.biasX, f.biasY);

    double sxx = 0.0, syy = 0.0, szz = 0.0, error3 = 0.0;
    QVector<double> horizontal;
    horizontal.reserve(positions.size());
    for (const Position &p : positions) {
        const double dx = p.x - f.mean.x, dy = p.y - f.mean.y, dz = p.z - f.mean.z;
        sxx += dx * dx;
        syy += dy * dy;
        szz += dz * dz;
        const double ex = p.x - truth.x, ey = p.y - truth.y, ez = p.z - truth.z;
        horizontal.append(std::hypot(ex, ey));
        error3 += ex * ex + ey * ey + ez * ez;
    }
    if (positions.size() > 1) {
        f.sdX = std::sqrt(sxx / (n - 1.0));
        f.sdY = std::sqrt(syy / (n - 1.0));
        f.sdZ = std::sqrt(szz / (n - 1.0));
    }
    f.rms2d = std::sqrt((sxx + syy) / n);
    f.rms3d = std::sqrt((sxx + syy + szz) / n);
    f.rms3dError = std::sqrt(error3 / n);
    f.cep50 = quantile(horizontal, kCep50);
    f.cep95 = quantile(horizontal, kCep95);
    f.maxError = horizontal.last();
    return f;
}

SurveyStatistics::Figures SurveyStatistics::pooled(const QVector<Set> &sets)
{
    Figures f;
    QVector<double> horizontal;
    double error3 = 0.0;
    for (const Set &set : sets) {
        for (const Position &p : *set.positions) {
            const double ex = p.x - set.truth.x, ey = p.y - set.truth.y, ez = p.z - set.truth.z;
            horizontal.append(std::hypot(ex, ey));
            error3 += ex * ex + ey * ey + ez * ez;
        }
    }
    f.count = horizontal.size();
    if (horizontal.isEmpty())
        return f;
    f.rms3dError = std::sqrt(error3 / horizontal.size());
    f.cep50 = quantile(horizontal, kCep50);
    f.cep95 = quantile(horizontal, kCep95);
    f.maxError = horizontal.last();
    return f;
}
