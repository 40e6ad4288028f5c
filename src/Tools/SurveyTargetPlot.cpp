#include "SurveyTargetPlot.h"

#include <QGraphicsLayout>
#include <QPainter>
#include <QPen>
#include <QtCharts/QChart>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>

using namespace QtCharts;

namespace {

constexpr int kCirclePoints = 96;
constexpr double kSpanMargin = 1.15;
constexpr double kMinHalfSpan = 0.05;
constexpr int kMinimumSide = 240;
constexpr double kMinArea = 40.0;
constexpr double kMaxAspect = 4.0;
// Text in a rendered plot is read at a fraction of its pixels' size.
constexpr double kRenderFontScale = 1.6;

QVector<QPointF> circle(double radius)
{
    QVector<QPointF> points;
    if (!(radius > 0.0) || !std::isfinite(radius))
        return points;
    points.reserve(kCirclePoints + 1);
    for (int i = 0; i <= kCirclePoints; ++i) {
        const double a = 2.0 * M_PI * i / kCirclePoints;
        points.append(QPointF(radius * std::cos(a), radius * std::sin(a)));
    }
    return points;
}

// A round number of metres at least v: 1, 2 or 5 times a power of ten.
double niceCeil(double v)
{
    const double power = std::pow(10.0, std::floor(std::log10(v)));
    for (const double step : {1.0, 2.0, 5.0, 10.0})
        if (step * power >= v - 1e-12)
            return step * power;
    return 10.0 * power;
}

QLineSeries *circleSeries(const QString &name, const QColor &colour, Qt::PenStyle style)
{
    auto *series = new QLineSeries;
    series->setName(name);
    QPen pen(colour);
    pen.setWidthF(2.0);
    pen.setStyle(style);
    series->setPen(pen);
    return series;
}

} // namespace

SurveyTargetPlot::SurveyTargetPlot(QWidget *parent) : QChartView(parent)
{
    auto *chart = new QChart;
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->legend()->setAlignment(Qt::AlignBottom);
    m_errors = new QScatterSeries;
    m_errors->setName(tr("Horizontal errors"));
    m_errors->setMarkerSize(6.0);
    m_errors->setColor(QColor(40, 90, 200, 160));
    m_errors->setBorderColor(Qt::transparent);
    m_cep50 = circleSeries(tr("CEP50"), QColor(0, 150, 0), Qt::SolidLine);
    m_cep95 = circleSeries(tr("CEP95"), QColor(230, 140, 0), Qt::SolidLine);
    m_target = circleSeries(tr("Target"), QColor(200, 0, 0), Qt::DashLine);
    m_axisX = new QValueAxis;
    m_axisX->setTitleText(tr("x error [m]"));
    m_axisY = new QValueAxis;
    m_axisY->setTitleText(tr("y error [m]"));
    // Ticks on round numbers from the origin, whatever the span.
    for (QValueAxis *axis : {m_axisX, m_axisY}) {
        // An interval first: dynamic ticks at the default interval of 0
        // would be endless.
        axis->setTickInterval(m_halfSpan / 2.0);
        axis->setTickAnchor(0.0);
        axis->setTickType(QValueAxis::TicksDynamic);
        axis->setLabelFormat(QStringLiteral("%.3g"));
    }
    chart->addAxis(m_axisX, Qt::AlignBottom);
    chart->addAxis(m_axisY, Qt::AlignLeft);
    for (QXYSeries *series : {static_cast<QXYSeries *>(m_errors), static_cast<QXYSeries *>(m_cep50),
                              static_cast<QXYSeries *>(m_cep95), static_cast<QXYSeries *>(m_target)}) {
        chart->addSeries(series);
        series->attachAxis(m_axisX);
        series->attachAxis(m_axisY);
    }
    setChart(chart);
    setRenderHint(QPainter::Antialiasing);
    setMinimumSize(kMinimumSide, kMinimumSide);
    connect(chart, &QChart::plotAreaChanged, this, &SurveyTargetPlot::keepScale);
    setData(Data());
}

void SurveyTargetPlot::setData(const Data &data)
{
    m_data = data;
    chart()->setTitle(data.title);
    m_errors->replace(data.errors);
    m_cep50->replace(circle(data.cep50));
    m_cep95->replace(circle(data.cep95));
    m_target->replace(circle(data.target));
    double largest = std::max({data.cep95, data.target, kMinHalfSpan});
    for (const QPointF &e : data.errors)
        largest = std::max({largest, std::fabs(e.x()), std::fabs(e.y())});
    m_halfSpan = niceCeil(largest * kSpanMargin);
    m_axisX->setTickInterval(m_halfSpan / 2.0);
    m_axisY->setTickInterval(m_halfSpan / 2.0);
    keepScale();
}

// The longer side of the plot area gets the longer axis, so that a metre is
// as long across as up.
void SurveyTargetPlot::keepScale()
{
    if (m_scaling)
        return;
    m_scaling = true;
    const QRectF area = chart()->plotArea();
    double sx = m_halfSpan, sy = m_halfSpan;
    // A plot area not laid out yet (a few pixels) says nothing of the shape.
    if (area.width() > kMinArea && area.height() > kMinArea) {
        const double ratio = std::min(kMaxAspect, std::max(area.width(), area.height()) / std::min(area.width(), area.height()));
        if (area.width() > area.height())
            sx = m_halfSpan * ratio;
        else
            sy = m_halfSpan * ratio;
    }
    m_axisX->setRange(-sx, sx);
    m_axisY->setRange(-sy, sy);
    m_scaling = false;
}

QImage SurveyTargetPlot::render(const Data &data, const QSize &size)
{
    SurveyTargetPlot plot;
    plot.setMinimumSize(1, 1);
    plot.setData(data);
    QChart *chart = plot.chart();
    QFont font = chart->titleFont();
    font.setPointSizeF(font.pointSizeF() * kRenderFontScale);
    chart->setTitleFont(font);
    for (QValueAxis *axis : {plot.m_axisX, plot.m_axisY}) {
        QFont labels = axis->labelsFont();
        labels.setPointSizeF(labels.pointSizeF() * kRenderFontScale);
        axis->setLabelsFont(labels);
        axis->setTitleFont(labels);
    }
    // The page says once what the colours are; each plot keeps its room
    // for the dots.
    chart->legend()->hide();
    chart->setMinimumSize(QSizeF(1, 1));
    chart->resize(size);
    // Off screen nothing lays the chart out on its own: once for the size,
    // once more for the axes' labels after the scale was kept.
    for (int pass = 0; pass < 2; ++pass) {
        chart->layout()->invalidate();
        chart->layout()->activate();
    }
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    chart->scene()->render(&painter, QRectF(QPointF(0, 0), size), QRectF(QPointF(0, 0), size));
    return image;
}
