#pragma once

#include "MapCameraPreset.h"
#include "MapConstants.h"
#include "MapFrameContext.h"
#include "GlyphBatch.h"
#include "LabelAtlas.h"
#include "LineBatch.h"
#include "MapSurveyOverlay.h"

#include <QColor>
#include <QGLViewer/qglviewer.h>
#include <QJsonObject>
#include <QList>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QVector>

#include <cstdint>
#include <memory>
#include <vector>

class MapCameraState;
class MapConstraint;
class MapGrid;
class MapGridSettings;
class MapHeat;
class MapHeatSettings;
class MapNodeSource;
class MapScene;
class MapTabSettings;
class MapZone;
class NodeObject;
class QMenu;
class QTabWidget;
class RtlsObject;

namespace qglviewer {
class WorldConstraint;
}

// The 3D map of the site: grid, zones, heat map and one glyph per node, with
// the selected node's measurements drawn over them. It follows the hub's
// node signals into its scene, lets the user pick a node, offers four camera
// presets and a fit of the camera to the site, and reads and writes its
// section of the settings document.
// Drawing runs on a 50 ms clock and only when something changed.
class MapTab : public QGLViewer
{
    Q_OBJECT
    Q_PROPERTY(bool drawLinesActive READ drawLinesActive WRITE setDrawLinesActive)
    Q_PROPERTY(bool drawCirclesActive READ drawCirclesActive WRITE setDrawCirclesActive)
    Q_PROPERTY(bool selectedNodeOnly READ selectedNodeOnly WRITE setSelectedNodeOnly)
    Q_PROPERTY(double floorSize READ floorSize WRITE setFloorSize)
    Q_PROPERTY(double floorExtend READ floorExtend WRITE setFloorExtend)
    Q_PROPERTY(uint nodeMode READ nodeMode WRITE setNodeMode NOTIFY nodeModeChanged)
    Q_PROPERTY(double minTemp READ minTemp WRITE setMinTemp NOTIFY minTempChanged)
    Q_PROPERTY(double maxTemp READ maxTemp WRITE setMaxTemp NOTIFY maxTempChanged)
    Q_PROPERTY(int historySize READ historySize WRITE setHistorySize NOTIFY historySizeChanged)
    Q_PROPERTY(int minPqf READ minPqf WRITE setMinPqf NOTIFY minPqfChanged)

public:
    // The view follows the hub's node signals; its scene reads the nodes
    // through source, the hub's when null.
    explicit MapTab(QWidget *parent = nullptr, MapNodeSource *source = nullptr);
    ~MapTab() override;

    MapScene *scene() const { return m_scene; }
    MapGrid *grid() const;
    MapHeat *heat() const;
    const QList<MapZone *> &zones() const;
    QGLViewer *childViewer() const { return m_childViewer; }
    MapTabSettings *settingsPanel() const;
    // Trail vertices the last frame handed to the GL.
    int drawnTrailVertices() const { return m_trailVertices; }

    bool drawLinesActive() const;
    bool drawCirclesActive() const;
    bool selectedNodeOnly() const;
    double floorSize() const;
    double floorExtend() const;
    uint nodeMode() const;
    double minTemp() const;
    double maxTemp() const;
    int historySize() const;
    int minPqf() const;

    // Where the view sits; the tab's text is kept for the recording
    // indicator.
    void setTabWidget(QTabWidget *tabWidget, int index);
    QTabWidget *tabWidget() const { return m_tabWidget; }
    int tabIndex() const { return m_tabIndex; }
    QString tabText() const { return m_tabText; }

    // The view's section of the settings document ("node" images, "zone",
    // "heat", "gui"); other keys of root are kept.
    QJsonObject toJSON(QJsonObject root) const;
    void fromJSON(const QJsonObject &root);

    // The map as it is on screen, for reports.
    QImage mapImage();

    // The site acceptance tool's survey points, drawn over the map.
    void setSurveyMarkers(const QVector<MapSurveyMarker> &markers);
    const MapSurveyOverlay &surveyOverlay() const { return m_survey; }
    // The camera as it is kept between runs, and put back. A camera put
    // back is not replaced by a preset at the first display, nor by a fit
    // to the site.
    MapCameraState cameraState() const;
    void setCameraState(const MapCameraState &state);
    // The preset the camera last came from.
    MapCameraPreset::Kind cameraPreset() const { return m_preset; }

    // Fits the camera to the site once, as soon as its first anchors (or
    // masters) have a position: for a start without a kept camera. Moving
    // the camera with the mouse before then calls it off.
    void setFitToSiteWhenKnown(bool on);
    bool fitsToSiteWhenKnown() const { return m_fitWhenSiteKnown; }

signals:
    void displayMessage(QString str);
    void zoneAdded(MapZone *zone);
    void zoneUpdated(MapZone *zone);
    void zoneRemoved(MapZone *zone);
    void nodeModeChanged(uint mode);
    void minTempChanged(double arg);
    void maxTempChanged(double arg);
    void historySizeChanged(int arg);
    void minPqfChanged(int arg);

public slots:
    void keyPressEvent(QKeyEvent *e) override;
    void fitCameraPerspective();
    void fitCameraTop();
    void fitCameraFront();
    void fitCameraSide();
    // The camera, looking the way it looks now, moved so that every anchor
    // and master (or, without them, every tag) is in view with a margin.
    // False, with a console line, when no node has a position.
    bool fitToSite();
    void toggleGrid();
    void nodeUpdated(RtlsObject *obj);
    void nodeInActive(RtlsObject *obj);
    void refreshAnchors();
    QColor getDefaultColor(RtlsObject *rtlsNode);
    QColor getColorByTemp(RtlsObject *rtlsNode);
    void setFloorSize(double size);
    void setFloorExtend(double extend);
    void setDrawLinesActive(bool active);
    void setDrawCirclesActive(bool active);
    void setSelectedNodeOnly(bool only);
    void setChildViewer(QGLViewer *viewer);
    void setNodeMode(uint mode);
    void setMinTemp(int arg);
    void setMaxTemp(int arg);
    void setMinTemp(double arg);
    void setMaxTemp(double arg);
    void setNodeModeTemp(bool on);
    void setNodeModeLabeled(bool on);
    void setNodeModeHistory(bool on);
    void setNodeMode1D(bool on);
    void setNodeModeArrow(bool on);
    void setHistorySize(int arg);
    void setMinPqf(int arg);
    void clearHistory();
    MapZone *addZone();
    void removeZone(MapZone *zone);
    // Asks for a file name and saves the map there as an image.
    void exportImage();
    // Saves the map as an image (format from the name's suffix); false, with
    // a console line, when it cannot be written.
    bool saveImage(const QString &fileName);
    // The recording indicator on the tab: the capture icon and the record
    // count while recording (size >= 0), the logo otherwise.
    void recording(int size);

private slots:
    void idSelected(uint64_t id);

protected:
    void init() override;
    void draw() override;
    void drawWithNames() override;
    void postSelection(const QPoint &point) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    enum class Preset { Perspective, Top, Front, Side };

    void applyPreset(Preset preset);
    // Sets the background with this view's GL context current.
    void applyBackground();
    void armSiteFit(RtlsObject *node);
    void onClock();
    void setNodeModeBit(unsigned int bit, bool on);
    bool isDrawn(const NodeObject *object) const;
    MapFrameContext frameContext();
    void drawDistanceLines();
    void drawMeasurementFigures();
    void drawLabels();
    void releaseGL();
    void buildContextMenu();

    MapScene *m_scene;
    // Everything a frame draws in bulk, kept between frames.
    GlyphBatch m_glyphs;
    LineBatch m_trails;
    int m_trailVertices = 0;
    LineBatch m_rangeLines;
    LineBatch m_links;
    LabelAtlas m_labelAtlas;
    MapSurveyOverlay m_survey;
    std::vector<MapFrameContext::Label> m_labels;
    QColor m_background{Map::kBackgroundRed, Map::kBackgroundGreen, Map::kBackgroundBlue};
    QTimer m_clock;
    bool m_dirty = true;
    bool m_cameraFromSettings = false;
    MapCameraPreset::Kind m_preset = MapCameraPreset::Perspective;
    bool m_fitWhenSiteKnown = false;
    // Waits for the rest of a listing once the first anchor is placed.
    QTimer m_siteFitTimer;
    QPointer<QGLViewer> m_childViewer;
    std::unique_ptr<MapConstraint> m_mapConstraint;
    std::unique_ptr<qglviewer::WorldConstraint> m_frontConstraint;
    std::unique_ptr<qglviewer::WorldConstraint> m_sideConstraint;
    std::unique_ptr<qglviewer::WorldConstraint> m_topConstraint;
    QPointer<MapTabSettings> m_panel;
    QPointer<MapGridSettings> m_gridPanel;
    QPointer<MapHeatSettings> m_heatPanel;
    std::vector<std::pair<qglviewer::Vec, double>> m_figureObjects;
    QMenu *m_contextMenu = nullptr;
    QPoint m_rightPressAt;

    QTabWidget *m_tabWidget = nullptr;
    int m_tabIndex = -1;
    QString m_tabText;
};
