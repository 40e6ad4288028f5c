#pragma once

#include <QVector>

// Accuracy and precision of the positions a tag reported while it stood on
// a surveyed point: how far they lie from the truth (bias, horizontal error
// distribution) and how much they scatter about their own mean.
//
// Conventions, so that the figures can be checked by hand:
// - Standard deviations are sample ones (divided by n - 1; 0 for a single
//   position). RMS figures are root mean squares (divided by n).
// - Errors are position minus truth; the horizontal error of a position is
//   its distance from the truth in x and y.
// - CEP50 and CEP95 are the 50th and 95th percentiles of the horizontal
//   errors by the nearest-rank rule: of n errors sorted ascending, the
//   p-quantile is the one at rank ceil(p * n) (1-based). It is always an
//   error that was measured, and never smaller than the share p of them.
class SurveyStatistics
{
public:
    struct Position
    {
        double x = 0.0, y = 0.0, z = 0.0;
    };

    struct Figures
    {
        int count = 0;
        Position mean;
        // Mean minus truth, per axis and horizontally.
        double biasX = 0.0, biasY = 0.0, biasZ = 0.0, biasHorizontal = 0.0;
        double sdX = 0.0, sdY = 0.0, sdZ = 0.0;
        // About the mean: the precision, free of the bias.
        double rms2d = 0.0, rms3d = 0.0;
        // Horizontal errors from the truth.
        double cep50 = 0.0, cep95 = 0.0, maxError = 0.0;
        // About the truth: accuracy in three dimensions.
        double rms3dError = 0.0;

        bool valid() const { return count > 0; }
    };

    // The figures of one point's positions; count 0 (and nothing else
    // meaningful) for none.
    static Figures compute(const QVector<Position> &positions, const Position &truth);

    // The figures of several points at once: every position against its own
    // point's truth, pooled. Only the error figures (cep50, cep95, maxError,
    // rms3dError) and count are filled.
    struct Set
    {
        const QVector<Position> *positions;
        Position truth;
    };
    static Figures pooled(const QVector<Set> &sets);

    // The p-quantile (0 < p <= 1) of values by the nearest-rank rule; the
    // values are sorted in place. NaN for no values.
    static double quantile(QVector<double> &values, double p);
};
