#pragma once

#include "AnchorReview.h"
#include "AnchorSurvey.h"
#include "SiteAcceptanceSession.h"

#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QPointer>
#include <QWidget>

#include <cstdint>

class MapTab;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTableWidgetItem;
class QTimer;
class RtlsObject;
class SentrovaInterface;
class SurveyTargetPlot;

// The installer's proof that a site locates as promised: a tag is stood on
// surveyed points one after the other; for each the tool records what the
// tag reported and works out how far from the truth and how scattered the
// positions are, holds it against a target, names the anchors the layout
// check or the calibration flagged near a point, draws the results on the
// map and writes the report to hand over (PDF) and every position (CSV).
//
// The points and the target are kept in the settings file under "survey".
// Reading the results sends nothing to the masters; only "Read anchor
// ranges" asks them for their distances.
class SiteAcceptanceTab : public QWidget
{
    Q_OBJECT

public:
    enum Column {
        ColName, ColX, ColY, ColZ, ColTag, ColResult, ColUsed, ColBelow, ColMeanX, ColMeanY, ColMeanZ,
        ColBiasX, ColBiasY, ColBiasZ, ColBiasH, ColSdX, ColSdY, ColSdZ, ColRms2d, ColRms3d, ColCep50, ColCep95,
        ColMax, ColHdop, ColAnchors, ColFlagged, ColumnCount
    };

    static SiteAcceptanceTab *instance();

    // The map gives the minimum quality of a used position and the picture
    // of the report, and shows the points.
    void setMapTab(MapTab *map);
    MapTab *mapTab() const;

    const SiteAcceptanceSession &session() const { return m_session; }
    QTableWidget *table() const { return m_table; }
    SurveyTargetPlot *targetPlot() const { return m_plot; }
    QString summaryText() const;
    QString statusText() const;
    const QVector<SiteAcceptanceSession::PointResult> &results() const { return m_results; }
    const SiteAcceptanceSession::Overall &overall() const { return m_overall; }
    const QVector<AnchorReview::Anchor> &anchorReview() const { return m_review; }
    bool isRunning() const { return m_session.isRunning(); }
    // The minimum quality a position needs to be used.
    int minimumQuality() const;

    // The tool's part of the settings document ("survey"); other keys of
    // root are kept. A document without "survey" leaves the points alone.
    QJsonObject toJSON(QJsonObject root) const;
    void fromJSON(const QJsonObject &root);

public slots:
    void nodeUpdated(RtlsObject *node);
    void nodeAdded(RtlsObject *node);
    // Replaces the points with those of a CSV file (header name,x,y,z);
    // false, with the reason on the status line, when it cannot be read.
    bool importCsv(const QString &fileName);
    // Adds the points of pasted text (see SurveyPlan::parsePasted).
    bool pastePoints(const QString &text);
    void addPoint();
    void removeSelectedPoint();
    // Runs the selected point with the chosen tag.
    bool startRun();
    void stopRun();
    bool exportCsv(const QString &fileName);
    bool exportReport(const QString &fileName);
    // Works the results out again and shows them.
    void refresh();

private slots:
    void onClock();
    void reviewAnchors();
    void chooseImportFile();
    void chooseCsvFile();
    void chooseReportFile();
    void pasteFromClipboard();
    void itemChanged(QTableWidgetItem *item);
    void pointSelected();
    void showSelectedPlot();
    void planEdited();
    void newDelays(uint64_t id, uint16_t tx, uint16_t rx);

private:
    struct Delays
    {
        quint16 tx = 0, rx = 0;
    };

    SiteAcceptanceTab();

    void finishRun(bool stoppedByUser);
    void recompute();
    void rebuildRows();
    void fillRow(int row);
    void setCell(int row, int column, const QString &text, const QColor &background = QColor());
    void showPlan();
    void updateControls();
    void updateProgress();
    void updateMap();
    void say(const QString &line, bool console = false);
    int selectedPoint() const;
    QString nodeName(uint64_t id) const;
    QVector<SiteAcceptanceSession::Anchor> anchorsForResults() const;
    void addTagChoice(RtlsObject *node);
    void renameTagChoices();

    SentrovaInterface *m_hub;
    SiteAcceptanceSession m_session;
    QVector<SiteAcceptanceSession::PointResult> m_results;
    SiteAcceptanceSession::Overall m_overall;
    QVector<AnchorReview::Anchor> m_review;
    AnchorSurvey m_survey; // what m_review was worked out from
    bool m_reviewed = false;
    QHash<uint64_t, Delays> m_delays;
    QPointer<MapTab> m_map;
    bool m_dirty = true;
    bool m_updating = false;
    QElapsedTimer m_runClock;

    QLineEdit *m_site;
    QComboBox *m_figure;
    QDoubleSpinBox *m_target;
    QComboBox *m_limitKind;
    QSpinBox *m_limit;
    QComboBox *m_tag;
    QPushButton *m_import;
    QPushButton *m_paste;
    QPushButton *m_add;
    QPushButton *m_remove;
    QPushButton *m_start;
    QPushButton *m_stop;
    QPushButton *m_readRanges;
    QPushButton *m_exportReport;
    QPushButton *m_exportCsv;
    QProgressBar *m_progress;
    QLabel *m_status;
    QLabel *m_summary;
    QLabel *m_anchors;
    QTableWidget *m_table;
    SurveyTargetPlot *m_plot;
    QTimer *m_clock;
    QTimer *m_siteClock;
    QTimer *m_runEnd;
};
