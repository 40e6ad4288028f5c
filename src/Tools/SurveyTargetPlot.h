#pragma once

#include <QPointF>
#include <QString>
#include <QVector>
#include <QtCharts/QChartView>

namespace QtCharts {
class QLineSeries;
class QScatterSeries;
class QValueAxis;
} // namespace QtCharts

// The target plot of one surveyed point: every used position's horizontal
// error (position minus truth) as a dot around the origin, with the circles
// that hold half and 95 % of them (CEP50, CEP95) and the target's circle.
// Both axes keep the same scale, so circles look round.
class SurveyTargetPlot : public QtCharts::QChartView
{
    Q_OBJECT

public:
    struct Data
    {
        QString title;
        QVector<QPointF> errors; // metres, x and y
        double cep50 = 0.0;
        double cep95 = 0.0;
        double target = 0.0;
    };

    explicit SurveyTargetPlot(QWidget *parent = nullptr);

    void setData(const Data &data);
    const Data &data() const { return m_data; }
    // Half the span of each axis, in metres.
    double halfSpan() const { return m_halfSpan; }

    // The plot drawn into an image of the given size, for the report,
    // without its legend.
    static QImage render(const Data &data, const QSize &size);

private:
    void keepScale();

    Data m_data;
    double m_halfSpan = 0.5;
    bool m_scaling = false;
    QtCharts::QScatterSeries *m_errors;
    QtCharts::QLineSeries *m_cep50;
    QtCharts::QLineSeries *m_cep95;
    QtCharts::QLineSeries *m_target;
    QtCharts::QValueAxis *m_axisX;
    QtCharts::QValueAxis *m_axisY;
};
