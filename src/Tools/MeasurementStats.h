#pragma once

// Running count, mean, standard deviation, minimum and maximum of a series
// of values, kept without storing them (Welford's method, which stays
// accurate when the spread is small against the mean, as with ranges).
class MeasurementStats
{
public:
    void add(double value);
    void clear();

    int count() const { return m_count; }
    double mean() const { return m_mean; }
    // Sample standard deviation; 0 below two values.
    double stddev() const;
    double min() const { return m_min; }
    double max() const { return m_max; }

private:
    int m_count = 0;
    double m_mean = 0.0;
    double m_m2 = 0.0;
    double m_min = 0.0;
    double m_max = 0.0;
};
