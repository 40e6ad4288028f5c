#pragma once

#include "OrientationReadout.h"

#include <QGLViewer/qglviewer.h>
#include <QPointer>
#include <QTimer>

#include <cstdint>

class OrientationViewSettings;
class RtlsObject;

// The "Node Orientation" dock: the selected node's IMU quaternion drawn as
// a body with its coloured axes (X red, Y green, Z blue), the node and its
// roll, pitch and yaw as text, "No selection" when nothing is selected. An
// update of the selected node marks the view dirty; the view draws on its
// own clock, and updates of other nodes cost a comparison. The constructor
// connects the view to Dispatch::idSelected and the hub's
// nodeUpdatedSignal, and registers its panel "Orientation View Settings"
// with the settings tab.
class OrientationView : public QGLViewer
{
    Q_OBJECT
    Q_PROPERTY(bool showBodyAxes READ showBodyAxes WRITE setShowBodyAxes NOTIFY showBodyAxesChanged)
    Q_PROPERTY(bool showWorldAxes READ showWorldAxes WRITE setShowWorldAxes NOTIFY showWorldAxesChanged)
    Q_PROPERTY(bool showReadout READ showReadout WRITE setShowReadout NOTIFY showReadoutChanged)
    Q_PROPERTY(int refreshInterval READ refreshInterval WRITE setRefreshInterval NOTIFY refreshIntervalChanged)
    Q_PROPERTY(int angleDecimals READ angleDecimals WRITE setAngleDecimals NOTIFY angleDecimalsChanged)

public:
    static constexpr double kAxisLength = 1.2;
    static constexpr int kMinRefreshInterval = 20;
    static constexpr int kMaxRefreshInterval = 1000;
    static constexpr int kMaxAngleDecimals = 3;

    explicit OrientationView(QWidget *parent = nullptr);
    ~OrientationView() override;

    const OrientationReadout &readout() const { return m_readout; }
    // True between an update of the selected node and the next frame.
    bool isDirty() const { return m_dirty; }
    OrientationViewSettings *settingsPanel() const;

    bool showBodyAxes() const { return m_showBodyAxes; }
    bool showWorldAxes() const { return m_showWorldAxes; }
    bool showReadout() const { return m_showReadout; }
    int refreshInterval() const { return m_clock.interval(); }
    int angleDecimals() const { return m_angleDecimals; }

public slots:
    void idSelected(uint64_t id);
    void nodeUpdated(RtlsObject *node);

    void setShowBodyAxes(bool show);
    void setShowWorldAxes(bool show);
    void setShowReadout(bool show);
    // Clamped to [kMinRefreshInterval, kMaxRefreshInterval] milliseconds.
    void setRefreshInterval(int ms);
    // Clamped to [0, kMaxAngleDecimals].
    void setAngleDecimals(int decimals);

signals:
    void showBodyAxesChanged(bool show);
    void showWorldAxesChanged(bool show);
    void showReadoutChanged(bool show);
    void refreshIntervalChanged(int ms);
    void angleDecimalsChanged(int decimals);

protected:
    void init() override;
    void draw() override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void takeQuaternion(RtlsObject *node);
    void markDirty();
    void onClock();
    void buildLists();
    void drawReadout();

    OrientationReadout m_readout;
    QPointer<RtlsObject> m_node;
    QTimer m_clock;
    bool m_dirty = false;
    bool m_showBodyAxes = true;
    bool m_showWorldAxes = true;
    bool m_showReadout = true;
    int m_angleDecimals = 1;
    // Display lists of the body, its axes and the world axes, made once in
    // this view's context.
    unsigned int m_bodyList = 0;
    unsigned int m_axesList = 0;
    unsigned int m_worldList = 0;
    QPointer<OrientationViewSettings> m_panel;
};
