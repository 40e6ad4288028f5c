#pragma once

#include <QHash>
#include <QWidget>

#include <array>
#include <cstdint>

class NodeHealthPlot;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTimer;
class RtlsObject;

// The details of the selected node: identity, versions, roles, seat and
// group, position (editable for anchors and masters), quality, orientation,
// io, battery, temperature, the age of its last report, its health
// statistics and plots of its time-synchronisation histories; and the way to
// its settings dialog.
//
// Updates only mark the view dirty; it redraws on its own clock, a few
// times a second at most, however fast the node reports.
class NodeDetailTab : public QWidget
{
    Q_OBJECT

public:
    explicit NodeDetailTab(QWidget *parent = nullptr);
    ~NodeDetailTab() override;

    uint64_t nodeId() const { return m_id; }

public slots:
    // The node to show; 0 shows "No selection".
    void connectNode(uint64_t id);
    void nodeUpdated(RtlsObject *node);
    // Opens the settings dialog of the node shown.
    void openSettings();

protected:
    void showEvent(QShowEvent *event) override;

private slots:
    void tick();
    void refresh();
    void applyAxis(int axis);
    void axisEditingFinished(int axis);
    void requestStatistics();

private:
    QLabel *addRow(QFormLayout *form, const QString &label, const char *name);
    void showNoSelection();
    void refreshNode(RtlsObject *node);
    void refreshStatistics(RtlsObject *node);
    void refreshAge(RtlsObject *node);
    void showAxis(int axis, RtlsObject *node);
    void markInvalid(QLineEdit *edit, bool invalid);

    uint64_t m_id = 0;
    bool m_dirty = false;
    QTimer *m_timer = nullptr;

    QLabel *m_title = nullptr;
    QTabWidget *m_tabs = nullptr;
    QHash<QByteArray, QLabel *> m_fields;
    std::array<QLineEdit *, 3> m_axes{};
    NodeHealthPlot *m_plot = nullptr;
    QPushButton *m_settingsButton = nullptr;
    QPushButton *m_statsButton = nullptr;
};
