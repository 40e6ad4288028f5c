#pragma once

#include "TagCalibration.h"

#include <QHash>
#include <QWidget>

#include <cstdint>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTimer;
class RtlsObject;
class SentrovaInterface;
class WriteCheck;

// Antenna-delay calibration of a tag: the tag stands at a position the
// installer types in; the tool collects the tag's ranges to every anchor,
// shows per anchor the mean measured range, the true range, the bias and the
// delay change it suggests, and Apply writes the tag's delays changed by the
// median suggestion, bounded, then reads them back. Samples start again
// after every Apply.
class TagCalibrationTab : public QWidget
{
    Q_OBJECT

public:
    enum Column { Anchor, Samples, Kept, MeanMeasured, TrueRange, Bias, DelayChange, Columns };

    static TagCalibrationTab *instance();

    QComboBox *tagCombo() const { return m_tagCombo; }
    QTableWidget *table() const { return m_table; }
    WriteCheck *writeCheck() const { return m_check; }
    const TagCalibration &calibration() const { return m_calibration; }
    QString suggestionText() const;
    QString checkText() const;
    std::optional<uint64_t> selectedTag() const;
    bool collecting() const { return m_collecting; }

public slots:
    void NodeUpdated(RtlsObject *node);
    void NodeListUpdated(RtlsObject *node);
    void newDelays(uint64_t id, uint16_t tx, uint16_t rx);

    // Selects the tag and sets the position it stands at.
    void setTag(uint64_t id);
    bool setTruePosition(double x, double y, double z);
    void useCurrentPosition();
    void startCollecting();
    void stopCollecting();
    void clearSamples();
    void readCurrentDelays();
    void apply();

private slots:
    void refresh();
    void tagChosen();
    void showCheck();

private:
    TagCalibrationTab();

    bool readTruePosition();
    void updateAnchorPositions();

    SentrovaInterface *m_hub;
    WriteCheck *m_check;
    TagCalibration m_calibration;
    QComboBox *m_tagCombo;
    QLineEdit *m_position[3];
    QPushButton *m_collect;
    QPushButton *m_apply;
    QTableWidget *m_table;
    QLabel *m_delays;
    QLabel *m_suggestion;
    QLabel *m_checkLabel;
    QTimer *m_refreshTimer;

    // Names shown in the tag list, to follow a name that arrives later.
    QHash<uint64_t, QString> m_names;
    bool m_collecting = false;
    double m_lastMsgTime = -1.0;
    std::optional<uint16_t> m_currentTx;
    std::optional<uint16_t> m_currentRx;
};
