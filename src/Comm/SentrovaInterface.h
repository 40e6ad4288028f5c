#pragma once

#include "RtlsHubLink.h"

#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>

class MqttPublisher;
class CaptureReplay;
class RemoteSite;
namespace MqttMessages {
struct NodeStatus;
}
class DetailsRequestQueue;
class QTimer;
class RtlsLs;
class RtlsMdnsService;
class RtlsNodeConfig;
class RtlsObject;
class RtlsSvc;

// The hub: the one object through which every view reaches the locating
// system. It owns the service channel handler, the location stream and
// discovery, holds the node registry and the node configurations, offers
// every command to the masters as a slot, and announces every change of the
// model through its signals.
class SentrovaInterface : public QObject, public RtlsHubLink
{
    Q_OBJECT

public:
    static SentrovaInterface *instance();
    ~SentrovaInterface() override;

    // Before the first instance(): the hub of a remote view, which knows the
    // site only from what its manager publishes on a broker. No discovery
    // is made and no stream port bound.
    static void setRemoteAtStart(bool remote);
    // A remote view: no search, no service channel, no stream port; nothing
    // is sent to a master and nothing published; the model is fed by the
    // remote site's subscription.
    bool isRemote() const { return m_remoteSite != nullptr; }
    // Null unless the hub is a remote view.
    RemoteSite *remoteSite() const { return m_remoteSite; }
    // From now on a remote view ("Connect to broker..." in a window that
    // was on the LAN): discovery ends, the masters' links are dropped, the
    // stream's sockets closed and publishing stopped. The nodes known so far
    // stay (a record is never deleted). Started at once when init() already
    // ran. There is no way back within the process.
    void becomeRemote();
    // A node as a remote site's manager describes it (its status on the
    // broker): created or updated through the model's own JSON reading, put
    // in the anchor or non-anchor table by its mode, and announced.
    void applyRemoteStatus(const MqttMessages::NodeStatus &status);

    // The settings document read again while running (the headless
    // service's SIGHUP): the master address, the publisher's settings and
    // the nodes, each only where it differs from the document given before.
    // Returns what changed, one text each.
    QStringList reloadSettings(const QJsonObject &before, const QJsonObject &after);

    RtlsNodeConfig *findNodeConfig(int cfgId) const;
    RtlsObject *node(uint64_t id) const;
    bool hasNode(uint64_t id) const;

    RtlsSvc *svc() const { return m_svc; }
    // Publishing the model to an MQTT broker; its settings are the
    // document's "mqtt" object.
    MqttPublisher *mqtt() const { return m_mqtt; }

    // Talk to this master only (IPv4, host byte order): no discovery, and
    // the same address again when the link breaks. A settings file's
    // master address is then not used. Takes effect at init().
    void setFixedMaster(quint32 address);
    quint32 fixedMaster() const { return m_fixedMaster; }
    // Masters whose service link is up now.
    int connectedMasterCount() const;
    // The master address the settings file holds (and a save writes).
    QString masterAddress() const { return m_masterIp; }
    // Where the capture is recorded; takes effect at the next start.
    void setCaptureFileName(const QString &fileName);
    bool isCapturing() const;
    RtlsLs *locationStream() const { return m_ls; }
    // Plays capture files through the location stream (File > Open).
    CaptureReplay *captureReplay() const { return m_replay; }
    // Null once the hub has shut down.
    RtlsMdnsService *discovery() const { return m_mdns; }

    // Ends what must not outlive the event loop: the discovery worker is
    // stopped and joined, a running capture is written out and closed, and
    // the service channels are dropped. Runs when the application is about
    // to quit; the hub itself lives on until the process ends.
    void shutdown();
    // What the masters last reported.
    uint64_t masterId() const { return m_masterId; }
    int tdmaScheme() const { return m_tdmaScheme; }
    QString outDataFormat() const { return m_outDataFormat; }
    bool isAnchor(uint64_t id) const { return m_anchors.contains(id); }
    // The registry and the anchor table, read only, for views that list or
    // walk every node (iteration order is the hash's, not a sorted one).
    const QHash<uint64_t, RtlsObject *> &nodes() const { return m_nodes; }
    QList<uint64_t> anchorIds() const { return m_anchors.keys(); }

    // RtlsHubLink
    void postMessage(const QString &line) override;
    RtlsObject *findNode(uint64_t id) const override;
    bool hasNonAnchor(uint64_t id) const override;
    void insertNonAnchor(RtlsObject *node) override;
    void announceNodeAdded(RtlsObject *node) override;
    void announceNodeUpdated(RtlsObject *node) override;
    void announceLocationData(const QJsonObject &report) override;
    bool wantsLocationData() const override;
    // Paced: see DetailsRequestQueue. A request the queue refuses clears
    // the node's "details requested" mark, so its next report asks again.
    void requestDetails(uint64_t id) override;
    // Details the stream asked for that wait for the service channel.
    int waitingDetailRequests() const;

signals:
    void nodeUpdatedSignal(RtlsObject *node);
    void nodeAddedSignal(RtlsObject *node);
    void nodeInactiveSignal(RtlsObject *node);
    void nodeRemovedSignal(RtlsObject *node);
    void anchorListUpdated();
    void nodeConfigListChanged();
    void tdmaSchemeChanged(int scheme);
    void displayMessage(QString str);
    void recordingSignal(int recordSize);
    void svcDataReceived(QJsonObject obj);
    void lsDataReceived(QJsonObject obj);
    void newAntennaDelays(uint64_t id, uint16_t tx, uint16_t rx);
    void newToFCompensation(double corr);
    // The hub has become a remote view (once).
    void remoteChanged(bool remote);
    // The number of masters whose service link is up changed.
    void masterLinksChanged(int count);

public slots:
    void toggleRtlsLsDisplayMessages();
    void toggleRtlsSvcDisplayMessages();
    void toggleLsCapture();
    void scanMaster();
    // Connects to the master at this IPv4 address (host byte order) now,
    // beside any found by discovery, and makes it the settings file's
    // master address.
    void connectToMaster(quint32 address);

    void resetMaster();
    void resetNode(uint64_t id);
    void discoverLegacy();
    void checkFwUpdate();
    void forceFwUpdate(uint64_t id);
    void scanInfra();
    void scanInfraWithCount(int cnt);
    void getVersion();
    void listTags();
    void listAnchors();
    void autoPosApply();
    void setNewSess();
    void removeAnchors();
    void removeAnchorCoordinates();
    void getDetails(uint64_t id);
    void getRoles(uint64_t id);
    void getParent(uint64_t id);
    void getTdmaDetails(uint64_t id);
    void getStats(uint64_t id);
    void getDistances(uint64_t id);
    void getPosition(uint64_t id);
    void setRoles(uint64_t id, uint32_t roles);
    void addRoles(uint64_t id, uint32_t roles);
    void removeRoles(uint64_t id, uint32_t roles);
    void getSeat(uint64_t id);
    void setSeat(uint64_t id, uint32_t seat);
    void getFreeMask(uint64_t id);
    void setSensorOutput(uint64_t id, QString mode);
    void getAntennaDelays(uint64_t id);
    void setAntennaDelays(uint64_t id, uint16_t tx, uint16_t rx);
    void getTdmaScheme();
    void setTdmaScheme(int mode);
    void getMode(uint64_t id);
    void setMode(uint64_t id, QString mode);
    void setUwbChannel(int channel);
    void sendUserText(uint64_t id, int type, QString text);
    void setGroup(uint64_t id, int group);
    void setParentAnchor(uint64_t id, QString parent);
    void getOutDataFormat();
    void setOutDataFormat(QString mode);
    void setAnchorPosition(uint64_t id);
    void setAnchorPosition(uint64_t id, uint32_t flags);
    void setDigitalIO(uint64_t id, uint8_t setMask, uint8_t clearMask, uint8_t toggleMask,
                      int toggleCount, int toggleWait);
    void getToFCompensation();
    void setToFCompensation(double corr);

    void pauseLs();
    void getAllDetails();
    void getAllDistances();
    RtlsNodeConfig *getNodeConfig(int index);
    int setNodeConfig(RtlsNodeConfig *config);
    int countNodeConfigs();
    void deleteNodeConfig();
    void getNodeConfigList();
    bool externalEngine();
    void useExternalEngine(bool arg);
    void sendJsonString(QString str);
    void sendJson(QJsonObject obj);
    void recording(int recordSize);
    QJsonObject toJSON(QJsonObject rootObj);
    void fromJSON(QJsonObject rootObj);
    void init();
    void checkActivity();

protected slots:
    int updateNodeConfig(RtlsNodeConfig *config);

private:
    // The service handler writes the registry, the tables and the system
    // values that the masters report.
    friend class RtlsSvc;

    SentrovaInterface();

    int send(const QJsonObject &command);
    int sendCommand(const char *command);
    int sendForNode(const char *command, uint64_t id);
    int sendRoles(const char *command, uint64_t id, uint32_t roles);

    void loadNode(const QJsonObject &element);
    void loadMaster(const QJsonObject &master);
    void loadMqtt(const QJsonValue &mqtt);
    void registerNode(RtlsObject *node, bool isNew);
    void stopLan();
    void reconnectFixedMaster();
    void watch(RtlsObject *node);

    RtlsSvc *m_svc = nullptr;
    RtlsLs *m_ls = nullptr;
    CaptureReplay *m_replay = nullptr;
    RtlsMdnsService *m_mdns = nullptr;
    QTimer *m_activityTimer = nullptr;
    MqttPublisher *m_mqtt = nullptr;
    RemoteSite *m_remoteSite = nullptr;
    bool m_initialised = false;
    DetailsRequestQueue *m_details = nullptr;
    QHash<uint64_t, RtlsObject *> m_nodes;
    QHash<uint64_t, RtlsObject *> m_anchors;
    QHash<uint64_t, RtlsObject *> m_nonAnchors;
    // The nodes the activity check looks at: every node announced or put
    // into the tables, but not one made by a single location report.
    QSet<RtlsObject *> m_watched;
    QList<RtlsNodeConfig *> m_nodeConfigs;
    QString m_outDataFormat;
    uint64_t m_masterId = 0;
    int m_tdmaScheme = 0;
    quint32 m_fixedMaster = 0;
    // The master address as the settings file gave it, written back on save.
    QString m_masterIp;
};
