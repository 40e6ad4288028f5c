#pragma once

#include "MeasurementSession.h"

#include <QSet>
#include <QWidget>

#include <array>
#include <cstdint>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTimer;
class RtlsObject;

// The measurement tool: the ranges of one node to one anchor or to all and
// its position, counted report by report while a run goes, with count,
// mean, standard deviation, minimum and maximum; an optional reference
// distance or position turns the means into biases; the table goes out as
// CSV.
//
// A report only adds to the statistics; the table redraws on the tool's own
// clock.
class MeasurementTab : public QWidget
{
    Q_OBJECT

public:
    explicit MeasurementTab(QWidget *parent = nullptr);
    ~MeasurementTab() override;

    bool isRunning() const { return m_running; }
    const MeasurementSession &session() const { return m_session; }
    // The rows the table shows now.
    QVector<MeasurementSession::Row> rows() const;

public slots:
    void nodeUpdated(RtlsObject *node);
    void nodeListUpdated(RtlsObject *node);
    void startMeasurements();
    void stopMeasurements();
    void clearAll();
    // Writes the table as CSV; false (with a console line) when the file
    // cannot be written.
    bool exportCsv(const QString &fileName);

private slots:
    void refresh();
    void chooseExportFile();
    void referenceChanged();

private:
    void addNodeChoice(RtlsObject *node);
    MeasurementSession::Reference reference(bool *valid) const;
    QHash<uint64_t, QVector3D> anchorPositions() const;
    void updateButtons();

    MeasurementSession m_session;
    bool m_running = false;
    bool m_dirty = false;
    QTimer *m_timer = nullptr;

    QComboBox *m_node = nullptr;
    // The nodes the node picker offers.
    QSet<uint64_t> m_offered;
    QComboBox *m_anchor = nullptr;
    QComboBox *m_referenceKind = nullptr;
    QLineEdit *m_referenceDistance = nullptr;
    std::array<QLineEdit *, 3> m_referencePosition{};
    QPushButton *m_start = nullptr;
    QPushButton *m_stop = nullptr;
    QPushButton *m_clear = nullptr;
    QPushButton *m_export = nullptr;
    QLabel *m_status = nullptr;
    QTableWidget *m_table = nullptr;
};
