#pragma once

// The program's main window with every view open, in this process, against
// the simulator: a simulated site as the master on the protocol's service
// port (fixed master, loopback) and a second simulator in load mode whose
// generated tags stream to the location port. Shared by the window's load
// benchmark and the soak test; both need the fixed ports of a private
// network namespace and a display.
#include "Dispatch.h"
#include "MainWindow.h"
#include "MapScene.h"
#include "MapTab.h"
#include "MeasurementTab.h"
#include "NodeObject.h"
#include "OrientationView.h"
#include "OrientationViewSettings.h"
#include "RtlsObject.h"
#include "SentrovaInterface.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QPlainTextEdit>
#include <QProcess>
#include <QWindow>

#include <memory>

class LoadedWindow
{
public:
    // Tags of the simulator's load mode are numbered from here on.
    static constexpr quint64 kFirstLoadTag = 0x4000;

    // Waits in the event loop for a condition, at most timeoutMs.
    template<typename Condition>
    static bool waitFor(Condition condition, int timeoutMs)
    {
        QElapsedTimer waited;
        waited.start();
        while (!condition()) {
            if (waited.elapsed() > timeoutMs)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }

    // Arguments of a load-mode simulator that streams `tags` tags at
    // `totalRate` reports a second to the location port on loopback for
    // `seconds`.
    static QStringList loadArguments(const QString &format, int tags, double totalRate, double seconds)
    {
        return {QStringLiteral("--bind"), QStringLiteral("127.0.0.1"), QStringLiteral("--svc-port"),
                QStringLiteral("0"), QStringLiteral("--no-mdns"), QStringLiteral("--no-broadcast"),
                QStringLiteral("--quiet"), QStringLiteral("--stream-to"), QStringLiteral("127.0.0.1:8786"),
                QStringLiteral("--format"), format, QStringLiteral("--tags"), QString::number(tags),
                QStringLiteral("--rate"), QString::number(totalRate / tags, 'g', 10), QStringLiteral("--duration"),
                QString::number(seconds, 'g', 10)};
    }

    LoadedWindow(QString simBinary, int loadTags) : m_sim(std::move(simBinary)), m_loadTags(loadTags) {}
    ~LoadedWindow()
    {
        delete m_window;
        if (m_master.state() != QProcess::NotRunning) {
            m_master.terminate();
            m_master.waitForFinished(10000);
        }
    }

    // Starts the site's master, builds and shows the window with every dock
    // on screen and the map current, and waits until the master has listed
    // its anchors. An empty string on success, the fault otherwise.
    QString open()
    {
        m_master.setProcessChannelMode(QProcess::MergedChannels);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("sentrova.sim.info=true"));
        m_master.setProcessEnvironment(env);
        // The master's log is read as it comes and only counted: over a long
        // run it must not grow this process.
        QObject::connect(&m_master, &QProcess::readyRead, &m_context, [this] {
            while (m_master.canReadLine()) {
                const QByteArray line = m_master.readLine();
                if (line.startsWith("READY"))
                    m_masterReady = true;
                else if (line.contains("\"command\":\"ping\""))
                    ++m_masterPings;
                else if (line.contains("\"command\":\"getDetails\""))
                    ++m_masterDetailRequests;
            }
        });
        m_master.start(m_sim, {QStringLiteral("--bind"), QStringLiteral("127.0.0.1"), QStringLiteral("--no-mdns"),
                               QStringLiteral("--no-broadcast"), QStringLiteral("--seed"), QStringLiteral("5")});
        if (!waitFor([this] { return m_masterReady; }, 30000))
            return QStringLiteral("the simulated master did not start");

        SentrovaInterface *hub = SentrovaInterface::instance();
        hub->setFixedMaster(QHostAddress(QStringLiteral("127.0.0.1")).toIPv4Address());
        QObject::connect(hub, &SentrovaInterface::nodeAddedSignal, &m_context, [this](RtlsObject *n) { count(n); });
        QObject::connect(hub, &SentrovaInterface::nodeUpdatedSignal, &m_context, [this](RtlsObject *n) { count(n); });

        m_window = new MainWindow;
        m_window->show();
        if (!waitFor([this] { return m_window->windowHandle() && m_window->windowHandle()->isExposed(); }, 10000))
            return QStringLiteral("the window was never exposed");
        const QList<QDockWidget *> docks = m_window->findChildren<QDockWidget *>();
        for (QDockWidget *dock : docks)
            dock->show();
        m_map = m_window->findChild<MapTab *>();
        m_orientation = m_window->findChild<OrientationView *>();
        m_console = m_window->findChild<QPlainTextEdit *>();
        if (!m_map || !m_orientation || !m_console || docks.size() < 5)
            return QStringLiteral("the window lacks a view");
        if (!waitFor([hub] { return !hub->anchorIds().isEmpty(); }, 30000))
            return QStringLiteral("the master listed no anchors");
        return QString();
    }

    // The first load tag selected (the details and the orientation follow
    // it) and measured by the measurement tool; false while the tool does
    // not offer it yet.
    bool selectAndMeasure()
    {
        Dispatch::instance()->emitIdSelected(kFirstLoadTag);
        auto *measurement = m_window->findChild<MeasurementTab *>();
        if (!measurement)
            return false;
        const QList<QComboBox *> boxes = measurement->findChildren<QComboBox *>();
        for (QComboBox *box : boxes) {
            const int at = box->findData(QVariant::fromValue<qulonglong>(kFirstLoadTag));
            if (at >= 0) {
                box->setCurrentIndex(at);
                measurement->stopMeasurements();
                measurement->startMeasurements();
                return measurement->isRunning();
            }
        }
        return false;
    }

    // Reports of load tags that reached the model (added or updated).
    qint64 loadReports() const { return m_loadReports; }
    void resetLoadReports() { m_loadReports = 0; }
    // Load tags whose history on the map holds as many positions as it may.
    int fullHistories() const
    {
        int full = 0;
        for (quint64 id = kFirstLoadTag; id < kFirstLoadTag + quint64(m_loadTags); ++id) {
            const NodeObject *object = m_map->scene()->nodeObject(id);
            if (object && object->history().size() >= object->history().limit())
                ++full;
        }
        return full;
    }
    // Keep-alive pings the master has seen from the manager.
    int masterPings() const { return m_masterPings; }
    // "getDetails" commands the master has received from the manager.
    int masterDetailRequests() const { return m_masterDetailRequests; }

    MainWindow *window() const { return m_window; }
    MapTab *map() const { return m_map; }
    OrientationView *orientation() const { return m_orientation; }
    QPlainTextEdit *console() const { return m_console; }

private:
    void count(const RtlsObject *node)
    {
        if (node->id() >= kFirstLoadTag && node->id() < kFirstLoadTag + quint64(m_loadTags))
            ++m_loadReports;
    }

    QString m_sim;
    int m_loadTags;
    QObject m_context;
    QProcess m_master;
    bool m_masterReady = false;
    int m_masterPings = 0;
    int m_masterDetailRequests = 0;
    MainWindow *m_window = nullptr;
    MapTab *m_map = nullptr;
    OrientationView *m_orientation = nullptr;
    QPlainTextEdit *m_console = nullptr;
    qint64 m_loadReports = 0;
};
