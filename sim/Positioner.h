#pragma once

#include "Vec3.h"

#include <QtGlobal>

#include <QVector>

// The location engine's arithmetic: tag positions from ranges to anchors
// (least squares), and anchor positions from the anchor-to-anchor ranges
// (auto-positioning).
class Positioner
{
public:
    struct Fix {
        bool ok = false;
        Vec3 pos;
        double rms = 0.0;
        int used = 0;
        quint8 pqf = 0;
    };

    // Gauss-Newton fit; ranges that disagree with the fit by far more than
    // the noise are dropped one by one while at least four remain.
    static Fix multilaterate(const QVector<Vec3> &anchors, const QVector<double> &ranges, const Vec3 &guess,
                             double noise);
    static quint8 pqfFromRms(double rms);

    static constexpr quint8 kAllAxes = 7;

    // dist is a symmetric n x n matrix of measured ranges (NaN where two
    // anchors cannot hear each other). fixedAxes[i] marks the axes of
    // coords[i] that are known (bit 1 x, 2 y, 4 z); anchors known on all
    // three fix the frame (three or more are needed for that), otherwise the
    // frame is anchor 0 at the origin, anchor 1 on +x, anchor 2 in the
    // x-y plane with y > 0. Returns false when the ranges are too few.
    static bool autoPosition(const QVector<QVector<double>> &dist, const QVector<quint8> &fixedAxes,
                             QVector<Vec3> *coords);

    // Symmetric eigen-decomposition by Jacobi rotations; eigenvalues in
    // *values, eigenvectors as the columns of *vectors (row-major n x n).
    static void jacobiEigen(QVector<double> a, int n, QVector<double> *values, QVector<double> *vectors);
    static bool solveLinear(QVector<double> a, QVector<double> b, int n, QVector<double> *x);
};
