#pragma once

#include "AppConstants.h"
#include "Preferences.h"

#include <QMainWindow>
#include <QPointer>
#include <QSizePolicy>
#include <QString>

#include <array>
#include <cstdint>

class AnchorCalibrationTab;
class CaptureSaver;
class MapTab;
class MapZone;
class NoMasterOverlay;
class MeasurementTab;
class NodeDetailTab;
class NodeList;
class OrientationView;
class QAction;
class QCloseEvent;
class QDockWidget;
class QIcon;
class QKeySequence;
class QLabel;
class QMenu;
class QShowEvent;
class MqttZoneEvents;
class QTabWidget;
class ConsoleView;
class RemoteZones;
class ReplayControls;
class SaveProgress;
class SettingsTab;
class SetupTab;
class SiteAcceptanceTab;
class TagCalibrationTab;
class ZonesTab;

// The program's single top-level window: the views' tabs in the middle, the
// view docks on the left, the console dock below, the menus that drive the
// hub and the views, and the status bar. The settings file is applied and
// discovery starts at its first show.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    QTabWidget *tabWidget() const { return m_tabs; }

signals:
    void zoneAdded(MapZone *zone);

public slots:
    void open();
    void save();
    void saveAs();
    void openRecentFile();
    void about();
    void help();
    // Opens a capture file and replays it (also what --replay FILE does).
    void loadFile(QString fileName);
    // Starts writing the capture shown into this file; the status bar says
    // when it is written (or why not).
    void saveFile(QString fileName);
    void loadSettings();
    void saveSettings();
    void setCurrentFile(QString fileName);
    void addMapTab();
    int closeCurrentTab();
    void printMessage(QString str);
    void clearConsole();
    void clearHistory();
    void addSettingsTab();
    void addSetupTab();
    void addZonesTab();
    void addCalibrationTabs();
    void addSiteAcceptanceTab();
    void forceFwUpdate();
    void selectedID(uint64_t id);
    void toggleWordWrap();
    void openFwDescDialog();
    void sendJSON();
    // "Connect to broker...": asks where the site's manager publishes and
    // turns this window into a remote view of that site.
    void connectToBroker();
    // Asks for a master's address and connects to it at once.
    void openConnectDialog();
    // Docks, their sizes, the current tab and the camera as at a first start.
    void resetLayout();

private slots:
    // The capture action: starts or stops a capture, unless a new one would
    // overwrite a capture that is being saved.
    void toggleCapture();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QAction *makeAction(const QString &text, const QIcon &icon, const QKeySequence &shortcut,
                        const QString &statusTip);
    void setUpSite();
    void createActions();
    void connectActions();
    void createMenus();
    void createConsoleDock();
    void createViewDocks();
    QDockWidget *createDock(const QString &title, const char *objectName, Qt::DockWidgetAreas areas);
    void placeDock(QDockWidget *dock, QWidget *content, QSizePolicy policy, bool shown);
    int addPage(QWidget *page, const QString &title);
    bool isOwnPage(const QWidget *page) const;
    void releaseSharedPages();
    void addDockToggles();
    void setMapActionsEnabled(bool enabled);
    void updateRecentFileActions();
    void writeConsoleLine(const QString &message);
    void showStatus(const QString &message);
    void setUpMqtt();
    void updateMqttStatus();
    void createReplayControls();
    void createSaveProgress();
    bool openCapture(const QString &fileName);
    void startDocument(const QString &source, bool recording);
    bool reportNothingToSave();
    void rememberRecentFile(const QString &fileName);
    void setSaveActionsEnabled(bool enabled);
    void reportFailure(const QString &text);
    void setUpRemoteView();
    void applyRemoteMode();
    void attachRemoteZones();
    void setUpLayout();
    void applyFirstStartDockSizes();
    int readableDockWidth() const;
    void saveLayout();

    ConsoleView *m_console = nullptr;
    QTabWidget *m_tabs = nullptr;

    // The views: the docks' contents and the map tab (made here; the
    // settings file and the history go to the map), and the tab pages shared
    // by every window of the process.
    QPointer<NodeList> m_nodeList;
    QPointer<NodeDetailTab> m_nodeDetails;
    QPointer<OrientationView> m_orientationView;
    QPointer<MeasurementTab> m_measurementTab;
    QPointer<MapTab> m_mapTab;
    QPointer<SettingsTab> m_settingsTab;
    QPointer<SetupTab> m_setupTab;
    QPointer<AnchorCalibrationTab> m_anchorCalibrationTab;
    QPointer<TagCalibrationTab> m_tagCalibrationTab;
    QPointer<SiteAcceptanceTab> m_siteAcceptanceTab;
    QPointer<ZonesTab> m_zonesTab;
    QList<QDockWidget *> m_docks;

    QMenu *m_fileMenu = nullptr;
    QMenu *m_toolsMenu = nullptr;
    QMenu *m_viewMenu = nullptr;
    QMenu *m_helpMenu = nullptr;

    QAction *m_openAction = nullptr;
    QAction *m_saveAction = nullptr;
    QAction *m_saveAsAction = nullptr;
    QAction *m_exportMapAction = nullptr;
    QAction *m_loadSettingsAction = nullptr;
    QAction *m_saveSettingsAction = nullptr;
    QAction *m_exitAction = nullptr;
    QAction *m_helpAction = nullptr;
    QAction *m_aboutAction = nullptr;
    QAction *m_captureAction = nullptr;
    QAction *m_serviceDataAction = nullptr;
    QAction *m_locationDataAction = nullptr;
    QAction *m_clearConsoleAction = nullptr;
    QAction *m_clearHistoryAction = nullptr;
    QAction *m_scanMasterAction = nullptr;
    QAction *m_resetMasterAction = nullptr;
    QAction *m_forceFwUpdateAction = nullptr;
    QAction *m_newSessionAction = nullptr;
    QAction *m_listAnchorsAction = nullptr;
    QAction *m_listTagsAction = nullptr;
    QAction *m_getVersionAction = nullptr;
    QAction *m_pauseLsAction = nullptr;
    QAction *m_fwUpdateAction = nullptr;
    QAction *m_sendJsonAction = nullptr;
    QAction *m_readDistancesAction = nullptr;
    QAction *m_addZoneAction = nullptr;
    QAction *m_viewTopAction = nullptr;
    QAction *m_viewFrontAction = nullptr;
    QAction *m_viewSideAction = nullptr;
    QAction *m_view3DAction = nullptr;
    QAction *m_gridAction = nullptr;
    QAction *m_wordWrapAction = nullptr;
    QAction *m_mqttAction = nullptr;
    QAction *m_connectMasterAction = nullptr;
    QAction *m_fitToSiteAction = nullptr;
    QAction *m_resetLayoutAction = nullptr;
    NoMasterOverlay *m_noMasterOverlay = nullptr;
    // The docks as the window built them, before any kept layout: what
    // Reset Layout goes back to.
    QByteArray m_firstStartDocks;
    QLabel *m_mqttStatus = nullptr;
    MqttZoneEvents *m_mqttZones = nullptr;
    QAction *m_connectBrokerAction = nullptr;
    QPointer<RemoteZones> m_remoteZones;
    bool m_remoteApplied = false;

    QAction *m_recentFileSeparator = nullptr;
    std::array<QAction *, AppConstants::kMaxRecentFiles> m_recentFileActions{};

    ReplayControls *m_replayControls = nullptr;
    CaptureSaver *m_saver = nullptr;
    SaveProgress *m_saveProgress = nullptr;

    // The document: the capture the window shows, which Save writes. Each
    // capture started and each capture file opened is a new one. Its
    // records are in m_captureSource (the recorder's file, which the next
    // capture overwrites, or the file opened); m_currentFile is the file of
    // its own, empty until it has one (a recording before its first Save
    // As). Save never writes one document's records into another's file.
    QString m_currentFile;
    QString m_captureSource;
    bool m_documentIsRecording = false;
    quint64 m_document = 0;
    // The document being saved and the name it is saved under.
    quint64 m_savingDocument = 0;
    QString m_savingName;
    bool m_capturing = false;
    bool m_settingsLoaded = false;

    Preferences m_preferences;
};
