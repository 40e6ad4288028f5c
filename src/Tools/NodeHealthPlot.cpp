#include "NodeHealthPlot.h"

#include "RtlsObjectStats.h"

#include <QComboBox>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>

using namespace QtCharts;

namespace {

constexpr int kPlotHeight = 180;
// Part of the value range added above and below, so a flat line shows.
constexpr double kYMargin = 0.05;

const char *const kTitles[] = {
    QT_TRANSLATE_NOOP("NodeHealthPlot", "Sync count"),
    QT_TRANSLATE_NOOP("NodeHealthPlot", "Sync drift [1e-12]"),
    QT_TRANSLATE_NOOP("NodeHealthPlot", "Sync error"),
    QT_TRANSLATE_NOOP("NodeHealthPlot", "Raw sync drift [1e-12]"),
    QT_TRANSLATE_NOOP("NodeHealthPlot", "Raw sync error"),
};

} // namespace

NodeHealthPlot::NodeHealthPlot(QWidget *parent) : QWidget(parent)
{
    m_choice = new QComboBox(this);
    m_choice->setObjectName(QStringLiteral("historyChoice"));
    for (const char *title : kTitles)
        m_choice->addItem(tr(title));

    auto *chart = new QChart;
    chart->legend()->hide();
    chart->setMargins(QMargins(2, 2, 2, 2));
    m_series = new QLineSeries;
    chart->addSeries(m_series);
    m_axisX = new QValueAxis;
    m_axisX->setLabelFormat(QStringLiteral("%d"));
    m_axisY = new QValueAxis;
    m_axisY->setLabelFormat(QStringLiteral("%.4g"));
    chart->addAxis(m_axisX, Qt::AlignBottom);
    chart->addAxis(m_axisY, Qt::AlignLeft);
    m_series->attachAxis(m_axisX);
    m_series->attachAxis(m_axisY);

    m_view = new QChartView(chart, this);
    m_view->setObjectName(QStringLiteral("historyPlot"));
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setMinimumHeight(kPlotHeight);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_choice);
    layout->addWidget(m_view);

    connect(m_choice, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &NodeHealthPlot::historyChanged);
}

NodeHealthPlot::History NodeHealthPlot::history() const
{
    return History(m_choice->currentIndex());
}

void NodeHealthPlot::setHistory(History history)
{
    m_choice->setCurrentIndex(int(history));
}

QVector<double> NodeHealthPlot::historyOf(RtlsObjectStats *stats, History history)
{
    if (!stats)
        return {};
    switch (history) {
    case SyncCount:
        return stats->tsyncCntHistory();
    case Drift:
        return stats->tsyncDriftHistory();
    case Error:
        return stats->tsyncErrHistory();
    case RawDrift:
        return stats->rawTsyncDriftHistory();
    case RawError:
        return stats->rawTsyncErrHistory();
    case HistoryCount:
        break;
    }
    return {};
}

void NodeHealthPlot::showStats(RtlsObjectStats *stats)
{
    m_values = historyOf(stats, history());
    m_points.resize(m_values.size());
    double lo = 0.0;
    double hi = 0.0;
    if (!m_values.isEmpty()) {
        const auto range = std::minmax_element(m_values.cbegin(), m_values.cend());
        lo = *range.first;
        hi = *range.second;
    }
    for (int i = 0; i < m_values.size(); ++i)
        m_points[i] = QPointF(i, m_values.at(i));
    m_series->replace(m_points);
    const double span = hi > lo ? hi - lo : std::max(1.0, std::abs(hi));
    m_axisX->setRange(0, std::max(1, m_values.size() - 1));
    m_axisY->setRange(lo - span * kYMargin, hi + span * kYMargin);
}
