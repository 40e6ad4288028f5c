#pragma once

#include "AnchorSurvey.h"

#include <QHash>
#include <QJsonObject>
#include <QSet>
#include <QVector>
#include <QWidget>

#include <cstdint>
#include <optional>

class QLabel;
class QSpinBox;
class QStandardItem;
class QStandardItemModel;
class QTabWidget;
class QTableView;
class QTimer;
class RtlsObject;
class SentrovaInterface;
class WriteCheck;

// New antenna delays for anchors from measured distances alone, by one of
// two methods. The line method: all anchors on one straight line, the two
// that measure farthest apart are its ends, and for every anchor between
// them half the difference between the whole and the sum of its two parts
// is its ranging error. The all-anchors method: with surveyed coordinates,
// every anchor pair's range error is the sum of the two anchors' errors, and
// all errors follow at once by least squares.
//
// Only plausible delays are ever written, and a solution is used once: after
// Apply it waits for distances measured with the new delays, that is asked
// for after the Apply and answered. An anchor that does not answer in time
// is named and left out, so that one silent anchor cannot stop the tool.
class AnchorCalibrationTab : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kValueRole = Qt::UserRole + 1;

    // Columns of the line method's table.
    enum LineColumn {
        ToBegin, ToEnd, Cosine, Correction, CurrentTx, CurrentRx, NewTx, NewRx, ApplyRow, LineCheck,
        LineColumns
    };
    // Columns of the all-anchors table.
    enum SolveColumn {
        Pairs, RangeError, Change, SolveCurrentTx, SolveCurrentRx, SolveNewTx, SolveNewRx, SolveCheck,
        SolveColumns
    };

    static AnchorCalibrationTab *instance();

    QStandardItemModel *lineModel() const { return m_lineModel; }
    QStandardItemModel *solveModel() const { return m_solveModel; }
    WriteCheck *writeCheck() const { return m_check; }
    QString lineStatus() const;
    QString solveStatus() const;
    int scanCount() const;
    void setScanCount(int count);

    // Range RMS error between anchors at the last computation, and what the
    // solution leaves; NaN before the first.
    double rmsBefore() const { return m_rmsBefore; }
    double rmsPredicted() const { return m_rmsPredicted; }

public slots:
    void NodeUpdated(RtlsObject *node);
    void NodeListUpdated(RtlsObject *node);
    void showCalibrationHelp();
    void createCalibrationList();
    void getCurrentCalibrations();
    void setNewCalibrations();
    void newDelays(uint64_t id, uint16_t tx, uint16_t rx);
    // Asks every anchor and master for its distances.
    void readAllDistances();

    // All-anchors method.
    void scanAndReadDistances();
    void readAllDelays();
    void computeAllAnchors();
    void applyAllAnchors();

private slots:
    void serviceData(const QJsonObject &obj);
    void showCheck(const QString &key);
    void distancesTimedOut();

private:
    AnchorCalibrationTab();

    uint64_t rowId(const QStandardItemModel *model, int row) const;
    int lineRowOf(uint64_t id) const;
    int solveRowOf(uint64_t id) const;
    std::optional<double> value(const QStandardItemModel *model, int row, int column) const;
    void setValue(QStandardItemModel *model, int row, int column, std::optional<double> v, int decimals);
    // The survey to compute from: after an Apply only anchors that answered
    // a later request, without those that stayed silent (named in
    // `leftOut`); nothing, and why in `problem` (ending in `again`, what to
    // do), while an anchor's distances are older than the Apply or on their
    // way.
    std::optional<AnchorSurvey> freshSurvey(const QString &again, QString *problem, QString *leftOut) const;
    void distancesApplied();
    QString names(const QSet<uint64_t> &ids) const;
    void lineRowDelays(int row, uint16_t tx, uint16_t rx);
    void solveRowDelays(int row, uint16_t tx, uint16_t rx);
    QString nodeName(uint64_t id) const;

    SentrovaInterface *m_hub;
    WriteCheck *m_check;
    QTabWidget *m_methods;
    QStandardItemModel *m_lineModel;
    QStandardItemModel *m_solveModel;
    QTableView *m_lineView;
    QTableView *m_solveView;
    QLabel *m_lineStatus;
    QLabel *m_solveStatus;
    QSpinBox *m_scanCount;

    // Freshness of distances, by short id. Answers come in the order of the
    // requests: those owed to requests made before the last Apply are
    // skipped as they arrive, whenever that is.
    bool m_applied = false;
    QHash<uint64_t, int> m_owed;
    QHash<uint64_t, int> m_owedBeforeApply;
    QSet<uint64_t> m_asked;  // asked after the last Apply
    QSet<uint64_t> m_fresh;  // and answered
    QSet<uint64_t> m_silent; // and not answered in time
    QTimer *m_distanceTimer;
    // Rows whose solution was written and must not be used again.
    QHash<uint64_t, bool> m_lineApplied;
    QHash<uint64_t, bool> m_solveApplied;
    QHash<uint64_t, double> m_solveChange; // device units per solved anchor

    double m_rmsBefore;
    double m_rmsPredicted;
    double m_rmsAtLastApply;
};
