#include "AppTestEnvironment.h"
#include "ConsoleLogCapture.h"
#include "Dispatch.h"
#include "CaptureReplay.h"
#include "ReplayControls.h"
#include "RtlsLs.h"
#include "RtlsSvc.h"
#include "RtlsObject.h"
#include "RtlsPos.h"
#include "MainWindow.h"
#include "MapTab.h"
#include "MapZone.h"
#include "ModalDialog.h"
#include "MqttPublisher.h"
#include "SentrovaInterface.h"
#include "SettingsTab.h"
#include "SiteAcceptanceTab.h"
#include "UpdateDialog.h"
#include "ZonesTab.h"

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLoggingCategory>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>
#include <QSlider>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QPlainTextEdit>
#include "ConsoleView.h"
#include <QTcpServer>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

const QRegularExpression kStampedLine(QStringLiteral("^(\\d\\d):(\\d\\d):(\\d\\d): (.*)$"));

} // namespace

// The main window as a user meets it: under a real (virtual) display, with
// the real hub, its preference store and settings file in a temporary home.
class TestMainWindow : public QObject
{
    Q_OBJECT

public:
    static void initMain() { AppTestEnvironment::isolate(); }

private slots:
    void initTestCase();
    void init();
    void mqttSwitchAndIndicator();
    void cleanup();

    void titleAndConsoleDock();
    void menuEntries_data();
    void menuEntries();
    void firstStartLines();
    void secondShowDoesNotReload();
    void printMessageStampsAndTrims();
    void wordWrapActionToggles();
    void forceFwUpdate_data();
    void forceFwUpdate();
    void sendJson_data();
    void sendJson();
    void cancelledFileDialogChangesNothing_data();
    void cancelledFileDialogChangesNothing();
    void messageBoxes_data();
    void messageBoxes();
    void firmwareDialogRunsModalAndGoes();
    void settingsSaveAndLoad();
    void surveyPointsInTheSettingsFile();
    void settingsFileProblems_data();
    void settingsFileProblems();
    void failedSaveKeepsOldFile();
    void recentFiles();
    void saveWritesTheCapture();
    void openReplaysTheCapture();
    void captureShowsItsCount();
    void serviceEchoShowsNoEmptyLines();

private:
    MainWindow *createWindow();
    ConsoleView *console() const;
    QStringList messages() const; // console lines without their time stamps
    void onModalDialog(std::function<void(QWidget *)> handle);

    std::unique_ptr<MainWindow> m_window;
};

void TestMainWindow::initTestCase()
{
    SentrovaInterface::instance();
    ConsoleLogCapture::install();
}

void TestMainWindow::init()
{
    QSettings().clear();
    QDir work(QDir::currentPath());
    for (const QString &entry : work.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        QFileInfo info(work.filePath(entry));
        if (info.isDir())
            QDir(info.filePath()).removeRecursively();
        else
            QFile::remove(info.filePath());
    }
    Dispatch::instance()->emitIdSelected(0);
    SentrovaInterface::instance()->captureReplay()->stop();
    ConsoleLogCapture::lines().clear();
}

void TestMainWindow::cleanup()
{
    m_window.reset();
}

// Publishing to a broker: a switch in the Tools menu, one panel in the
// settings tab, and the connection's state in the status bar while it is on.
void TestMainWindow::mqttSwitchAndIndicator()
{
    createWindow();
    MqttPublisher *mqtt = SentrovaInterface::instance()->mqtt();
    auto *indicator = m_window->findChild<QLabel *>(QStringLiteral("mqttStatus"));
    QVERIFY(indicator);
    QVERIFY(!mqtt->isEnabled());
    QVERIFY(!indicator->isVisible());

    QAction *publish = nullptr;
    for (QAction *menu : m_window->menuBar()->actions())
        if (menu->menu() && menu->text() == QLatin1String("&Tools"))
            for (QAction *action : menu->menu()->actions())
                if (action->text() == QLatin1String("Publish to MQTT broker"))
                    publish = action;
    QVERIFY(publish);
    QVERIFY(publish->isCheckable());
    publish->trigger();
    QVERIFY(mqtt->isEnabled());
    QVERIFY(indicator->isVisible());
    QCOMPARE(indicator->text(), QStringLiteral("MQTT: disconnected"));

    mqtt->setEnabled(false);
    QVERIFY(!publish->isChecked());
    QVERIFY(!indicator->isVisible());

    // A second window adds no second panel.
    m_window.reset();
    createWindow();
    QCOMPARE(SettingsTab::instance()->settingsTitles().count(QStringLiteral("MQTT")), 1);
}

MainWindow *TestMainWindow::createWindow()
{
    m_window = std::make_unique<MainWindow>();
    m_window->show();
    if (!QTest::qWaitForWindowExposed(m_window.get()))
        qWarning("main window not exposed");
    return m_window.get();
}

ConsoleView *TestMainWindow::console() const
{
    auto *dock = m_window->findChild<QDockWidget *>(QStringLiteral("debugwindow"));
    auto *view = dock ? qobject_cast<ConsoleView *>(dock->widget()) : nullptr;
    // What the user sees once the pending lines' frame has come.
    if (view)
        view->flush();
    return view;
}

QStringList TestMainWindow::messages() const
{
    QStringList result;
    const QStringList lines = console()->toPlainText().split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QRegularExpressionMatch match = kStampedLine.match(line);
        result << (match.hasMatch() ? match.captured(4) : QStringLiteral("UNSTAMPED: ") + line);
    }
    return result;
}

void TestMainWindow::onModalDialog(std::function<void(QWidget *)> handle)
{
    // Tied to the window: a handler whose dialog never came goes with it.
    ::onModalDialog(m_window.get(), std::move(handle));
}

void TestMainWindow::titleAndConsoleDock()
{
    createWindow();
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Sentrova manager - v17081400"));
    QVERIFY(m_window->isMaximized());

    auto *dock = m_window->findChild<QDockWidget *>(QStringLiteral("debugwindow"));
    QVERIFY(dock);
    QCOMPARE(dock->windowTitle(), QStringLiteral("Console window"));
    QVERIFY(dock->isVisible());
    QCOMPARE(m_window->dockWidgetArea(dock), Qt::BottomDockWidgetArea);
    QVERIFY(console());
    QVERIFY(console()->isReadOnly());
    QCOMPARE(console()->wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
    QVERIFY(m_window->statusBar());
    QCOMPARE(m_window->menuBar()->font().pointSize(), 10);
    QCOMPARE(m_window->font().pointSize(), 8);
}

void TestMainWindow::menuEntries_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QStringList>("entries"); // text|shortcut|status tip|icon; "-" is a separator

    const QString open = QKeySequence(QKeySequence::Open).toString();
    const QString save = QKeySequence(QKeySequence::Save).toString();
    const QString saveAs = QKeySequence(QKeySequence::SaveAs).toString();
    const QStringList file{
        "&Open...|" + open + "|Open an existing file|open",
        "&Save|" + save + "|Save the data to disk|save",
        "Save &As...|" + saveAs + "|Save data under a new document name|save",
        "Export Map &Image...||Save the map as an image|",
        "-",
        "Load Settings||Reload settings from file|open",
        "Save Settings||Save settings to file|save",
        "-",
        "recent", "recent", "recent", "recent", "recent",
        "-",
        "E&xit|Q|Exit the application|",
    };
    const QStringList tools{
        "Enable/disable &capture|K|Enable/disable capture|capture",
        "Enable/disable service data|Shift+D|Enable/disable service data|logo",
        "Enable/disable location data|D|Enable/disable location data|logo",
        "Clear console|C|Clear console|edit-clear-list",
        "Clear map history|Shift+X|Clear tag history on the map|edit-clear-list",
        "&Scan master|M|Scan for masters|logo",
        "Connect to master…||Connect to a master by its address|logo",
        "Make new session for anchors|Ctrl+Shift+N|New Session|logo",
        "-",
        "Read all distances|Ctrl+Shift+A|Read all distances|logo",
        "&Reset master|Shift+R|Reset master|logo",
        "Force firmware update|Shift+U|Force firmware update|logo",
        "List anchors|A|List anchors|logo",
        "List tags|T|List tags|logo",
        "Get firmware version|V|Get firmware version|logo",
        "Pause location data|Shift+P|Pause location data|logo",
        "-",
        "Add Zone|Ctrl+Shift+Z|Add Zone to map|logo",
        "-",
        "Firmware update|Ctrl+F|Firmware update|logo",
        "-",
        "Send JSON|Ctrl+E|Send JSON to master|logo",
        "-",
        "Publish to MQTT broker||Publish positions, node statuses and zone events to the MQTT broker|",
        "Connect to broker...||Show a site that its manager publishes on an MQTT broker|",
    };
    const QStringList view{
        "View in 2D (top)|O|View Map in 2D from above (Orthographic)|",
        "View in 2D (front)|F|View Map in 2D from the front (Orthographic)|",
        "View in 2D (side)|S|View Map in 2D from right side (Orthographic)|",
        "View in 3D|P|View Map in 3D (Perspective)|",
        "Fit to Site|Home|Fit the map to the site's anchors|",
        "Enable/disable grid|G|Enable/disable grid|",
        "-",
        "Toggle word-wrap in console||Toggle word-wrap in console|",
        "-",
        "Node List|||",
        "Node Details|||",
        "Node Orientation|||",
        "Measurement Tool|||",
        "Console window|||",
        "-",
        "Reset Layout||Return the docks, the tabs and the map's camera to the first-start layout|",
    };
    const QStringList help{
        "&Help|Shift+H|Show application help|",
        "-",
        "&About||Show information about the application|",
    };
    QTest::newRow("File") << "&File" << file;
    QTest::newRow("Tools") << "&Tools" << tools;
    QTest::newRow("View") << "&View" << view;
    QTest::newRow("Help") << "&Help" << help;
}

void TestMainWindow::menuEntries()
{
    QFETCH(QString, menu);
    QFETCH(QStringList, entries);

    createWindow();
    QMenu *found = nullptr;
    for (QAction *action : m_window->menuBar()->actions()) {
        if (action->menu() && action->text() == menu)
            found = action->menu();
    }
    QVERIFY2(found, qPrintable(menu));
    const QList<QAction *> actions = found->actions();
    QCOMPARE(actions.size(), entries.size());

    for (int i = 0; i < entries.size(); ++i) {
        QAction *action = actions.at(i);
        const QString where = QStringLiteral("%1 entry %2").arg(menu).arg(i);
        if (entries.at(i) == QLatin1String("-")) {
            QVERIFY2(action->isSeparator(), qPrintable(where));
            continue;
        }
        if (entries.at(i) == QLatin1String("recent")) {
            QVERIFY2(!action->isVisible(), qPrintable(where + " should start hidden"));
            continue;
        }
        const QStringList fields = entries.at(i).split(QLatin1Char('|'));
        QCOMPARE(action->text(), fields.at(0));
        QCOMPARE(action->shortcut().toString(), fields.at(1));
        QCOMPARE(action->statusTip(), fields.at(2));
        if (fields.at(3).isEmpty()) {
            QVERIFY2(action->icon().isNull(), qPrintable(where + " should have no icon"));
        } else {
            const QImage expected(QStringLiteral(":/images/%1.png").arg(fields.at(3)));
            QVERIFY2(!expected.isNull(), qPrintable(where + " icon resource missing"));
            QVERIFY2(!action->icon().isNull(), qPrintable(where + " has no icon"));
            QCOMPARE(action->icon().pixmap(expected.size()).toImage().convertToFormat(QImage::Format_ARGB32),
                     expected.convertToFormat(QImage::Format_ARGB32));
        }
    }
}

void TestMainWindow::firstStartLines()
{
    createWindow();
    // Site line during construction, settings line at the first show, then "Ready.".
    const QStringList expected{
        "Using default site: test-site.ini",
        "Using default RtlsIf: sentrova.json",
        "Cannot open settings file: sentrova.json",
    };
    const QStringList shown = messages();
    QVERIFY2(shown.size() >= 4, qPrintable(shown.join(QLatin1Char('\n'))));
    QCOMPARE(shown.mid(0, 3), expected);
    QVERIFY(shown.contains(QStringLiteral("Ready.")));
    QVERIFY(shown.indexOf(QStringLiteral("Ready.")) > 2);

    QSettings settings;
    QCOMPARE(settings.value("sentrova/name").toString(), QStringLiteral("sentrova.json"));
    QCOMPARE(settings.value("site").toString(), QStringLiteral("test-site.ini"));

    for (const QString &line : expected + QStringList{"Ready."})
        QVERIFY2(ConsoleLogCapture::lines().contains(line), qPrintable("not logged: " + line));
}

void TestMainWindow::secondShowDoesNotReload()
{
    QFile file(QStringLiteral("sentrova.json"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("{}");
    file.close();

    createWindow();
    const QString loading = QStringLiteral("Loading settings from file: sentrova.json");
    QCOMPARE(messages().count(loading), 1);

    m_window->showMinimized();
    m_window->hide();
    m_window->showMaximized();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QCOMPARE(messages().count(loading), 1);

    // Loading on request still works.
    m_window->loadSettings();
    QCOMPARE(messages().count(loading), 2);
}

void TestMainWindow::printMessageStampsAndTrims()
{
    createWindow();
    const QTime before = QTime::currentTime();
    m_window->printMessage(QStringLiteral("hello <b>world</b>"));
    const QTime after = QTime::currentTime();

    const QString last = console()->document()->lastBlock().text();
    const QRegularExpressionMatch match = kStampedLine.match(last);
    QVERIFY2(match.hasMatch(), qPrintable(last));
    QCOMPARE(match.captured(4), QStringLiteral("hello <b>world</b>"));
    const QTime stamp(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
    QVERIFY(stamp.isValid());
    if (before <= after) // not across midnight
        QVERIFY(stamp >= before.addMSecs(-before.msec()) && stamp <= after);

    for (int i = 1; i <= 1100; ++i)
        m_window->printMessage(QStringLiteral("message %1").arg(i));
    QTextDocument *document = console()->document();
    QCOMPARE(document->blockCount(), 1000);
    QVERIFY(document->firstBlock().text().endsWith(QLatin1String(": message 101")));
    QVERIFY(document->lastBlock().text().endsWith(QLatin1String(": message 1100")));
    QCOMPARE(document->availableUndoSteps(), 0);

    m_window->clearConsole();
    QVERIFY(console()->toPlainText().isEmpty());
}

void TestMainWindow::wordWrapActionToggles()
{
    createWindow();
    QAction *wrap = nullptr;
    for (QAction *action : m_window->findChildren<QAction *>()) {
        if (action->text() == QLatin1String("Toggle word-wrap in console"))
            wrap = action;
    }
    QVERIFY(wrap);
    wrap->trigger();
    QCOMPARE(console()->wordWrapMode(), QTextOption::NoWrap);
    wrap->trigger();
    QCOMPARE(console()->wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
}

void TestMainWindow::forceFwUpdate_data()
{
    QTest::addColumn<quint64>("selected");
    QTest::addColumn<QString>("line");

    QTest::newRow("nothing selected: every node")
        << quint64(0) << "Request node FFFFFFFFFFFFFFFF to check for new firmware";
    QTest::newRow("selected node") << quint64(0x1A2B) << "Request node 1A2B to check for new firmware";
    QTest::newRow("selected long id")
        << quint64(0x0123456789ABCDEFULL) << "Request node 123456789ABCDEF to check for new firmware";
}

void TestMainWindow::forceFwUpdate()
{
    QFETCH(quint64, selected);
    QFETCH(QString, line);

    createWindow();
    Dispatch::instance()->emitIdSelected(selected);
    QSignalSpy spy(SentrovaInterface::instance(), &SentrovaInterface::displayMessage);
    m_window->forceFwUpdate();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), line);
    QCOMPARE(messages().constLast(), line);
}

void TestMainWindow::sendJson_data()
{
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("hubLines");

    // Text that is not JSON is the one a sent message can be told by without a master.
    QTest::newRow("confirmed") << true << "not { json" << QStringList{"Cannot send JSON message: not { json"};
    QTest::newRow("cancelled") << false << "not { json" << QStringList{};
    QTest::newRow("confirmed empty") << true << "" << QStringList{};
    QTest::newRow("cancelled empty") << false << "" << QStringList{};
}

void TestMainWindow::sendJson()
{
    QFETCH(bool, accept);
    QFETCH(QString, text);
    QFETCH(QStringList, hubLines);

    createWindow();
    QSignalSpy spy(SentrovaInterface::instance(), &SentrovaInterface::displayMessage);
    QString shownTitle;
    QString preset;
    onModalDialog([&](QWidget *modal) {
        auto *dialog = qobject_cast<QInputDialog *>(modal);
        QVERIFY(dialog);
        shownTitle = dialog->windowTitle();
        preset = dialog->textValue();
        dialog->setTextValue(text);
        accept ? dialog->accept() : dialog->reject();
    });
    m_window->sendJSON();

    QCOMPARE(shownTitle, QStringLiteral("Enter JSON message to send to the master"));
    QCOMPARE(preset, QStringLiteral("{\n  \"command\":\"version\"\n}"));
    // Discovery may speak while the dialog is open; only the JSON lines count.
    QStringList emitted;
    for (const QList<QVariant> &args : qAsConst(spy)) {
        if (args.at(0).toString().contains(QLatin1String("JSON")))
            emitted << args.at(0).toString();
    }
    QCOMPARE(emitted, hubLines);
}

void TestMainWindow::cancelledFileDialogChangesNothing_data()
{
    QTest::addColumn<QString>("slot");
    QTest::addColumn<bool>("captured");
    QTest::addColumn<QString>("title"); // empty: no dialog
    QTest::newRow("open") << "open" << false << "Open a file with captured data";
    QTest::newRow("open while capturing") << "open" << true << "Open a file with captured data";
    QTest::newRow("save as") << "saveAs" << true << "Save captured data to a file";
    QTest::newRow("save without a current file") << "save" << true << "Save captured data to a file";
    // Nothing to save: said at once, no name asked for.
    QTest::newRow("save as, nothing captured") << "saveAs" << false << "";
    QTest::newRow("save, nothing captured") << "save" << false << "";
}

void TestMainWindow::cancelledFileDialogChangesNothing()
{
    QFETCH(QString, slot);
    QFETCH(bool, captured);
    QFETCH(QString, title);

    QSettings().setValue("recentFileList", QStringList{"/data/a.dat"});
    createWindow();
    if (captured)
        SentrovaInterface::instance()->toggleLsCapture();
    const QString status = m_window->statusBar()->currentMessage();
    QString shownTitle;
    onModalDialog([&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        shownTitle = dialog->windowTitle();
        QVERIFY(dialog->nameFilters().contains(QStringLiteral("RTLS Files (*.dat)")));
        dialog->reject();
    });
    QVERIFY(QMetaObject::invokeMethod(m_window.get(), qPrintable(slot)));

    QCOMPARE(shownTitle, title);
    QCOMPARE(m_window->statusBar()->currentMessage(),
             title.isEmpty() ? QStringLiteral("Nothing captured to save") : status);
    QCOMPARE(QSettings().value("recentFileList").toStringList(), QStringList{"/data/a.dat"});
    QVERIFY(m_window->windowFilePath().isEmpty());
    if (captured)
        SentrovaInterface::instance()->toggleLsCapture();
}

void TestMainWindow::messageBoxes_data()
{
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::newRow("about") << "about" << "About Sentrova Manager" << "<h3>Sentrova Manager v17081400</h3>";
    QTest::newRow("help") << "help" << "Sentrova Manager Help" << "<center><h3>Help</h3><br /></center>";
}

void TestMainWindow::messageBoxes()
{
    QFETCH(QString, slot);
    QFETCH(QString, title);
    QFETCH(QString, text);

    createWindow();
    QString shownTitle;
    QString shownText;
    onModalDialog([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        shownTitle = box->windowTitle();
        shownText = box->text();
        box->accept();
    });
    QVERIFY(QMetaObject::invokeMethod(m_window.get(), qPrintable(slot)));
    QCOMPARE(shownTitle, title);
    QVERIFY2(shownText.contains(text), qPrintable(shownText));
}

void TestMainWindow::firmwareDialogRunsModalAndGoes()
{
    createWindow();
    QAction *action = nullptr;
    for (QAction *a : m_window->findChildren<QAction *>())
        if (a->text() == QLatin1String("Firmware update"))
            action = a;
    QVERIFY(action);
    QString title;
    bool ownWindow = false;
    onModalDialog([&](QWidget *modal) {
        auto *dialog = qobject_cast<UpdateDialog *>(modal);
        QVERIFY(dialog);
        title = dialog->windowTitle();
        ownWindow = dialog->parentWidget() == nullptr;
        dialog->reject();
    });
    action->trigger();
    QCOMPARE(title, QStringLiteral("Firmware update"));
    QVERIFY(ownWindow);
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<UpdateDialog *>(w));
}

// The settings file holds the hub's part and the map's; a new window finds
// the map's zones again.
void TestMainWindow::settingsSaveAndLoad()
{
    createWindow();
    SentrovaInterface *hub = SentrovaInterface::instance();
    auto *map = m_window->findChild<MapTab *>();
    QVERIFY(map);
    MapZone *zone = map->addZone();
    zone->setName(QStringLiteral("Loading bay"));
    m_window->saveSettings();

    QFile file(QStringLiteral("sentrova.json"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonDocument saved = QJsonDocument::fromJson(file.readAll());
    file.close();
    QVERIFY(saved.isObject());
    QCOMPARE(saved.object(), map->toJSON(hub->toJSON(QJsonObject())));
    QVERIFY(saved.object().value(QStringLiteral("master")).isObject());
    const QJsonArray zones = saved.object().value(QStringLiteral("zone")).toArray();
    QCOMPARE(zones.size(), 1);

    // What was saved loads back into a new window, and saving again gives
    // the same document.
    m_window.reset();
    createWindow();
    QCOMPARE(messages().count(QStringLiteral("Loading settings from file: sentrova.json")), 1);
    map = m_window->findChild<MapTab *>();
    QCOMPARE(map->zones().size(), 1);
    QCOMPARE(map->zones().constFirst()->name(), QStringLiteral("Loading bay"));
    QCOMPARE(ZonesTab::instance()->rowOf(map->zones().constFirst()), 0);
    m_window->saveSettings();
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QJsonDocument::fromJson(file.readAll()).object(), saved.object());
}

// The site acceptance points go to the settings file with the rest and come
// back at the next start; saving again gives the same document.
void TestMainWindow::surveyPointsInTheSettingsFile()
{
    createWindow();
    SiteAcceptanceTab *tab = SiteAcceptanceTab::instance();
    QVERIFY(tab->pastePoints(QStringLiteral("Dock\t1.5\t2\t1.2\nGate\t8\t-3.25\t1.2\n")));
    m_window->saveSettings();
    QFile file(QStringLiteral("sentrova.json"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject saved = QJsonDocument::fromJson(file.readAll()).object();
    file.close();
    QCOMPARE(saved.value(QStringLiteral("survey")).toObject().value(QStringLiteral("points")).toArray().size(), 2);

    m_window.reset();
    tab->fromJSON(QJsonObject{{"survey", QJsonObject()}});
    QCOMPARE(tab->session().pointCount(), 0);
    createWindow();
    QCOMPARE(tab->session().pointCount(), 2);
    QCOMPARE(tab->session().plan().points.at(1).y, -3.25);
    m_window->saveSettings();
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QJsonDocument::fromJson(file.readAll()).object(), saved);
    // Left as a fresh process would find it.
    tab->fromJSON(QJsonObject{{"survey", QJsonObject()}});
}

void TestMainWindow::settingsFileProblems_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("lines");

    const QString loading = QStringLiteral("Loading settings from file: sentrova.json");
    const QString cannotParse = QStringLiteral("Cannot parse settings file: sentrova.json");
    QTest::newRow("array instead of object") << QByteArray("[{}]") << QStringList{loading, cannotParse};
    QTest::newRow("not JSON") << QByteArray("nodes: 3") << QStringList{loading, cannotParse};
    QTest::newRow("bad values load what is valid")
        << QByteArray("{\"node\":[{\"id\":\"zz\"},7,{\"id\":12}],\"master\":{\"ip\":\"no address\","
                      "\"externalEngine\":\"yes\"},\"gui\":[]}")
        << QStringList{loading};
    QTest::newRow("wrong types at the top") << QByteArray("{\"node\":{},\"master\":[]}") << QStringList{loading};
}

void TestMainWindow::settingsFileProblems()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, lines);

    QSettings().setValue("sentrova/name", "sentrova.json");
    QSettings().setValue("site", "test-site.ini");
    QFile file(QStringLiteral("sentrova.json"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();

    createWindow();
    const QStringList shown = messages();
    const int from = shown.indexOf(lines.first());
    QVERIFY2(from >= 0, qPrintable(shown.join(QLatin1Char('\n'))));
    QCOMPARE(shown.mid(from, lines.size()), lines);
    if (lines.size() == 1)
        QVERIFY(!shown.contains(QStringLiteral("Cannot parse settings file: sentrova.json")));
}

void TestMainWindow::failedSaveKeepsOldFile()
{
    QVERIFY(QDir().mkdir(QStringLiteral("settings-folder")));
    QSettings().setValue("sentrova/name", "settings-folder");
    createWindow();

    m_window->saveSettings();
    QCOMPARE(messages().constLast(), QStringLiteral("Cannot open settings file: settings-folder"));
    QVERIFY(QFileInfo(QStringLiteral("settings-folder")).isDir());
    QCOMPARE(QDir(QStringLiteral("settings-folder")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList());
}

void TestMainWindow::recentFiles()
{
    QSettings().setValue("recentFileList", QStringList{"/old/z.dat"});
    QVERIFY(QDir().mkdir(QStringLiteral("d")));
    const auto path = [](const char *name) { return QDir::current().filePath(QLatin1String(name)); };
    for (const char *name : {"d/1.dat", "d/2.dat", "d/3.dat", "d/4.dat", "d/5 & 6.dat"}) {
        QFile capture(path(name));
        QVERIFY(capture.open(QIODevice::WriteOnly));
        capture.write("{\"id\":\"0x0D01\",\"timestamp\":1700000000}\n");
    }
    createWindow();
    QList<QAction *> entries;
    QAction *separator = nullptr;
    QMenu *file = m_window->menuBar()->actions().at(0)->menu();
    const QList<QAction *> actions = file->actions();
    separator = actions.at(7);
    entries = actions.mid(8, 5);
    QVERIFY(separator->isSeparator());
    QVERIFY(separator->isVisible());
    QCOMPARE(entries.at(0)->text(), QStringLiteral("&1 z.dat"));
    QVERIFY(!entries.at(1)->isVisible());

    for (const char *name : {"d/1.dat", "d/2.dat", "d/3.dat", "d/4.dat", "d/5 & 6.dat", "d/2.dat"})
        m_window->loadFile(path(name));
    QCOMPARE(m_window->statusBar()->currentMessage(), "File loaded: " + path("d/2.dat"));
    QCOMPARE(m_window->windowFilePath(), path("d/2.dat"));

    const QStringList texts{"&1 2.dat", "&2 5 && 6.dat", "&3 4.dat", "&4 3.dat", "&5 1.dat"};
    for (int i = 0; i < 5; ++i) {
        QVERIFY(entries.at(i)->isVisible());
        QCOMPARE(entries.at(i)->text(), texts.at(i));
    }
    QCOMPARE(entries.at(1)->data().toString(), path("d/5 & 6.dat"));

    // Choosing an entry opens it and brings it to the top.
    entries.at(3)->trigger();
    QCOMPARE(m_window->statusBar()->currentMessage(), "File loaded: " + path("d/3.dat"));
    QCOMPARE(SentrovaInterface::instance()->captureReplay()->fileName(), path("d/3.dat"));
    QCOMPARE(QSettings().value("recentFileList").toStringList(),
             (QStringList{path("d/3.dat"), path("d/2.dat"), path("d/5 & 6.dat"), path("d/4.dat"), path("d/1.dat")}));
    QCOMPARE(entries.at(0)->text(), QStringLiteral("&1 3.dat"));

    // A file that is gone is reported and changes nothing.
    entries.at(4)->trigger();
    QVERIFY(QFile::remove(path("d/4.dat")));
    QCOMPARE(entries.at(4)->data().toString(), path("d/4.dat"));
    entries.at(4)->trigger();
    QVERIFY2(m_window->statusBar()->currentMessage().startsWith("Cannot open capture file " + path("d/4.dat") + ": "),
             qPrintable(m_window->statusBar()->currentMessage()));
    QCOMPARE(messages().constLast(), m_window->statusBar()->currentMessage());
    QCOMPARE(entries.at(0)->text(), QStringLiteral("&1 1.dat"));
}

// File > Open replays the capture at its pace, with the status bar's controls.
void TestMainWindow::openReplaysTheCapture()
{
    QFile capture(QStringLiteral("site.dat"));
    QVERIFY(capture.open(QIODevice::WriteOnly));
    for (int i = 0; i < 40; ++i)
        capture.write(QStringLiteral("{\"id\":\"0x0D10\",\"timestamp\":%1,\"coordinates\":{\"x\":%2,\"y\":0,\"z\":0}}\n")
                          .arg(1700000000.0 + i * 0.5, 0, 'f', 1)
                          .arg(i)
                          .toUtf8());
    capture.close();
    const QString name = QFileInfo(capture).absoluteFilePath();

    createWindow();
    auto *controls = m_window->findChild<ReplayControls *>();
    QVERIFY(controls);
    QVERIFY(!controls->isVisible());
    onModalDialog([&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        // Typed into the name field, as a user would.
        auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(edit);
        edit->setText(name);
        QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
    });
    m_window->open();
    QCOMPARE(m_window->statusBar()->currentMessage(), "File opened: " + name);
    QVERIFY(messages().contains("Replaying " + name + ": 40 reports over 0:19; live location data is paused meanwhile"));
    QVERIFY(controls->isVisible());
    CaptureReplay *replay = SentrovaInterface::instance()->captureReplay();
    QCOMPARE(replay->state(), CaptureReplay::State::Playing);
    QCOMPARE(controls->slider()->maximum(), 19500);
    QTRY_VERIFY(SentrovaInterface::instance()->node(0x0D10));
    QCOMPARE(controls->pauseButton()->text(), QStringLiteral("Pause"));

    controls->pauseButton()->click();
    QCOMPARE(replay->state(), CaptureReplay::State::Paused);
    QCOMPARE(controls->pauseButton()->text(), QStringLiteral("Play"));
    controls->speedBox()->setCurrentIndex(controls->speedBox()->count() - 1);
    emit controls->speedBox()->activated(controls->speedBox()->count() - 1);
    QCOMPARE(replay->speed(), 16.0);
    // Seek near the end with the keyboard, then play out.
    controls->slider()->triggerAction(QAbstractSlider::SliderToMaximum);
    QCOMPARE(replay->elapsed(), qint64(19500));
    controls->pauseButton()->click();
    QTRY_COMPARE(replay->state(), CaptureReplay::State::Finished);
    QTRY_VERIFY(controls->progressLabel()->text().startsWith(QStringLiteral("0:19 / 0:19, 40 of 40 reports")));
    QVERIFY(messages().contains("Replay of " + name + " finished; live location data is shown again"));
    QCOMPARE(SentrovaInterface::instance()->node(0x0D10)->pos()->x(), 39.f);

    controls->stopButton()->click();
    QVERIFY(!controls->isVisible());
    QVERIFY(!SentrovaInterface::instance()->locationStream()->isLiveSuspended());
}

// Save writes the captured records, and says so only when they were written.
void TestMainWindow::saveWritesTheCapture()
{
    MainWindow *window = createWindow();
    SentrovaInterface *hub = SentrovaInterface::instance();
    window->saveFile(QStringLiteral("early.dat"));
    QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("Nothing captured to save"));
    QVERIFY(!QFile::exists(QStringLiteral("early.dat")));

    hub->toggleLsCapture();
    const QByteArray records = "{\"id\":\"0x0E01\"}\n{\"id\":\"0x0E02\"}\n";
    hub->locationStream()->receiveDatagram(records);
    QTRY_COMPARE(window->statusBar()->currentMessage(),
                 "Capturing to " + QFileInfo(QStringLiteral("test.dat")).absoluteFilePath());
    // While recording, Save As writes what was recorded so far.
    window->saveFile(QStringLiteral("copy.dat"));
    QTRY_COMPARE(window->statusBar()->currentMessage(), QStringLiteral("File saved: copy.dat"));
    QFile copy(QStringLiteral("copy.dat"));
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), records);
    copy.close();
    hub->locationStream()->receiveDatagram("{\"id\":\"0x0E03\"}\n");
    hub->toggleLsCapture();

    // Save goes to the current file without asking.
    window->save();
    QVERIFY(window->statusBar()->currentMessage() != QStringLiteral("File saved: copy.dat"));
    QTRY_COMPARE(window->statusBar()->currentMessage(), QStringLiteral("File saved: copy.dat"));
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), records + "{\"id\":\"0x0E03\"}\n");
    copy.close();

    // The file captures are recorded into is no place to keep one: the
    // next capture would overwrite it.
    window->saveFile(QStringLiteral("test.dat"));
    QCOMPARE(window->statusBar()->currentMessage(),
             QStringLiteral("Cannot save file test.dat: captures are recorded into it, and the next capture "
                            "overwrites it; choose another name"));
    QCOMPARE(messages().constLast(), window->statusBar()->currentMessage());

    QVERIFY(QDir().mkdir(QStringLiteral("folder.dat")));
    window->saveFile(QStringLiteral("folder.dat"));
    QVERIFY2(window->statusBar()->currentMessage().startsWith(QStringLiteral("Cannot save file folder.dat: ")),
             qPrintable(window->statusBar()->currentMessage()));
    QCOMPARE(messages().constLast(), window->statusBar()->currentMessage());
    QCOMPARE(window->windowFilePath(), QStringLiteral("copy.dat"));
}

// The record count of a running capture shows on the map's tab, with the
// capture icon; the status bar says when it starts and stops.
void TestMainWindow::captureShowsItsCount()
{
    MainWindow *window = createWindow();
    QAction *capture = nullptr;
    for (QAction *action : window->findChildren<QAction *>())
        if (action->text() == QLatin1String("Enable/disable &capture"))
            capture = action;
    QVERIFY(capture);
    QTabWidget *tabs = window->tabWidget();
    QCOMPARE(tabs->tabText(0), QStringLiteral("Map"));
    const auto iconOf = [](const QIcon &icon) { return icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32); };
    const QImage logo = iconOf(QIcon(QStringLiteral(":/images/logo.png")));
    const QImage captureIcon = iconOf(QIcon(QStringLiteral(":/images/capture.png")));

    capture->trigger();
    QTRY_COMPARE(window->statusBar()->currentMessage(),
                 "Capturing to " + QFileInfo(QStringLiteral("test.dat")).absoluteFilePath());
    QVERIFY(QFile::exists(QStringLiteral("test.dat")));
    SentrovaInterface::instance()->locationStream()->receiveDatagram(
        "{\"id\":\"0x0E11\"}\n{\"id\":\"0x0E12\"}\n{\"id\":\"0x0E13\"}\n");
    QTRY_COMPARE(tabs->tabText(0), QStringLiteral("Map (3)"));
    QCOMPARE(iconOf(tabs->tabIcon(0)), captureIcon);

    capture->trigger();
    QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("Capture stopped"));
    QCOMPARE(iconOf(tabs->tabIcon(0)), logo);
    QCOMPARE(tabs->tabText(0), QStringLiteral("Map (3)"));
    // The capture action toggles once per trigger.
    capture->trigger();
    QTRY_COMPARE(tabs->tabText(0), QStringLiteral("Map (0)"));
    capture->trigger();
}

// Each command written to a master shows as one console line: the line feed
// that ends it on the wire makes no empty line after it, on the console or
// in the log.
void TestMainWindow::serviceEchoShowsNoEmptyLines()
{
    QTcpServer master;
    QVERIFY2(master.listen(QHostAddress::LocalHost, 8784), qPrintable(master.errorString()));
    createWindow();
    SentrovaInterface *hub = SentrovaInterface::instance();
    QVERIFY(hub->svc()->displayMessages());
    hub->svc()->connectToRtlsSvcIpAddr(QHostAddress(QHostAddress::LocalHost).toIPv4Address());
    // The greeting: anchors, node configurations, the TDMA scheme.
    QTRY_VERIFY_WITH_TIMEOUT(messages().filter(QRegularExpression("^SVC_OUT \\d+\\) ")).size() >= 3, 10000);
    hub->svc()->closeAll();

    const QStringList shown = messages();
    const QStringList out = shown.filter(QRegularExpression("^SVC_OUT \\d+\\) "));
    QVERIFY2(QRegularExpression("^SVC_OUT \\d+\\) \\{\"command\":\"listAnchors\"\\}$").match(out.first()).hasMatch(),
             qPrintable(out.first()));
    QVERIFY2(shown.filter(QStringLiteral("UNSTAMPED")).isEmpty(), qPrintable(shown.join(QLatin1Char('\n'))));
    const QStringList logged = ConsoleLogCapture::lines().filter(QRegularExpression("^SVC_OUT \\d+\\) "));
    QCOMPARE(logged.size(), out.size());
    for (const QString &line : logged)
        QVERIFY2(!line.endsWith(QLatin1Char('\n')), qPrintable(line));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
