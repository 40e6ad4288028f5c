#include "MainWindow.h"

#include "AnchorCalibrationTab.h"
#include "AppLog.h"
#include "CaptureReplay.h"
#include "CaptureSaver.h"
#include "ConsoleText.h"
#include "ConsoleView.h"
#include "Dispatch.h"
#include "MapCameraState.h"
#include "MapTab.h"
#include "MapZone.h"
#include "MasterAddressDialog.h"
#include "MeasurementTab.h"
#include "NodeDetailTab.h"
#include "NodeList.h"
#include "MqttPublisher.h"
#include "MqttSettings.h"
#include "MqttZoneEvents.h"
#include "NoMasterOverlay.h"
#include "OrientationView.h"
#include "OrientationViewSettings.h"
#include "RemoteConnectDialog.h"
#include "RemoteSite.h"
#include "RemoteViewGuard.h"
#include "RemoteZones.h"
#include "ReplayControls.h"
#include "RtlsLs.h"
#include "RtlsObject.h"
#include "RtlsObjectStats.h"
#include "SaveProgress.h"
#include "SentrovaInterface.h"
#include "SentrovaLog.h"
#include "SentrovaSettings.h"
#include "SettingsFile.h"
#include "SettingsTab.h"
#include "SetupTab.h"
#include "SiteAcceptanceTab.h"
#include "TagCalibrationTab.h"
#include "UpdateDialog.h"
#include "WindowLayout.h"
#include "ZonesTab.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QFontMetrics>
#include <QHostAddress>
#include <QIcon>
#include <QInputDialog>
#include <QJsonObject>
#include <QKeySequence>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QShowEvent>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTime>
#include <QTreeWidget>

#include <algorithm>

// The resources live in this static library; referencing their initialiser
// keeps the linker from dropping them. Must stay outside any namespace.
static void initIconResources()
{
    Q_INIT_RESOURCE(sentrova_icons);
}

namespace {

using AppConstants::kCaptureIcon;
using AppConstants::kLogoIcon;
const char kOpenIcon[] = ":/images/open.png";
const char kSaveIcon[] = ":/images/save.png";
const char kClearIcon[] = ":/images/edit-clear-list.png";

// What the docks on the left must show whole at a first start: the longest
// group texts of the node list, a node name of 20 characters, and the node
// details' values.
const char *const kLongestGroupTexts[] = {"ANCHOR [999]", "UNKNOWN [999]"};
const char kReferenceNodeName[] = "Warehouse Gate NW 12";
// Pixels the item views lay out beside an item's text and icon, with room
// to spare for the styles that lay out a little more.
constexpr int kItemSlack = 16;
// The console's height at a first start: about ten lines of text.
constexpr int kConsoleLines = 10;

QString presetJson()
{
    return QStringLiteral("{\n  \"command\":\"version\"\n}");
}

// Whether two names are one file: the same file found by two paths, or, while
// one does not exist yet, the same absolute path.
bool isSameFile(const QString &a, const QString &b)
{
    const QFileInfo first(a);
    const QFileInfo second(b);
    if (first.exists() && second.exists())
        return first.canonicalFilePath() == second.canonicalFilePath();
    return first.absoluteFilePath() == second.absoluteFilePath();
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent),
      m_tabs(new QTabWidget(this)),
      m_preferences([this](const QString &line) { writeConsoleLine(line); })
{
    initIconResources();
    setWindowTitle(tr("Sentrova manager - v%1").arg(AppConstants::kVersionNumber));

    QFont font;
    font.setPointSize(AppConstants::kWindowFontPointSize);
    setFont(font);
    QApplication::setFont(font);

    m_console = new ConsoleView(this);
    m_console->setFont(font);

    setWindowIcon(QIcon(QLatin1String{kLogoIcon}));

    setUpSite();
    createActions();
    connectActions();
    createMenus();
    setUpMqtt();
    setUpRemoteView();
    updateRecentFileActions();
    createViewDocks();
    addMapTab();
    addSettingsTab();
    addSetupTab();
    addZonesTab();
    addCalibrationTabs();
    addSiteAcceptanceTab();
    createConsoleDock();
    addDockToggles();
    setCentralWidget(m_tabs);
    // Created now so that the actions' status tips show from the start.
    statusBar();
    createReplayControls();
    createSaveProgress();
    applyRemoteMode();

    // Shows the window: as it was left, or maximised at a first start.
    setUpLayout();
    writeConsoleLine(tr("Ready."));
}

MainWindow::~MainWindow()
{
    // A save still running is dropped; the file it went to stays as it was.
    m_saver->disconnect(this);
    m_saver->abort();
    // A window destroyed without being closed still leaves the shared pages
    // to the process.
    releaseSharedPages();
    // Gone while the window's members still exist: its going is handled by
    // the window (the map actions, the zones tab).
    delete m_mapTab;
}

QAction *MainWindow::makeAction(const QString &text, const QIcon &icon,
                                const QKeySequence &shortcut, const QString &statusTip)
{
    auto *action = new QAction(icon, text, this);
    action->setShortcut(shortcut);
    action->setStatusTip(statusTip);
    return action;
}

void MainWindow::setUpSite()
{
    const QString siteFile = m_preferences.siteFileName();
    const QSettings site(siteFile, QSettings::IniFormat);
    qCDebug(lcApp) << "site file" << siteFile << "groups" << site.childGroups();
}

void MainWindow::createActions()
{
    const QIcon logo(QLatin1String{kLogoIcon});
    const QIcon openIcon(QLatin1String{kOpenIcon});
    const QIcon saveIcon(QLatin1String{kSaveIcon});
    const QIcon clearIcon(QLatin1String{kClearIcon});
    const QIcon none;
    const QKeySequence noKey;

    m_openAction = makeAction(tr("&Open..."), openIcon, QKeySequence::Open, tr("Open an existing file"));
    m_saveAction = makeAction(tr("&Save"), saveIcon, QKeySequence::Save, tr("Save the data to disk"));
    m_saveAsAction = makeAction(tr("Save &As..."), saveIcon, QKeySequence::SaveAs,
                                tr("Save data under a new document name"));
    m_exportMapAction = makeAction(tr("Export Map &Image..."), none, noKey, tr("Save the map as an image"));
    m_loadSettingsAction = makeAction(tr("Load Settings"), openIcon, noKey, tr("Reload settings from file"));
    m_saveSettingsAction = makeAction(tr("Save Settings"), saveIcon, noKey, tr("Save settings to file"));
    for (QAction *&recent : m_recentFileActions) {
        recent = new QAction(this);
        recent->setVisible(false);
    }
    m_exitAction = makeAction(tr("E&xit"), none, QKeySequence(tr("Q")), tr("Exit the application"));
    m_helpAction = makeAction(tr("&Help"), none, QKeySequence(tr("Shift+H")), tr("Show application help"));
    m_aboutAction = makeAction(tr("&About"), none, noKey, tr("Show information about the application"));

    m_captureAction = makeAction(tr("Enable/disable &capture"), QIcon(QLatin1String{kCaptureIcon}),
                                 QKeySequence(tr("K")), tr("Enable/disable capture"));
    m_serviceDataAction = makeAction(tr("Enable/disable service data"), logo, QKeySequence(tr("Shift+D")),
                                     tr("Enable/disable service data"));
    m_locationDataAction = makeAction(tr("Enable/disable location data"), logo, QKeySequence(tr("D")),
                                      tr("Enable/disable location data"));
    m_clearConsoleAction = makeAction(tr("Clear console"), clearIcon, QKeySequence(tr("C")), tr("Clear console"));
    m_clearHistoryAction = makeAction(tr("Clear map history"), clearIcon, QKeySequence(tr("Shift+X")),
                                      tr("Clear tag history on the map"));
    m_scanMasterAction = makeAction(tr("&Scan master"), logo, QKeySequence(tr("M")), tr("Scan for masters"));
    m_resetMasterAction = makeAction(tr("&Reset master"), logo, QKeySequence(tr("Shift+R")), tr("Reset master"));
    m_forceFwUpdateAction = makeAction(tr("Force firmware update"), logo, QKeySequence(tr("Shift+U")),
                                       tr("Force firmware update"));
    m_newSessionAction = makeAction(tr("Make new session for anchors"), logo,
                                    QKeySequence(tr("Ctrl+Shift+N")), tr("New Session"));
    m_listAnchorsAction = makeAction(tr("List anchors"), logo, QKeySequence(tr("A")), tr("List anchors"));
    m_listTagsAction = makeAction(tr("List tags"), logo, QKeySequence(tr("T")), tr("List tags"));
    m_getVersionAction = makeAction(tr("Get firmware version"), logo, QKeySequence(tr("V")),
                                    tr("Get firmware version"));
    m_pauseLsAction = makeAction(tr("Pause location data"), logo, QKeySequence(tr("Shift+P")),
                                 tr("Pause location data"));
    m_fwUpdateAction = makeAction(tr("Firmware update"), logo, QKeySequence(tr("Ctrl+F")), tr("Firmware update"));
    m_sendJsonAction = makeAction(tr("Send JSON"), logo, QKeySequence(tr("Ctrl+E")), tr("Send JSON to master"));
    m_readDistancesAction = makeAction(tr("Read all distances"), logo, QKeySequence(tr("Ctrl+Shift+A")),
                                       tr("Read all distances"));
    m_addZoneAction = makeAction(tr("Add Zone"), logo, QKeySequence(tr("Ctrl+Shift+Z")), tr("Add Zone to map"));

    m_viewTopAction = makeAction(tr("View in 2D (top)"), none, QKeySequence(tr("O")),
                                 tr("View Map in 2D from above (Orthographic)"));
    m_viewFrontAction = makeAction(tr("View in 2D (front)"), none, QKeySequence(tr("F")),
                                   tr("View Map in 2D from the front (Orthographic)"));
    m_viewSideAction = makeAction(tr("View in 2D (side)"), none, QKeySequence(tr("S")),
                                  tr("View Map in 2D from right side (Orthographic)"));
    m_view3DAction = makeAction(tr("View in 3D"), none, QKeySequence(tr("P")), tr("View Map in 3D (Perspective)"));
    m_gridAction = makeAction(tr("Enable/disable grid"), none, QKeySequence(tr("G")), tr("Enable/disable grid"));
    m_wordWrapAction = makeAction(tr("Toggle word-wrap in console"), none, noKey,
                                  tr("Toggle word-wrap in console"));
    m_connectMasterAction = makeAction(tr("Connect to master…"), logo, noKey,
                                       tr("Connect to a master by its address"));
    m_fitToSiteAction = makeAction(tr("Fit to Site"), none, QKeySequence(tr("Home")),
                                   tr("Fit the map to the site's anchors"));
    m_resetLayoutAction = makeAction(tr("Reset Layout"), none, noKey,
                                     tr("Return the docks, the tabs and the map's camera to the first-start layout"));
    setMapActionsEnabled(false);
}

// The map's camera presets, its grid and "Add Zone" are connected when the
// map tab is added; everything else has its target now.
void MainWindow::connectActions()
{
    SentrovaInterface *hub = SentrovaInterface::instance();

    connect(m_openAction, &QAction::triggered, this, &MainWindow::open);
    connect(m_saveAction, &QAction::triggered, this, &MainWindow::save);
    connect(m_saveAsAction, &QAction::triggered, this, &MainWindow::saveAs);
    connect(m_loadSettingsAction, &QAction::triggered, this, &MainWindow::loadSettings);
    connect(m_saveSettingsAction, &QAction::triggered, this, &MainWindow::saveSettings);
    for (QAction *recent : m_recentFileActions)
        connect(recent, &QAction::triggered, this, &MainWindow::openRecentFile);
    connect(m_exitAction, &QAction::triggered, this, &QWidget::close);
    connect(m_helpAction, &QAction::triggered, this, &MainWindow::help);
    connect(m_aboutAction, &QAction::triggered, this, &MainWindow::about);

    connect(m_captureAction, &QAction::triggered, this, &MainWindow::toggleCapture);
    connect(m_serviceDataAction, &QAction::triggered, hub, &SentrovaInterface::toggleRtlsSvcDisplayMessages);
    connect(m_locationDataAction, &QAction::triggered, hub, &SentrovaInterface::toggleRtlsLsDisplayMessages);
    connect(m_clearConsoleAction, &QAction::triggered, this, &MainWindow::clearConsole);
    connect(m_clearHistoryAction, &QAction::triggered, this, &MainWindow::clearHistory);
    connect(m_scanMasterAction, &QAction::triggered, hub, &SentrovaInterface::scanMaster);
    connect(m_resetMasterAction, &QAction::triggered, hub, &SentrovaInterface::resetMaster);
    connect(m_forceFwUpdateAction, &QAction::triggered, this, &MainWindow::forceFwUpdate);
    connect(m_newSessionAction, &QAction::triggered, hub, &SentrovaInterface::setNewSess);
    connect(m_listAnchorsAction, &QAction::triggered, hub, &SentrovaInterface::listAnchors);
    connect(m_listTagsAction, &QAction::triggered, hub, &SentrovaInterface::listTags);
    connect(m_getVersionAction, &QAction::triggered, hub, &SentrovaInterface::getVersion);
    connect(m_pauseLsAction, &QAction::triggered, hub, &SentrovaInterface::pauseLs);
    connect(m_fwUpdateAction, &QAction::triggered, this, &MainWindow::openFwDescDialog);
    connect(m_sendJsonAction, &QAction::triggered, this, &MainWindow::sendJSON);
    connect(m_readDistancesAction, &QAction::triggered, hub, &SentrovaInterface::getAllDistances);
    connect(m_wordWrapAction, &QAction::triggered, this, &MainWindow::toggleWordWrap);
    connect(m_connectMasterAction, &QAction::triggered, this, &MainWindow::openConnectDialog);
    connect(m_resetLayoutAction, &QAction::triggered, this, &MainWindow::resetLayout);

    connect(hub, &SentrovaInterface::displayMessage, this, &MainWindow::printMessage);
    connect(Dispatch::instance(), &Dispatch::idSelected, this, &MainWindow::selectedID);
    // The running record count shows on the map tab; the status bar says
    // when a capture starts and stops. A capture that starts is a new
    // document, without a file of its own (whatever started it: the capture
    // action or the command line).
    connect(hub->locationStream(), &RtlsLs::captureStarted, this, [this](const QString &fileName) {
        m_capturing = true;
        startDocument(fileName, true);
        m_currentFile.clear();
        setWindowFilePath(QString());
        showStatus(tr("Capturing to %1").arg(m_captureSource));
    });
    connect(hub, &SentrovaInterface::recordingSignal, this, [this](int records) {
        if (records < 0 && m_capturing) {
            m_capturing = false;
            showStatus(tr("Capture stopped"));
        }
    });
}

void MainWindow::createMenus()
{
    QFont menuFont;
    menuFont.setPointSize(AppConstants::kMenuBarFontPointSize);
    menuBar()->setFont(menuFont);

    m_fileMenu = menuBar()->addMenu(tr("&File"));
    m_fileMenu->addActions({m_openAction, m_saveAction, m_saveAsAction, m_exportMapAction});
    m_fileMenu->addSeparator();
    m_fileMenu->addActions({m_loadSettingsAction, m_saveSettingsAction});
    m_recentFileSeparator = m_fileMenu->addSeparator();
    for (QAction *recent : m_recentFileActions)
        m_fileMenu->addAction(recent);
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(m_exitAction);

    m_toolsMenu = menuBar()->addMenu(tr("&Tools"));
    m_toolsMenu->addActions({m_captureAction, m_serviceDataAction, m_locationDataAction,
                             m_clearConsoleAction, m_clearHistoryAction, m_scanMasterAction,
                             m_connectMasterAction, m_newSessionAction});
    m_toolsMenu->addSeparator();
    m_toolsMenu->addActions({m_readDistancesAction, m_resetMasterAction, m_forceFwUpdateAction,
                             m_listAnchorsAction, m_listTagsAction, m_getVersionAction, m_pauseLsAction});
    m_toolsMenu->addSeparator();
    m_toolsMenu->addAction(m_addZoneAction);
    m_toolsMenu->addSeparator();
    m_toolsMenu->addAction(m_fwUpdateAction);
    m_toolsMenu->addSeparator();
    m_toolsMenu->addAction(m_sendJsonAction);

    m_viewMenu = menuBar()->addMenu(tr("&View"));
    m_viewMenu->addActions({m_viewTopAction, m_viewFrontAction, m_viewSideAction, m_view3DAction,
                            m_fitToSiteAction, m_gridAction});
    m_viewMenu->addSeparator();
    m_viewMenu->addAction(m_wordWrapAction);

    menuBar()->addSeparator();
    m_helpMenu = menuBar()->addMenu(tr("&Help"));
    m_helpMenu->addAction(m_helpAction);
    m_helpMenu->addSeparator();
    m_helpMenu->addAction(m_aboutAction);
}

// Publishing to a broker: its panel in the settings tab, a switch in the
// Tools menu, the zones' events and the state of the connection in the
// status bar (shown only while publishing is on).
void MainWindow::setUpMqtt()
{
    MqttPublisher *mqtt = SentrovaInterface::instance()->mqtt();
    // One panel for the one publisher, however many windows come and go.
    if (!SettingsTab::instance()->settingsGroup(tr("MQTT")))
        SettingsTab::instance()->addSettingsWidget(tr("MQTT"), new MqttSettings(mqtt));

    m_mqttAction = makeAction(tr("Publish to MQTT broker"), QIcon(), QKeySequence(),
                              tr("Publish positions, node statuses and zone events to the MQTT broker"));
    m_mqttAction->setCheckable(true);
    m_mqttAction->setChecked(mqtt->isEnabled());
    connect(m_mqttAction, &QAction::toggled, mqtt, &MqttPublisher::setEnabled);
    connect(mqtt, &MqttPublisher::enabledChanged, m_mqttAction, &QAction::setChecked);
    m_toolsMenu->addSeparator();
    m_toolsMenu->addAction(m_mqttAction);

    // Zones reach the publisher as they are announced: the map tab's
    // zoneAdded is passed on through the window's own signal.
    m_mqttZones = new MqttZoneEvents(mqtt, this);
    connect(this, &MainWindow::zoneAdded, m_mqttZones, &MqttZoneEvents::zoneAdded);

    m_mqttStatus = new QLabel(this);
    m_mqttStatus->setObjectName(QStringLiteral("mqttStatus"));
    statusBar()->addPermanentWidget(m_mqttStatus);
    connect(mqtt, &MqttPublisher::stateChanged, this, &MainWindow::updateMqttStatus);
    connect(mqtt, &MqttPublisher::enabledChanged, this, &MainWindow::updateMqttStatus);
    connect(mqtt, &MqttPublisher::configChanged, this, &MainWindow::updateMqttStatus);
    updateMqttStatus();
}

void MainWindow::updateMqttStatus()
{
    if (const RemoteSite *remote = SentrovaInterface::instance()->remoteSite()) {
        m_mqttStatus->setVisible(true);
        m_mqttStatus->setText(remote->isConnected() ? tr("Remote view: connected") : tr("Remote view: disconnected"));
        m_mqttStatus->setToolTip(tr("The site published on broker %1 under %2/#")
                                     .arg(remote->brokerText(), remote->config().topicPrefix));
        return;
    }
    const MqttPublisher *mqtt = SentrovaInterface::instance()->mqtt();
    m_mqttStatus->setVisible(mqtt->isEnabled());
    m_mqttStatus->setText(mqtt->isConnected() ? tr("MQTT: connected") : tr("MQTT: disconnected"));
    m_mqttStatus->setToolTip(tr("MQTT broker: %1").arg(MqttSettings::stateText(mqtt)));
}

void MainWindow::createConsoleDock()
{
    auto *dock = new QDockWidget(tr("Console window"), this);
    dock->setObjectName(QLatin1String(AppConstants::kConsoleDockObjectName));
    dock->setAllowedAreas(Qt::BottomDockWidgetArea);
    QSizePolicy policy(QSizePolicy::MinimumExpanding, QSizePolicy::Minimum);
    policy.setHorizontalStretch(100);
    m_console->setSizePolicy(policy);
    dock->setWidget(m_console);
    addDockWidget(Qt::BottomDockWidgetArea, dock);
    dock->show();
    m_docks << dock;
}

void MainWindow::writeConsoleLine(const QString &message)
{
    qCInfo(lcConsole).noquote() << message;
    printMessage(message);
}

void MainWindow::showStatus(const QString &message)
{
    statusBar()->showMessage(message, AppConstants::kStatusMessageMs);
}

void MainWindow::printMessage(QString str)
{
    // Stamped now; shown with the other lines of this frame.
    m_console->appendLine(ConsoleText::line(QDateTime::currentMSecsSinceEpoch(), str));
}

void MainWindow::clearConsole()
{
    m_console->clearConsole();
}

void MainWindow::toggleWordWrap()
{
    if (m_console->wordWrapMode() != QTextOption::NoWrap)
        m_console->setWordWrapMode(QTextOption::NoWrap);
    else
        m_console->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
}

void MainWindow::forceFwUpdate()
{
    uint64_t id = Dispatch::instance()->selectedId();
    if (id == 0)
        id = AppConstants::kAllNodesId;
    SentrovaInterface::instance()->forceFwUpdate(id);
}

// The selection is read from the dispatcher when a command needs it.
void MainWindow::selectedID(uint64_t) {}

void MainWindow::sendJSON()
{
    bool ok = false;
    const QString text = QInputDialog::getMultiLineText(
        this, tr("Enter JSON message to send to the master"), tr("JSON:"), presetJson(), &ok);
    if (ok && !text.isEmpty())
        SentrovaInterface::instance()->sendJsonString(text);
}

void MainWindow::about()
{
    const QString text =
        tr("<center><h3>Sentrova Manager v%3</h3>(%1 %2)<br/><b>Sentrova Manager</b><br/>"
           "Set-up and operation of the Sentrova ultra-wideband locating system.</center>")
            .arg(QLatin1String(__DATE__), QLatin1String(__TIME__),
                 QString::number(AppConstants::kVersionNumber));
    QMessageBox::about(this, tr("About Sentrova Manager"), text);
}

void MainWindow::help()
{
    QMessageBox::about(this, tr("Sentrova Manager Help"), tr("<center><h3>Help</h3><br /></center>"));
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (event->spontaneous() || m_settingsLoaded)
        return;
    loadSettings();
    SentrovaInterface::instance()->init();
    m_settingsLoaded = true;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_saver->isBusy()) {
        // Held while the question is open, so that "the file is left as it
        // was" stays true whatever the answer takes.
        m_saver->setHeld(true);
        const QMessageBox::StandardButton answer = QMessageBox::question(
            this, tr("Save in progress"),
            tr("%1 is still being saved. Stop saving and close? The file is left as it was.")
                .arg(m_saver->target()),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            m_saver->setHeld(false);
            event->ignore();
            return;
        }
        m_saver->abort();
    }
    // Before the tabs close: the current one and the map's camera are kept.
    saveLayout();
    while (closeCurrentTab() != -1) {
    }
    event->accept();
}

void MainWindow::loadSettings()
{
    SettingsFile file(m_preferences.settingsFileName());
    QJsonObject root;
    const SettingsFile::Status status = file.read(&root);
    // A missing file is the normal first start: the console says so, and the
    // log keeps the reason without raising a warning.
    if (status == SettingsFile::Status::CannotOpen) {
        writeConsoleLine(tr("Cannot open settings file: ") + file.fileName());
        qCInfo(lcApp).noquote() << "cannot open" << file.fileName() << ":" << file.errorString();
        return;
    }
    writeConsoleLine(tr("Loading settings from file: ") + file.fileName());
    if (status == SettingsFile::Status::CannotParse) {
        writeConsoleLine(tr("Cannot parse settings file: ") + file.fileName());
        qCInfo(lcApp).noquote() << "cannot parse" << file.fileName() << ":" << file.errorString();
        return;
    }
    // A remote view's nodes, master and zones are the site's, from the broker.
    if (SentrovaInterface::instance()->isRemote()) {
        for (const char *key : {"node", "master", "zone"})
            root.remove(QLatin1String(key));
    }
    SentrovaInterface::instance()->fromJSON(root);
    if (m_mapTab)
        m_mapTab->fromJSON(root);
    SiteAcceptanceTab::instance()->fromJSON(root);
}

void MainWindow::saveSettings()
{
    SettingsFile file(m_preferences.settingsFileName());
    QJsonObject root = SentrovaInterface::instance()->toJSON(QJsonObject());
    if (m_mapTab)
        root = m_mapTab->toJSON(root);
    root = SiteAcceptanceTab::instance()->toJSON(root);
    switch (file.write(root)) {
    case SettingsFile::Status::Ok:
        return;
    case SettingsFile::Status::CannotOpen:
        writeConsoleLine(tr("Cannot open settings file: ") + file.fileName());
        break;
    case SettingsFile::Status::CannotParse:
    case SettingsFile::Status::CannotWrite:
        writeConsoleLine(tr("Cannot save settings file: ") + file.fileName());
        break;
    }
    qCWarning(lcApp).noquote() << "cannot save" << file.fileName() << ":" << file.errorString();
}

void MainWindow::open()
{
    const QString fileName = QFileDialog::getOpenFileName(
        this, tr("Open a file with captured data"), QDir::currentPath(),
        tr(AppConstants::kCaptureFileFilter));
    if (fileName.isEmpty())
        return;
    if (openCapture(fileName))
        showStatus(tr("File opened: ") + fileName);
}

// A document without a file of its own asks for one.
void MainWindow::save()
{
    if (reportNothingToSave())
        return;
    if (m_currentFile.isEmpty())
        saveAs();
    else
        saveFile(m_currentFile);
}

void MainWindow::saveAs()
{
    if (reportNothingToSave())
        return;
    const QString fileName = QFileDialog::getSaveFileName(
        this, tr("Save captured data to a file"), QDir::currentPath(),
        tr(AppConstants::kCaptureFileFilter));
    if (fileName.isEmpty())
        return;
    saveFile(fileName);
}

void MainWindow::openRecentFile()
{
    if (const auto *action = qobject_cast<const QAction *>(sender()))
        loadFile(action->data().toString());
}

void MainWindow::createReplayControls()
{
    CaptureReplay *replay = SentrovaInterface::instance()->captureReplay();
    m_replayControls = new ReplayControls(replay, this);
    statusBar()->addPermanentWidget(m_replayControls);
    connect(replay, &CaptureReplay::finished, this, [this, replay] {
        writeConsoleLine(tr("Replay of %1 finished; live location data is shown again").arg(replay->fileName()));
    });
    connect(replay, &CaptureReplay::stateChanged, this, [this, wasActive = false](CaptureReplay::State state) mutable {
        const bool active = state == CaptureReplay::State::Playing || state == CaptureReplay::State::Paused;
        if (wasActive && state == CaptureReplay::State::Idle)
            writeConsoleLine(tr("Replay stopped; live location data is shown again"));
        wasActive = active;
    });
}

void MainWindow::loadFile(QString fileName)
{
    openCapture(fileName);
}

// A capture file opened is a new document, and the file is its own.
bool MainWindow::openCapture(const QString &fileName)
{
    CaptureReplay *replay = SentrovaInterface::instance()->captureReplay();
    QString error;
    if (!replay->open(fileName, &error)) {
        const QString text = tr("Cannot open capture file %1: %2").arg(fileName, error);
        qCWarning(lcApp).noquote() << text;
        writeConsoleLine(text);
        showStatus(text);
        return false;
    }
    writeConsoleLine(tr("Replaying %1: %2 reports over %3; live location data is paused meanwhile")
                         .arg(fileName)
                         .arg(replay->reportCount())
                         .arg(ReplayControls::timeText(replay->duration())));
    startDocument(fileName, false);
    setCurrentFile(fileName);
    showStatus(tr("File loaded: ") + fileName);
    return true;
}

void MainWindow::startDocument(const QString &source, bool recording)
{
    ++m_document;
    m_captureSource = QFileInfo(source).absoluteFilePath();
    m_documentIsRecording = recording;
}

bool MainWindow::reportNothingToSave()
{
    if (!m_captureSource.isEmpty())
        return false;
    writeConsoleLine(tr("Nothing captured to save: start a capture or open a capture file first"));
    showStatus(tr("Nothing captured to save"));
    return true;
}

void MainWindow::reportFailure(const QString &text)
{
    qCWarning(lcApp).noquote() << text;
    writeConsoleLine(text);
    showStatus(text);
}

void MainWindow::saveFile(QString fileName)
{
    if (reportNothingToSave())
        return;
    if (m_saver->isBusy()) {
        showStatus(tr("Saving %1: wait for that save to end or cancel it").arg(m_saver->target()));
        return;
    }
    // The file opened is already this document: there is nothing to copy.
    if (!m_documentIsRecording && isSameFile(fileName, m_captureSource)) {
        setCurrentFile(fileName);
        showStatus(tr("%1 already holds this capture: nothing to copy").arg(fileName));
        return;
    }
    SentrovaInterface *hub = SentrovaInterface::instance();
    if (isSameFile(fileName, hub->locationStream()->captureFileName())) {
        reportFailure(tr("Cannot save file %1: captures are recorded into it, and the next capture "
                         "overwrites it; choose another name")
                          .arg(fileName));
        return;
    }
    // The file then holds every record counted so far; what the capture
    // records from now on is not part of this save.
    if (m_documentIsRecording)
        hub->locationStream()->flushCapture();
    QString error;
    if (!m_saver->start(m_captureSource, fileName, &error)) {
        reportFailure(tr("Cannot save file %1: %2").arg(fileName, error));
        return;
    }
    m_savingDocument = m_document;
    m_savingName = fileName;
    setSaveActionsEnabled(false);
}

void MainWindow::createSaveProgress()
{
    m_saver = new CaptureSaver(this);
    m_saveProgress = new SaveProgress(m_saver, this);
    statusBar()->addPermanentWidget(m_saveProgress);
    // The file saved becomes the document's own if the window still shows
    // that document; otherwise it is only remembered as a recent file.
    connect(m_saver, &CaptureSaver::saved, this, [this] {
        setSaveActionsEnabled(true);
        if (m_savingDocument == m_document)
            setCurrentFile(m_savingName);
        else
            rememberRecentFile(m_savingName);
        showStatus(tr("File saved: ") + m_savingName);
    });
    connect(m_saver, &CaptureSaver::failed, this, [this](const QString &, const QString &error) {
        setSaveActionsEnabled(true);
        reportFailure(tr("Cannot save file %1: %2").arg(m_savingName, error));
    });
    connect(m_saver, &CaptureSaver::cancelled, this, [this] {
        setSaveActionsEnabled(true);
        const QString text = tr("Saving %1 cancelled: the file is left as it was").arg(m_savingName);
        writeConsoleLine(text);
        showStatus(text);
    });
}

void MainWindow::setSaveActionsEnabled(bool enabled)
{
    m_saveAction->setEnabled(enabled);
    m_saveAsAction->setEnabled(enabled);
}

void MainWindow::toggleCapture()
{
    SentrovaInterface *hub = SentrovaInterface::instance();
    const QString recorderFile = hub->locationStream()->captureFileName();
    if (!hub->isCapturing() && m_saver->isBusy() && isSameFile(m_saver->source(), recorderFile)) {
        const QString text = tr("No new capture while %1 is being saved: the capture would overwrite it; "
                                "wait for the save to end or cancel it")
                                 .arg(recorderFile);
        writeConsoleLine(text);
        showStatus(text);
        return;
    }
    hub->toggleLsCapture();
}

void MainWindow::setCurrentFile(QString fileName)
{
    m_currentFile = fileName;
    setWindowFilePath(fileName);
    rememberRecentFile(fileName);
}

void MainWindow::rememberRecentFile(const QString &fileName)
{
    m_preferences.addRecentFile(fileName);
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *widget : windows) {
        if (auto *window = qobject_cast<MainWindow *>(widget))
            window->updateRecentFileActions();
    }
}

void MainWindow::updateRecentFileActions()
{
    const QStringList files = m_preferences.recentFiles();
    for (int i = 0; i < static_cast<int>(m_recentFileActions.size()); ++i) {
        QAction *action = m_recentFileActions[i];
        if (i >= files.size()) {
            action->setVisible(false);
            continue;
        }
        // A '&' in a file name would otherwise turn into a mnemonic and vanish.
        QString name = QFileInfo(files.at(i)).fileName();
        name.replace(QLatin1Char('&'), QLatin1String("&&"));
        action->setText(tr("&%1 %2").arg(QString::number(i + 1), name));
        action->setData(files.at(i));
        action->setVisible(true);
    }
    m_recentFileSeparator->setVisible(!files.isEmpty());
}

// Docks and tabs

// The view docks, in this order, all on the left; the console dock comes
// after them. The node list and the details are the docks' own children, the
// orientation view and the measurement tool the window's.
void MainWindow::createViewDocks()
{
    SentrovaInterface *hub = SentrovaInterface::instance();
    Dispatch *dispatch = Dispatch::instance();
    QSizePolicy viewPolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    viewPolicy.setHorizontalStretch(1);

    QDockWidget *dock = createDock(tr("Node List"), AppConstants::kNodeListDockObjectName,
                                   Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    m_nodeList = new NodeList(dock);
    placeDock(dock, m_nodeList, QSizePolicy(QSizePolicy::Preferred, QSizePolicy::MinimumExpanding), true);

    dock = createDock(tr("Node Details"), AppConstants::kNodeDetailsDockObjectName,
                      Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    m_nodeDetails = new NodeDetailTab(dock);
    // Preferred, not Minimum, across: the details' plot asks for 640 pixels,
    // and as a minimum that would widen the window past a laptop's screen.
    // Preferred, not Fixed, down: all their fields are some 500 pixels high,
    // which beside the node list and above the console is more than a
    // laptop's screen has; lower, the fields scroll.
    placeDock(dock, m_nodeDetails, QSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred), true);
    connect(dispatch, &Dispatch::idSelected, m_nodeDetails, &NodeDetailTab::connectNode);
    connect(hub, &SentrovaInterface::nodeUpdatedSignal, m_nodeDetails, &NodeDetailTab::nodeUpdated);
    // A node selected before this window existed is shown at once.
    if (dispatch->selectedId() != 0)
        m_nodeDetails->connectNode(dispatch->selectedId());

    m_orientationView = new OrientationView(this);
    placeDock(createDock(tr("Node Orientation"), AppConstants::kOrientationDockObjectName, Qt::AllDockWidgetAreas),
              m_orientationView, viewPolicy, false);

    m_measurementTab = new MeasurementTab(this);
    placeDock(createDock(tr("Measurement Tool"), AppConstants::kMeasurementDockObjectName, Qt::AllDockWidgetAreas),
              m_measurementTab, viewPolicy, false);
    connect(hub, &SentrovaInterface::nodeUpdatedSignal, m_measurementTab, &MeasurementTab::nodeUpdated);
    connect(hub, &SentrovaInterface::nodeAddedSignal, m_measurementTab, &MeasurementTab::nodeListUpdated);
}

QDockWidget *MainWindow::createDock(const QString &title, const char *objectName, Qt::DockWidgetAreas areas)
{
    auto *dock = new QDockWidget(title, this);
    dock->setObjectName(QLatin1String(objectName));
    dock->setAllowedAreas(areas);
    return dock;
}

void MainWindow::placeDock(QDockWidget *dock, QWidget *content, QSizePolicy policy, bool shown)
{
    content->setSizePolicy(policy);
    dock->setWidget(content);
    addDockWidget(Qt::LeftDockWidgetArea, dock);
    dock->setVisible(shown);
    m_docks << dock;
}

// Each dock's switch in the View menu, so that a hidden dock (or a closed
// one) can be brought back.
void MainWindow::addDockToggles()
{
    m_viewMenu->addSeparator();
    for (QDockWidget *dock : qAsConst(m_docks))
        m_viewMenu->addAction(dock->toggleViewAction());
    m_viewMenu->addSeparator();
    m_viewMenu->addAction(m_resetLayoutAction);
}

// Adds a page as a tab with the logo, once: a page already in this window
// keeps its tab. Returns the page's index.
int MainWindow::addPage(QWidget *page, const QString &title)
{
    const int index = m_tabs->indexOf(page);
    if (index >= 0)
        return index;
    return m_tabs->addTab(page, QIcon(QLatin1String(kLogoIcon)), title);
}

// One map per window: asked again, the window shows the map it has.
void MainWindow::addMapTab()
{
    if (m_mapTab) {
        m_tabs->setCurrentWidget(m_mapTab);
        return;
    }
    m_mapTab = new MapTab(this);
    const int index = addPage(m_mapTab, tr("Map"));
    m_tabs->setCurrentIndex(index);
    m_mapTab->setTabWidget(m_tabs, index);

    // The map's lines are console lines like any other, logged as well.
    connect(m_mapTab, &MapTab::displayMessage, this, [this](const QString &line) { writeConsoleLine(line); });
    connect(m_viewTopAction, &QAction::triggered, m_mapTab, &MapTab::fitCameraTop);
    connect(m_viewFrontAction, &QAction::triggered, m_mapTab, &MapTab::fitCameraFront);
    connect(m_viewSideAction, &QAction::triggered, m_mapTab, &MapTab::fitCameraSide);
    connect(m_view3DAction, &QAction::triggered, m_mapTab, &MapTab::fitCameraPerspective);
    connect(m_fitToSiteAction, &QAction::triggered, m_mapTab, &MapTab::fitToSite);
    connect(m_gridAction, &QAction::triggered, m_mapTab, &MapTab::toggleGrid);
    connect(m_addZoneAction, &QAction::triggered, m_mapTab, &MapTab::addZone);
    connect(m_exportMapAction, &QAction::triggered, m_mapTab, &MapTab::exportImage);
    // The capture and word-wrap actions already have their one connection:
    // a second would undo every toggle.
    connect(SentrovaInterface::instance(), &SentrovaInterface::recordingSignal, m_mapTab, &MapTab::recording);
    m_mapTab->setChildViewer(m_orientationView);
    // The list shows the map's zones (and follows their changes); new ones
    // come through zoneAdded, which the window also passes on as its own.
    connect(m_mapTab, &MapTab::zoneAdded, m_nodeList, &NodeList::zoneAdded);
    connect(m_mapTab, &MapTab::zoneAdded, this, &MainWindow::zoneAdded);
    m_nodeList->setMapTab(m_mapTab);
    // A map made again after its tab was closed shows the survey points too.
    if (m_siteAcceptanceTab)
        m_siteAcceptanceTab->setMapTab(m_mapTab);
    // While no master is connected the map says so, and how to name one.
    m_noMasterOverlay = new NoMasterOverlay(SentrovaInterface::instance(), m_mapTab);
    connect(m_noMasterOverlay, &NoMasterOverlay::connectRequested, this, &MainWindow::openConnectDialog);

    setMapActionsEnabled(true);
    attachRemoteZones();
    connect(m_mapTab, &QObject::destroyed, this, [this] {
        setMapActionsEnabled(false);
        if (m_zonesTab)
            m_zonesTab->setMapTab(nullptr);
    });
}

// The actions that work on the map are offered while there is one.
void MainWindow::setMapActionsEnabled(bool enabled)
{
    for (QAction *action : {m_viewTopAction, m_viewFrontAction, m_viewSideAction, m_view3DAction,
                            m_fitToSiteAction, m_gridAction, m_addZoneAction, m_exportMapAction})
        action->setEnabled(enabled);
}

void MainWindow::addSettingsTab()
{
    m_settingsTab = SettingsTab::instance();
    addPage(m_settingsTab, tr("Settings"));
    // The system settings page is one per process, like the tab it sits in.
    const QString title = tr("sentrova Settings");
    if (!m_settingsTab->settingsGroup(title))
        m_settingsTab->addSettingsWidget(title, new SentrovaSettings);
}

void MainWindow::addSetupTab()
{
    m_setupTab = SetupTab::instance();
    addPage(m_setupTab, tr("Initial Setup"));
}

void MainWindow::addZonesTab()
{
    m_zonesTab = ZonesTab::instance();
    addPage(m_zonesTab, tr("Zones"));
    if (!m_mapTab)
        return;
    connect(m_mapTab, &MapTab::zoneAdded, m_zonesTab, &ZonesTab::zoneAdded, Qt::UniqueConnection);
    connect(m_mapTab, &MapTab::zoneUpdated, m_zonesTab, &ZonesTab::zoneUpdated, Qt::UniqueConnection);
    connect(m_mapTab, &MapTab::zoneRemoved, m_zonesTab, &ZonesTab::zoneRemoved, Qt::UniqueConnection);
    m_zonesTab->setMapTab(m_mapTab);
}

void MainWindow::addCalibrationTabs()
{
    m_anchorCalibrationTab = AnchorCalibrationTab::instance();
    addPage(m_anchorCalibrationTab, tr("Anchor Calibration"));
    m_tagCalibrationTab = TagCalibrationTab::instance();
    addPage(m_tagCalibrationTab, tr("Tag Calibration"));
}

void MainWindow::addSiteAcceptanceTab()
{
    m_siteAcceptanceTab = SiteAcceptanceTab::instance();
    addPage(m_siteAcceptanceTab, tr("Site Acceptance"));
    m_siteAcceptanceTab->setMapTab(m_mapTab);
}

// Only statistics that exist are cleared: asking a node for its statistics
// would create them.
void MainWindow::clearHistory()
{
    if (m_mapTab)
        m_mapTab->clearHistory();
    for (RtlsObject *node : SentrovaInterface::instance()->nodes()) {
        if (node->hasStats())
            node->stats()->clearHistory();
    }
}

void MainWindow::openFwDescDialog()
{
    // Without a parent, as its own window; gone when it closes.
    UpdateDialog dialog;
    dialog.setWindowTitle(tr("Firmware update"));
    dialog.exec();
}

// Pages made by this window go with their tab; the shared single-instance
// pages are only taken out of the window, so that their instance() stays
// valid for the rest of the process.
int MainWindow::closeCurrentTab()
{
    const int index = m_tabs->currentIndex();
    if (index < 0)
        return -1;
    QWidget *page = m_tabs->widget(index);
    if (!page->close())
        return -1;
    m_tabs->removeTab(index);
    if (isOwnPage(page))
        delete page;
    else
        page->setParent(nullptr);
    return 0;
}

bool MainWindow::isOwnPage(const QWidget *page) const
{
    return page && page == m_mapTab;
}

void MainWindow::releaseSharedPages()
{
    for (int index = m_tabs->count() - 1; index >= 0; --index) {
        QWidget *page = m_tabs->widget(index);
        if (isOwnPage(page))
            continue;
        m_tabs->removeTab(index);
        page->hide();
        page->setParent(nullptr);
    }
}

// A remote view

void MainWindow::setUpRemoteView()
{
    m_connectBrokerAction = makeAction(tr("Connect to broker..."), QIcon(), QKeySequence(),
                                       tr("Show a site that its manager publishes on an MQTT broker"));
    connect(m_connectBrokerAction, &QAction::triggered, this, &MainWindow::connectToBroker);
    m_toolsMenu->addAction(m_connectBrokerAction);
    connect(SentrovaInterface::instance(), &SentrovaInterface::remoteChanged, this, &MainWindow::applyRemoteMode);
}

void MainWindow::connectToBroker()
{
    SentrovaInterface *hub = SentrovaInterface::instance();
    const MqttConfig initial = hub->isRemote() ? hub->remoteSite()->config() : hub->mqtt()->config();
    RemoteConnectDialog dialog(initial, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const MqttConfig chosen = dialog.config();
    hub->becomeRemote();
    // Kept with the MQTT settings, so that a saved settings file names the broker.
    MqttConfig stored = chosen;
    stored.enabled = hub->mqtt()->config().enabled;
    hub->mqtt()->setConfig(stored);
    hub->remoteSite()->setConfig(chosen);
    hub->remoteSite()->start();
    updateMqttStatus();
}

// Everything that would go to a master is disabled and says why; the
// installer's pages (set-up, calibration, system settings) are shown but
// cannot be used. Replay would mix a capture into the site's live view.
void MainWindow::applyRemoteMode()
{
    SentrovaInterface *hub = SentrovaInterface::instance();
    if (!hub->isRemote() || m_remoteApplied)
        return;
    m_remoteApplied = true;
    for (QAction *action : {m_scanMasterAction, m_resetMasterAction, m_forceFwUpdateAction, m_newSessionAction,
                            m_listAnchorsAction, m_listTagsAction, m_getVersionAction, m_readDistancesAction,
                            m_fwUpdateAction, m_sendJsonAction, m_serviceDataAction, m_mqttAction,
                            m_connectMasterAction})
        RemoteViewGuard::guard(action);
    const QString noReplay = tr("A remote view shows the site live: no capture is replayed in it");
    for (QAction *action : m_recentFileActions) {
        action->setEnabled(false);
        action->setToolTip(noReplay);
    }
    m_openAction->setEnabled(false);
    m_openAction->setToolTip(noReplay);
    m_openAction->setStatusTip(noReplay);
    m_fileMenu->setToolTipsVisible(true);
    m_toolsMenu->setToolTipsVisible(true);

    for (QWidget *page : {static_cast<QWidget *>(m_setupTab.data()), static_cast<QWidget *>(m_anchorCalibrationTab.data()),
                          static_cast<QWidget *>(m_tagCalibrationTab.data())}) {
        if (!page || !RemoteViewGuard::guard(page))
            continue;
        const int index = m_tabs->indexOf(page);
        if (index >= 0)
            m_tabs->setTabToolTip(index, RemoteViewGuard::reason());
    }
    if (m_settingsTab)
        RemoteViewGuard::guard(m_settingsTab->settingsGroup(tr("sentrova Settings")));

    RemoteSite *remote = hub->remoteSite();
    setWindowTitle(tr("Sentrova manager - v%1 - remote view").arg(AppConstants::kVersionNumber));
    connect(remote, &RemoteSite::stateChanged, this, &MainWindow::updateMqttStatus);
    attachRemoteZones();
    updateMqttStatus();
}

void MainWindow::attachRemoteZones()
{
    RemoteSite *remote = SentrovaInterface::instance()->remoteSite();
    if (!remote || !m_mapTab || m_remoteZones)
        return;
    m_remoteZones = new RemoteZones(remote, m_mapTab->scene(), m_mapTab);
}

// Layout kept between runs

void MainWindow::setUpLayout()
{
    m_firstStartDocks = saveState(WindowLayout::kVersion);
    const std::optional<WindowLayout> kept = WindowLayout::read();
    if (!kept || !restoreState(kept->dockState, WindowLayout::kVersion)) {
        // The size the window is about to be maximised to, so that the docks
        // get their sizes in the room they will have.
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            resize(screen->availableGeometry().size());
        showMaximized();
        // Once shown: before, the docks have no size to change.
        applyFirstStartDockSizes();
        if (m_mapTab)
            m_mapTab->setFitToSiteWhenKnown(true);
        return;
    }
    if (!restoreGeometry(kept->geometry))
        setWindowState(Qt::WindowMaximized);
    for (int index = 0; index < m_tabs->count(); ++index) {
        const QString title = m_tabs->widget(index) == m_mapTab ? m_mapTab->tabText() : m_tabs->tabText(index);
        if (title == kept->currentTab)
            m_tabs->setCurrentIndex(index);
    }
    show();
    // After the first show, which has applied the settings file's view.
    if (!m_mapTab)
        return;
    if (kept->camera)
        m_mapTab->setCameraState(*kept->camera);
    else
        m_mapTab->setFitToSiteWhenKnown(true);
}

void MainWindow::saveLayout()
{
    WindowLayout layout;
    layout.geometry = saveGeometry();
    layout.dockState = saveState(WindowLayout::kVersion);
    // The map's own title: a recording shows its count on the tab.
    const int index = m_tabs->currentIndex();
    if (index >= 0)
        layout.currentTab = m_tabs->widget(index) == m_mapTab ? m_mapTab->tabText() : m_tabs->tabText(index);
    if (m_mapTab)
        layout.camera = m_mapTab->cameraState();
    layout.write();
}

void MainWindow::resetLayout()
{
    restoreState(m_firstStartDocks, WindowLayout::kVersion);
    applyFirstStartDockSizes();
    showMaximized();
    if (m_mapTab) {
        m_tabs->setCurrentWidget(m_mapTab);
        m_mapTab->fitCameraPerspective();
        m_mapTab->setFitToSiteWhenKnown(true);
    }
    WindowLayout::clear();
}

// The docks on the left as wide as their texts need, the details as high
// as their fields, the console some lines high; the map takes the rest, and
// the node list what is left beside it.
void MainWindow::applyFirstStartDockSizes()
{
    const int width = readableDockWidth();
    QList<QDockWidget *> left;
    QList<int> widths;
    QDockWidget *console = nullptr;
    QDockWidget *details = nullptr;
    for (QDockWidget *dock : qAsConst(m_docks)) {
        if (dock->isFloating() || dock->isHidden())
            continue;
        if (dockWidgetArea(dock) == Qt::LeftDockWidgetArea) {
            left << dock;
            widths << width;
        }
        if (dock->widget() == m_nodeDetails)
            details = dock;
        if (dock->widget() == m_console)
            console = dock;
    }
    resizeDocks(left, widths, Qt::Horizontal);
    if (details)
        resizeDocks({details}, {m_nodeDetails->sizeHint().height()}, Qt::Vertical);
    if (console)
        resizeDocks({console}, {m_console->fontMetrics().lineSpacing() * kConsoleLines}, Qt::Vertical);
}

int MainWindow::readableDockWidth() const
{
    int width = 0;
    if (m_nodeList) {
        if (const auto *tree = m_nodeList->findChild<QTreeWidget *>(QStringLiteral("nodesTree"))) {
            const QFontMetrics metrics(tree->font());
            const QStyle *style = tree->style();
            const int icon = style->pixelMetric(QStyle::PM_SmallIconSize, nullptr, tree);
            int groupText = 0;
            for (const char *text : kLongestGroupTexts)
                groupText = std::max(groupText, metrics.horizontalAdvance(QLatin1String(text)));
            // Group rows stand one indentation in (the branch sign), node
            // rows two, with their icon before the name.
            const int group = tree->indentation() + groupText;
            const int node = 2 * tree->indentation() + icon +
                             metrics.horizontalAdvance(QLatin1String(kReferenceNodeName));
            int columns = std::max(group, node) + kItemSlack;
            for (int column = 1; column < tree->columnCount(); ++column)
                columns += tree->columnWidth(column);
            const QMargins margins = m_nodeList->contentsMargins() + m_nodeList->layout()->contentsMargins();
            width = columns + style->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, tree) +
                    2 * tree->frameWidth() + margins.left() + margins.right();
        }
    }
    if (m_nodeDetails)
        width = std::max(width, m_nodeDetails->minimumSizeHint().width());
    return width;
}

// Connecting to a master by address

void MainWindow::openConnectDialog()
{
    // The settings file's master, unless it asks for discovery ("auto").
    QString preset = SentrovaInterface::instance()->masterAddress().trimmed();
    if (preset.compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0)
        preset.clear();
    auto *dialog = new MasterAddressDialog(preset, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &MasterAddressDialog::addressChosen, this, [this](quint32 address, const QString &typed) {
        const QString dotted = QHostAddress(address).toString();
        writeConsoleLine(typed == dotted ? tr("Connecting to the master at %1").arg(dotted)
                                         : tr("Connecting to the master %1 at %2").arg(typed, dotted));
        SentrovaInterface::instance()->connectToMaster(address);
        showStatus(tr("Master address %1: File > Save Settings keeps it in the settings file").arg(dotted));
    });
    dialog->open();
}
