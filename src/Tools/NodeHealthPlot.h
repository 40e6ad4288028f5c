#pragma once

#include <QVector>
#include <QWidget>

class QComboBox;
class RtlsObjectStats;

namespace QtCharts {
class QChartView;
class QLineSeries;
class QValueAxis;
} // namespace QtCharts

// A plot of one of a node's five time-synchronisation histories (sync
// count, drift, error, raw drift, raw error), chosen from a list above it.
class NodeHealthPlot : public QWidget
{
    Q_OBJECT

public:
    enum History { SyncCount, Drift, Error, RawDrift, RawError, HistoryCount };

    explicit NodeHealthPlot(QWidget *parent = nullptr);

    History history() const;
    void setHistory(History history);
    // The values plotted now, oldest first.
    QVector<double> values() const { return m_values; }

    // Plots the chosen history of `stats`; null clears the plot.
    void showStats(RtlsObjectStats *stats);

    static QVector<double> historyOf(RtlsObjectStats *stats, History history);

signals:
    // The user chose another history: the caller plots again.
    void historyChanged();

private:
    QComboBox *m_choice = nullptr;
    QtCharts::QChartView *m_view = nullptr;
    QtCharts::QLineSeries *m_series = nullptr;
    QtCharts::QValueAxis *m_axisX = nullptr;
    QtCharts::QValueAxis *m_axisY = nullptr;
    QVector<double> m_values;
    QVector<QPointF> m_points;
};
