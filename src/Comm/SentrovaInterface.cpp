#include "SentrovaInterface.h"

#include "CaptureReplay.h"
#include "CommConstants.h"
#include "CommLog.h"
#include "DetailsRequestQueue.h"
#include "MqttConfig.h"
#include "MqttMessages.h"
#include "MqttPublisher.h"
#include "RtlsConvert.h"
#include "RtlsMetaTypes.h"
#include "RtlsModelConstants.h"
#include "RtlsNodeConfig.h"
#include "RtlsObject.h"
#include "RtlsLs.h"
#include "RtlsMdnsService.h"
#include "RtlsPos.h"
#include "RemoteSite.h"
#include "RtlsIMU.h"
#include "RtlsSvc.h"
#include "SentrovaLog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonParseError>
#include <QMetaMethod>
#include <QTimer>
#include <QVector>

#include <cmath>
#include <limits>

namespace {

using Rtls::key;

// DIO masks: "0x" + exactly 2 lower-case digits.
QString dioMask(uint8_t mask)
{
    return QStringLiteral("0x%1").arg(mask, 2, 16, QLatin1Char('0'));
}

QJsonObject nodeCommand(const char *command, uint64_t id)
{
    QJsonObject obj;
    obj.insert(key("command"), QLatin1String(command));
    obj.insert(key("id"), Rtls::hexText(id));
    return obj;
}

QJsonValue axisValue(bool known, float value)
{
    if (!known)
        return QStringLiteral("auto");
    return std::round(double(value) * 1000.0) / 1000.0;
}

bool g_remoteAtStart = false;

bool isAuto(const QString &ip)
{
    return ip.trimmed().isEmpty() || ip.trimmed().compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0;
}

quint32 ipv4Of(const QString &text)
{
    bool ok = false;
    const quint32 address = QHostAddress(text.trimmed()).toIPv4Address(&ok);
    return ok ? address : 0;
}

QHash<uint64_t, QJsonObject> nodesById(const QJsonObject &root)
{
    QHash<uint64_t, QJsonObject> out;
    const QJsonArray nodes = root.value(QLatin1String("node")).toArray();
    for (const QJsonValue &v : nodes) {
        const QJsonObject element = v.toObject();
        const uint64_t id = Rtls::parseHex64(element.value(QLatin1String("id")).toString());
        if (id != 0)
            out.insert(id, element);
    }
    return out;
}

} // namespace

void SentrovaInterface::setRemoteAtStart(bool remote)
{
    g_remoteAtStart = remote;
}

SentrovaInterface *SentrovaInterface::instance()
{
    static SentrovaInterface *hub = new SentrovaInterface;
    return hub;
}

SentrovaInterface::SentrovaInterface()
{
    registerRtlsMetaTypes();
    RtlsHubLink::setCurrent(this);
    m_svc = new RtlsSvc(this);
    connect(m_svc, &RtlsSvc::connectedCountChanged, this, &SentrovaInterface::masterLinksChanged);

    // A remote view binds no stream port and searches nothing.
    m_ls = g_remoteAtStart ? new RtlsLs(this, true, this, RtlsLs::Ports::none()) : new RtlsLs(this, true);
    connect(m_ls, &RtlsLs::recordingSignal, this, &SentrovaInterface::recording);
    m_replay = new CaptureReplay(m_ls, this);

    if (!g_remoteAtStart) {
        m_mdns = new RtlsMdnsService(this);
        connect(m_svc, &RtlsSvc::scanMasterSignal, m_mdns, &RtlsMdnsService::scanMaster);
        connect(m_mdns, &RtlsMdnsService::masterDetectedSignal, m_svc, &RtlsSvc::masterDetected);
        connect(m_mdns, &RtlsMdnsService::masterDetectedSignal, m_ls, &RtlsLs::masterDetected);
    }

    m_details = new DetailsRequestQueue(
        [this] {
            // Without a master the requests wait for one.
            const int longest = m_svc->longestQueue();
            return longest < 0 ? std::numeric_limits<int>::max() : longest;
        },
        [this](uint64_t id) { getDetails(id); }, this);

    // Every node announced is watched for silence; one the stream made from
    // a single report and never heard again is not (a flood of random ids
    // would make each check walk all of them).
    connect(this, &SentrovaInterface::nodeAddedSignal, this, &SentrovaInterface::watch);
    connect(this, &SentrovaInterface::nodeUpdatedSignal, this, &SentrovaInterface::watch);
    m_activityTimer = new QTimer(this);
    connect(m_activityTimer, &QTimer::timeout, this, &SentrovaInterface::checkActivity);
    m_activityTimer->start(Comm::kActivityCheckMs);

    m_mqtt = new MqttPublisher(this);
    connect(this, &SentrovaInterface::nodeAddedSignal, m_mqtt, &MqttPublisher::nodeAdded);
    connect(this, &SentrovaInterface::nodeUpdatedSignal, m_mqtt, &MqttPublisher::nodeUpdated);
    connect(this, &SentrovaInterface::nodeInactiveSignal, m_mqtt, &MqttPublisher::nodeInactive);
    connect(m_mqtt, &MqttPublisher::displayMessage, this, &SentrovaInterface::postMessage);
    // Nodes known before publishing was switched on get their status too.
    connect(m_mqtt, &MqttPublisher::activated, this, [this] {
        for (RtlsObject *node : qAsConst(m_nodes))
            m_mqtt->nodeAdded(node);
    });

    if (g_remoteAtStart)
        m_remoteSite = new RemoteSite(this);

    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &SentrovaInterface::shutdown);
}

void SentrovaInterface::shutdown()
{
    m_replay->stop();
    delete m_mdns;
    m_mdns = nullptr;
    if (m_ls->isRecording())
        m_ls->toggleCapture();
    m_svc->dropAll();
    if (m_remoteSite)
        m_remoteSite->stop();
}

void SentrovaInterface::stopLan()
{
    m_replay->stop();
    delete m_mdns;
    m_mdns = nullptr;
    m_svc->dropAll();
    m_ls->stopListening();
    m_mqtt->stop();
}

void SentrovaInterface::becomeRemote()
{
    if (m_remoteSite)
        return;
    stopLan();
    m_remoteSite = new RemoteSite(this);
    postMessage(QStringLiteral("Remote view: no search for masters, no service channel and no location "
                               "stream from now on; the site comes from the broker"));
    emit remoteChanged(true);
    if (m_initialised)
        m_remoteSite->start();
}

void SentrovaInterface::registerNode(RtlsObject *node, bool isNew)
{
    const uint64_t id = node->id();
    const bool anchor = node->mode() == QLatin1String("anchor");
    if (isNew) {
        m_nodes.insert(id, node);
        if (anchor) {
            m_anchors.insert(id, node);
            emit anchorListUpdated();
        } else {
            m_nonAnchors.insert(id, node);
        }
        emit nodeAddedSignal(node);
    } else {
        emit nodeUpdatedSignal(node);
        if (anchor)
            emit anchorListUpdated();
    }
}

void SentrovaInterface::applyRemoteStatus(const MqttMessages::NodeStatus &status)
{
    if (status.id == 0)
        return;
    RtlsObject *node = m_nodes.value(status.id, nullptr);
    const bool isNew = !node;
    if (isNew) {
        node = new RtlsObject(this);
        node->setID(status.id);
    }
    // The status in the form of a node object, read as any other.
    QJsonObject element{{key("id"), Rtls::hexText(status.id)}, {key("mode"), status.mode}};
    // A node without a name is published under its id: no name of its own.
    if (status.name != node->idString())
        element.insert(key("name"), status.name);
    QJsonObject coordinates;
    if (status.hasX)
        coordinates.insert(key("x"), status.x);
    if (status.hasY)
        coordinates.insert(key("y"), status.y);
    if (status.hasZ)
        coordinates.insert(key("z"), status.z);
    if (!coordinates.isEmpty())
        element.insert(key("coordinates"), coordinates);
    const uint64_t heard = node->lastUpdate();
    node->updateFromJson(element);
    // A status is no report: the time the node was last heard stays.
    if (!isNew)
        node->setLastUpdate(heard);
    if (!status.category.isEmpty())
        node->setCategory(status.category);
    else if (node->category().isEmpty())
        node->setCategory(status.mode);
    if (status.battery >= 0.0)
        node->imu()->setVBat(float(status.battery));
    registerNode(node, isNew);

    if (status.inactive && node->mode() == QLatin1String("tag") && node->lastUpdate() != Comm::kReportedInactive) {
        node->setLastUpdate(Comm::kReportedInactive);
        postMessage(QStringLiteral("node 0x%1 gone inactive").arg(node->id(), 4, 16, QLatin1Char('0')));
        emit nodeInactiveSignal(node);
    }
}

SentrovaInterface::~SentrovaInterface()
{
    if (RtlsHubLink::current() == this)
        RtlsHubLink::setCurrent(nullptr);
}

RtlsNodeConfig *SentrovaInterface::findNodeConfig(int cfgId) const
{
    for (RtlsNodeConfig *config : m_nodeConfigs)
        if (config->cfgId() == cfgId)
            return config;
    return nullptr;
}

RtlsObject *SentrovaInterface::node(uint64_t id) const
{
    return m_nodes.value(id, nullptr);
}

bool SentrovaInterface::hasNode(uint64_t id) const
{
    return m_nodes.contains(id);
}

void SentrovaInterface::postMessage(const QString &line)
{
    qCInfo(lcConsole).noquote() << line;
    emit displayMessage(line);
}

RtlsObject *SentrovaInterface::findNode(uint64_t id) const
{
    return node(id);
}

bool SentrovaInterface::hasNonAnchor(uint64_t id) const
{
    return m_nonAnchors.contains(id);
}

void SentrovaInterface::insertNonAnchor(RtlsObject *node)
{
    m_nonAnchors.insert(node->id(), node);
    if (!m_nodes.contains(node->id()))
        m_nodes.insert(node->id(), node);
    watch(node);
}

void SentrovaInterface::watch(RtlsObject *node)
{
    if (node && !(node->msgFlags() & Rtls::kMsgHeardOnce))
        m_watched.insert(node);
}

void SentrovaInterface::announceNodeAdded(RtlsObject *node)
{
    emit nodeAddedSignal(node);
}

void SentrovaInterface::announceNodeUpdated(RtlsObject *node)
{
    emit nodeUpdatedSignal(node);
}

void SentrovaInterface::announceLocationData(const QJsonObject &report)
{
    emit lsDataReceived(report);
}

bool SentrovaInterface::wantsLocationData() const
{
    static const QMetaMethod signal = QMetaMethod::fromSignal(&SentrovaInterface::lsDataReceived);
    return isSignalConnected(signal);
}

void SentrovaInterface::requestDetails(uint64_t id)
{
    if (m_details->request(id))
        return;
    if (RtlsObject *node = m_nodes.value(id, nullptr))
        node->clearMsgFlags(Rtls::kMsgDetailsPending);
}

int SentrovaInterface::waitingDetailRequests() const
{
    return m_details->waiting();
}

int SentrovaInterface::send(const QJsonObject &command)
{
    // A remote view commands nothing: the site's own manager does.
    if (m_remoteSite)
        return 0;
    return m_svc->sendSvc(QJsonDocument(command));
}

int SentrovaInterface::sendCommand(const char *command)
{
    QJsonObject obj;
    obj.insert(key("command"), QLatin1String(command));
    return send(obj);
}

int SentrovaInterface::sendForNode(const char *command, uint64_t id)
{
    return send(nodeCommand(command, id));
}

int SentrovaInterface::sendRoles(const char *command, uint64_t id, uint32_t roles)
{
    QJsonObject obj = nodeCommand(command, id);
    obj.insert(key("roles"), Rtls::hexText(roles));
    return send(obj);
}

int SentrovaInterface::updateNodeConfig(RtlsNodeConfig *config)
{
    if (!config)
        return -1;
    const int known = m_nodeConfigs.indexOf(config);
    if (known >= 0) {
        emit nodeConfigListChanged();
        return known;
    }
    // The entry replaced stays alive as the hub's child: a view may still
    // hold it.
    if (RtlsNodeConfig *same = findNodeConfig(config->cfgId()))
        m_nodeConfigs.removeOne(same);
    config->setParent(this);
    m_nodeConfigs.append(config);
    emit nodeConfigListChanged();
    return m_nodeConfigs.size() - 1;
}

void SentrovaInterface::toggleRtlsLsDisplayMessages()
{
    m_ls->toggleDisplayMessages();
}

void SentrovaInterface::toggleRtlsSvcDisplayMessages()
{
    m_svc->toggleDisplayMessages();
}

void SentrovaInterface::toggleLsCapture()
{
    m_ls->toggleCapture();
}

void SentrovaInterface::scanMaster()
{
    if (m_remoteSite) {
        postMessage(QStringLiteral("Remote view: no search for masters"));
        return;
    }
    if (m_fixedMaster) {
        postMessage(QStringLiteral("No search for masters: the command line names the master %1")
                        .arg(QHostAddress(m_fixedMaster).toString()));
        return;
    }
    // A search started by hand skips multicast DNS and broadcasts at once.
    if (m_mdns)
        QMetaObject::invokeMethod(m_mdns, "mdnsTimeout");
}

int SentrovaInterface::connectedMasterCount() const
{
    return m_svc->connectedCount();
}

void SentrovaInterface::connectToMaster(quint32 address)
{
    if (address == 0)
        return;
    m_masterIp = QHostAddress(address).toString();
    m_svc->connectToRtlsSvcIpAddr(address);
    m_ls->setRtlsLsIpAddr(address);
}

void SentrovaInterface::resetMaster()
{
    postMessage(QStringLiteral("Reseting master(s)"));
    sendCommand("reset");
    m_svc->closeAll();
}

void SentrovaInterface::resetNode(uint64_t id)
{
    postMessage(QStringLiteral("Reseting node 0x%1").arg(Rtls::hexId(id)));
    sendForNode("reset", id);
    m_svc->closeAll();
}

void SentrovaInterface::discoverLegacy()
{
    postMessage(QStringLiteral("Turning on Legacy mode for Discovery for a short period"));
    sendCommand("discoverLegacy");
}

void SentrovaInterface::checkFwUpdate()
{
    postMessage(QStringLiteral("Request master to check for new firmware"));
    sendCommand("checkFwUpdate");
}

void SentrovaInterface::forceFwUpdate(uint64_t id)
{
    postMessage(QStringLiteral("Request node %1 to check for new firmware").arg(Rtls::hexId(id)));
    sendForNode("forceFwUpdate", id);
}

void SentrovaInterface::scanInfra()
{
    postMessage(QStringLiteral("Request master to scan infrastructure"));
    sendCommand("scanInfra");
}

void SentrovaInterface::scanInfraWithCount(int cnt)
{
    postMessage(QStringLiteral("Request master to scan infrastructure with count %1").arg(cnt));
    QJsonObject obj;
    obj.insert(key("command"), QStringLiteral("scanInfra"));
    obj.insert(key("cnt"), cnt);
    send(obj);
}

void SentrovaInterface::getVersion()
{
    sendCommand("version");
}

void SentrovaInterface::listTags()
{
    postMessage(QStringLiteral("Request masters to send all tags"));
    sendCommand("listTags");
}

void SentrovaInterface::listAnchors()
{
    postMessage(QStringLiteral("Request masters to send all anchors"));
    sendCommand("listAnchors");
}

void SentrovaInterface::autoPosApply()
{
    postMessage(QStringLiteral("Apply auto positioning"));
    QJsonObject obj;
    obj.insert(key("command"), QStringLiteral("setAutoPos"));
    obj.insert(key("coordinates"), QStringLiteral("auto"));
    send(obj);
    QTimer::singleShot(Comm::kRequeryDelayMs, this, &SentrovaInterface::listAnchors);
}

void SentrovaInterface::setNewSess()
{
    sendCommand("newSess");
}

void SentrovaInterface::removeAnchors()
{
    sendCommand("removeAnchors");
}

void SentrovaInterface::removeAnchorCoordinates()
{
    sendCommand("removeAnchorCoor");
}

void SentrovaInterface::getDetails(uint64_t id)
{
    sendForNode("getDetails", id);
}

void SentrovaInterface::getRoles(uint64_t id)
{
    sendForNode("getRoles", id);
}

void SentrovaInterface::getParent(uint64_t id)
{
    sendForNode("getParent", id);
}

void SentrovaInterface::getTdmaDetails(uint64_t id)
{
    sendForNode("getTdmaDetails", id);
}

void SentrovaInterface::getStats(uint64_t id)
{
    sendForNode("getStats", id);
}

void SentrovaInterface::getDistances(uint64_t id)
{
    sendForNode("getDist", id);
}

void SentrovaInterface::getPosition(uint64_t id)
{
    sendForNode("getPos", id);
}

void SentrovaInterface::setRoles(uint64_t id, uint32_t roles)
{
    sendRoles("setRoles", id, roles);
}

void SentrovaInterface::addRoles(uint64_t id, uint32_t roles)
{
    sendRoles("addRoles", id, roles);
}

void SentrovaInterface::removeRoles(uint64_t id, uint32_t roles)
{
    sendRoles("removeRoles", id, roles);
}

void SentrovaInterface::getSeat(uint64_t id)
{
    sendForNode("getSeat", id);
}

void SentrovaInterface::setSeat(uint64_t id, uint32_t seat)
{
    QJsonObject obj = nodeCommand("setSeat", id);
    obj.insert(key("seat"), QString::number(seat));
    send(obj);
}

void SentrovaInterface::getFreeMask(uint64_t id)
{
    sendForNode("getFreeMask", id);
}

void SentrovaInterface::setSensorOutput(uint64_t id, QString mode)
{
    QJsonObject obj = nodeCommand("sensOut", id);
    obj.insert(key("mode"), mode);
    send(obj);
}

void SentrovaInterface::getAntennaDelays(uint64_t id)
{
    sendForNode("getUwbAntConfig", id);
}

void SentrovaInterface::setAntennaDelays(uint64_t id, uint16_t tx, uint16_t rx)
{
    QJsonObject obj = nodeCommand("setUwbAntConfig", id);
    obj.insert(key("txDelay"), int(tx));
    obj.insert(key("rxDelay"), int(rx));
    send(obj);
}

void SentrovaInterface::getTdmaScheme()
{
    sendCommand("getTdmaScheme");
}

void SentrovaInterface::setTdmaScheme(int mode)
{
    QJsonObject obj;
    obj.insert(key("command"), QStringLiteral("setTdmaScheme"));
    obj.insert(key("scheme"), mode);
    send(obj);
}

void SentrovaInterface::getMode(uint64_t id)
{
    sendForNode("getMode", id);
}

void SentrovaInterface::setMode(uint64_t id, QString mode)
{
    QJsonObject obj = nodeCommand("setMode", id);
    obj.insert(key("mode"), mode);
    send(obj);
}

void SentrovaInterface::setUwbChannel(int channel)
{
    QJsonObject obj;
    obj.insert(key("command"), QStringLiteral("setUwbConfig"));
    obj.insert(key("chan"), channel);
    send(obj);
}

void SentrovaInterface::sendUserText(uint64_t id, int type, QString text)
{
    QJsonObject obj = nodeCommand("setUserData", id);
    obj.insert(key("type"), QString::number(type));
    obj.insert(key("text"), text);
    send(obj);
}

void SentrovaInterface::setGroup(uint64_t id, int group)
{
    QJsonObject obj = nodeCommand("setGroup", id);
    obj.insert(key("group"), QString::number(group));
    send(obj);
}

void SentrovaInterface::setParentAnchor(uint64_t id, QString parent)
{
    QJsonObject obj = nodeCommand("setParent", id);
    obj.insert(key("parent"), parent);
    obj.insert(key("group"), parent);
    send(obj);
}

void SentrovaInterface::getOutDataFormat()
{
    sendCommand("getOutDataFormat");
}

void SentrovaInterface::setOutDataFormat(QString mode)
{
    QJsonObject obj;
    obj.insert(key("command"), QStringLiteral("setOutDataFormat"));
    obj.insert(key("outDataFormat"), mode);
    send(obj);
}

void SentrovaInterface::setAnchorPosition(uint64_t id)
{
    setAnchorPosition(id, Rtls::kPosXYZ);
}

void SentrovaInterface::setAnchorPosition(uint64_t id, uint32_t flags)
{
    RtlsObject *target = node(id);
    if (!target)
        return;
    const QString mode = target->mode();
    if (mode != QLatin1String("anchor") && mode != QLatin1String("master"))
        return;
    // A node without a position record has every axis "auto"; sending
    // that creates no record.
    const RtlsPos *pos = target->hasPos() ? target->pos() : nullptr;
    const uint32_t known = pos ? pos->flags() : 0;
    QJsonObject obj;
    if (flags & Rtls::kPosX)
        obj.insert(key("x"), axisValue(known & Rtls::kPosX, pos ? pos->x() : 0.0f));
    if (flags & Rtls::kPosY)
        obj.insert(key("y"), axisValue(known & Rtls::kPosY, pos ? pos->y() : 0.0f));
    if (flags & Rtls::kPosZ)
        obj.insert(key("z"), axisValue(known & Rtls::kPosZ, pos ? pos->z() : 0.0f));
    obj.insert(key("command"), QStringLiteral("setPos"));
    obj.insert(key("id"), Rtls::hexText(id));
    send(obj);
}

void SentrovaInterface::setDigitalIO(uint64_t id, uint8_t setMask, uint8_t clearMask, uint8_t toggleMask,
                                     int toggleCount, int toggleWait)
{
    QJsonObject obj = nodeCommand("setDio8", id);
    obj.insert(key("setMask"), dioMask(setMask));
    obj.insert(key("clearMask"), dioMask(clearMask));
    obj.insert(key("toggleMask"), dioMask(toggleMask));
    obj.insert(key("toggleCount"), QString::number(toggleCount));
    obj.insert(key("toggleWait"), QString::number(toggleWait));
    send(obj);
}

// The masters have no time-of-flight compensation command; these send the
// empty object that the protocol defines for them.
void SentrovaInterface::getToFCompensation()
{
    send(QJsonObject());
}

void SentrovaInterface::setToFCompensation(double)
{
    send(QJsonObject());
}

void SentrovaInterface::pauseLs()
{
    m_ls->pause();
}

void SentrovaInterface::getAllDetails()
{
    const QList<uint64_t> ids = m_nodes.keys();
    for (uint64_t id : ids) {
        getDetails(id);
        getSeat(id);
        getTdmaDetails(id);
    }
}

void SentrovaInterface::getAllDistances()
{
    const QList<uint64_t> ids = m_nodes.keys();
    for (uint64_t id : ids) {
        const QString mode = m_nodes.value(id)->mode();
        if (Rtls::isAnchorOrMaster(mode))
            getDistances(id);
    }
}

RtlsNodeConfig *SentrovaInterface::getNodeConfig(int index)
{
    return m_nodeConfigs.value(index, nullptr);
}

int SentrovaInterface::setNodeConfig(RtlsNodeConfig *config)
{
    if (!config)
        return -1;
    const int index = updateNodeConfig(config);
    QJsonObject obj = config->toJSON();
    obj.insert(key("command"), QStringLiteral("setNodeConfig"));
    sendJson(obj);
    QTimer::singleShot(Comm::kRequeryDelayMs, this, &SentrovaInterface::getNodeConfigList);
    return index;
}

int SentrovaInterface::countNodeConfigs()
{
    return m_nodeConfigs.size();
}

void SentrovaInterface::deleteNodeConfig()
{
    // Deferred: a view that reacts to the list change may still touch one.
    for (RtlsNodeConfig *config : qAsConst(m_nodeConfigs))
        config->deleteLater();
    m_nodeConfigs.clear();
    emit nodeConfigListChanged();
    sendCommand("removeNodeConfig");
}

void SentrovaInterface::getNodeConfigList()
{
    sendCommand("listNodeConfig");
}

bool SentrovaInterface::externalEngine()
{
    return m_ls->externalEngine();
}

void SentrovaInterface::useExternalEngine(bool arg)
{
    m_ls->useExternalEngine(arg);
}

void SentrovaInterface::sendJsonString(QString str)
{
    if (m_remoteSite) {
        postMessage(QStringLiteral("Remote view: nothing is sent to the masters"));
        return;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(str.toUtf8(), &parseError);
    if (parseError.error != QJsonParseError::NoError || doc.isEmpty()) {
        postMessage(QStringLiteral("Cannot send JSON message: ") + str.simplified());
        return;
    }
    m_svc->sendSvc(doc);
}

void SentrovaInterface::sendJson(QJsonObject obj)
{
    send(obj);
}

void SentrovaInterface::recording(int recordSize)
{
    emit recordingSignal(recordSize);
}

QJsonObject SentrovaInterface::toJSON(QJsonObject rootObj)
{
    if (!m_nodes.isEmpty()) {
        QJsonArray nodes;
        for (RtlsObject *node : qAsConst(m_nodes))
            nodes.append(node->toJson());
        rootObj.remove(key("node"));
        rootObj.insert(key("node"), nodes);
    }
    QJsonObject master = rootObj.value(key("master")).toObject();
    // The address the file named stays in it: a save must not turn a fixed
    // master into discovery.
    if (!m_masterIp.isEmpty() && !master.contains(key("ip")))
        master.insert(key("ip"), m_masterIp);
    master.insert(key("externalEngine"), externalEngine());
    rootObj.insert(key("master"), master);
    rootObj.insert(key("mqtt"), m_mqtt->config().toJson());
    return rootObj;
}

void SentrovaInterface::fromJSON(QJsonObject rootObj)
{
    const QJsonValue nodes = rootObj.value(key("node"));
    if (nodes.isArray()) {
        const QJsonArray array = nodes.toArray();
        for (const QJsonValue &element : array) {
            if (element.isObject())
                loadNode(element.toObject());
            else
                postMessage(QStringLiteral("Settings: node entry is not an object, skipped"));
        }
    } else if (!nodes.isUndefined()) {
        postMessage(QStringLiteral("Settings: \"node\" is not a list, no nodes loaded"));
    }

    const QJsonValue master = rootObj.value(key("master"));
    if (master.isObject())
        loadMaster(master.toObject());
    else if (!master.isUndefined())
        postMessage(QStringLiteral("Settings: \"master\" is not an object, ignored"));

    loadMqtt(rootObj.value(key("mqtt")));
}

void SentrovaInterface::loadMqtt(const QJsonValue &mqtt)
{
    if (mqtt.isUndefined())
        return;
    if (!mqtt.isObject()) {
        postMessage(QStringLiteral("Settings: \"mqtt\" is not an object, ignored"));
        return;
    }
    QStringList problems;
    const MqttConfig config = MqttConfig::fromJson(mqtt.toObject(), &problems, m_mqtt->config());
    for (const QString &line : qAsConst(problems))
        postMessage(line);
    m_mqtt->loadConfig(config);
}

void SentrovaInterface::loadNode(const QJsonObject &element)
{
    const QString idText = element.value(key("id")).toString();
    const uint64_t id = Rtls::parseHex64(idText);
    if (id == 0) {
        postMessage(QStringLiteral("Settings: node without a valid hexadecimal id skipped: %1")
                        .arg(QString::fromUtf8(QJsonDocument(element).toJson(QJsonDocument::Compact))));
        return;
    }

    RtlsObject *node = m_nodes.value(id, nullptr);
    const bool isNew = !node;
    if (isNew) {
        node = new RtlsObject(this);
        node->setID(id);
    }
    const uint32_t loaded = node->updateFromJson(element);

    // The position is pushed to the node the next time its master lists it;
    // "coordinates" without a single axis holds nothing to push, and pushing
    // it would send "auto" for every axis over what the master has learnt.
    if (loaded & Rtls::kPosXYZ)
        node->setFlags(node->flags() | Comm::kFlagPushPosition);
    else
        node->setFlags(node->flags() & ~Comm::kFlagPushPosition);

    const QJsonValue mode = element.value(key("mode"));
    if (mode.isString())
        node->setMode(mode.toString());
    else if (node->mode().isEmpty())
        node->setMode(QStringLiteral("anchor"));

    registerNode(node, isNew);
    const bool anchor = node->mode() == QLatin1String("anchor");
    if (anchor)
        getDistances(id);
}

void SentrovaInterface::loadMaster(const QJsonObject &master)
{
    const QJsonValue ip = master.value(key("ip"));
    if (ip.isString() && m_remoteSite) {
        m_masterIp = ip.toString();
    } else if (ip.isString()) {
        const QString text = ip.toString().trimmed();
        m_masterIp = ip.toString();
        if (m_fixedMaster && text.compare(QLatin1String("auto"), Qt::CaseInsensitive) != 0) {
            postMessage(QStringLiteral("Settings: master address %1 not used: the command line names the master %2")
                            .arg(text, QHostAddress(m_fixedMaster).toString()));
        } else if (text.compare(QLatin1String("auto"), Qt::CaseInsensitive) != 0) {
            bool ok = false;
            const QHostAddress address(text);
            const quint32 ipv4 = address.toIPv4Address(&ok);
            if (ok && !text.isEmpty()) {
                m_svc->connectToRtlsSvcIpAddr(ipv4);
                m_ls->setRtlsLsIpAddr(ipv4);
            } else {
                postMessage(QStringLiteral("Settings: master address is not an IPv4 address: %1").arg(text));
            }
        }
    } else if (!ip.isUndefined()) {
        postMessage(QStringLiteral("Settings: master \"ip\" is not a text, ignored"));
    }

    const QJsonValue engine = master.value(key("externalEngine"));
    if (engine.isBool())
        useExternalEngine(engine.toBool());
    else if (!engine.isUndefined())
        postMessage(QStringLiteral("Settings: master \"externalEngine\" is not true or false, ignored"));
}

void SentrovaInterface::init()
{
    m_initialised = true;
    if (m_remoteSite) {
        m_remoteSite->start();
        return;
    }
    if (m_fixedMaster) {
        m_svc->connectToRtlsSvcIpAddr(m_fixedMaster);
        m_ls->setRtlsLsIpAddr(m_fixedMaster);
    } else {
        m_svc->init();
    }
    m_mqtt->start();
}

void SentrovaInterface::setFixedMaster(quint32 address)
{
    if (address == 0 || m_fixedMaster || !m_mdns)
        return;
    m_fixedMaster = address;
    disconnect(m_svc, &RtlsSvc::scanMasterSignal, m_mdns, &RtlsMdnsService::scanMaster);
    disconnect(m_mdns, &RtlsMdnsService::masterDetectedSignal, m_svc, &RtlsSvc::masterDetected);
    disconnect(m_mdns, &RtlsMdnsService::masterDetectedSignal, m_ls, &RtlsLs::masterDetected);
    // The service handler asks for a search when its last master is gone;
    // without discovery that means: the same master again, after a pause.
    connect(m_svc, &RtlsSvc::scanMasterSignal, this, [this] {
        QTimer::singleShot(Comm::kFixedMasterRetryMs, this, &SentrovaInterface::reconnectFixedMaster);
    });
}

void SentrovaInterface::reconnectFixedMaster()
{
    if (m_fixedMaster && m_svc->clientCount() == 0)
        m_svc->connectToRtlsSvcIpAddr(m_fixedMaster);
}

void SentrovaInterface::setCaptureFileName(const QString &fileName)
{
    m_ls->setCaptureFileName(fileName);
}

bool SentrovaInterface::isCapturing() const
{
    return m_ls->isRecording();
}

void SentrovaInterface::checkActivity()
{
    const quint64 limit = quint64(QDateTime::currentMSecsSinceEpoch() - Comm::kInactiveAfterMs);
    // Gathered first: what hears of it may announce nodes, which are then
    // watched.
    QVector<RtlsObject *> silent;
    for (RtlsObject *node : qAsConst(m_watched)) {
        // The time first: nearly every node was heard lately or was reported
        // already, and the mode is a string to compare.
        const quint64 last = node->lastUpdate();
        if (last == 0 || last == Comm::kReportedInactive || last >= limit)
            continue;
        // A node made by one report and never heard again was never shown
        // as active (an id of a corrupt datagram or of a flood): nothing to
        // say.
        if ((node->msgFlags() & Rtls::kMsgHeardOnce) || node->mode() != QLatin1String("tag"))
            continue;
        silent.append(node);
    }
    int reported = 0;
    for (RtlsObject *node : qAsConst(silent)) {
        node->setLastUpdate(Comm::kReportedInactive);
        // Many at once (the stream stopped): a few lines and a count.
        if (++reported <= Comm::kInactiveLinesPerCheck)
            postMessage(QStringLiteral("node 0x%1 gone inactive").arg(node->id(), 4, 16, QLatin1Char('0')));
        emit nodeInactiveSignal(node);
    }
    if (reported > Comm::kInactiveLinesPerCheck)
        postMessage(QStringLiteral("%1 more nodes gone inactive").arg(reported - Comm::kInactiveLinesPerCheck));
}

QStringList SentrovaInterface::reloadSettings(const QJsonObject &before, const QJsonObject &after)
{
    QStringList changes;

    const QJsonObject masterBefore = before.value(key("master")).toObject();
    const QJsonObject masterAfter = after.value(key("master")).toObject();
    const QString ipBefore = masterBefore.value(key("ip")).toString();
    const QString ipAfter = masterAfter.value(key("ip")).toString();
    const QString shownAfter = isAuto(ipAfter) ? QStringLiteral("auto") : ipAfter.trimmed();
    const QString shownBefore = isAuto(ipBefore) ? QStringLiteral("auto") : ipBefore.trimmed();
    if (shownAfter != shownBefore && !m_remoteSite) {
        if (m_fixedMaster) {
            changes << QStringLiteral("master address %1 not used: the command line names the master %2")
                           .arg(shownAfter, QHostAddress(m_fixedMaster).toString());
        } else if (!isAuto(ipAfter) && ipv4Of(ipAfter) == 0) {
            changes << QStringLiteral("master address %1 is not an IPv4 address, %2 kept").arg(shownAfter, shownBefore);
        } else {
            m_masterIp = ipAfter;
            if (const quint32 old = ipv4Of(ipBefore))
                m_svc->dropClient(old);
            if (const quint32 address = ipv4Of(ipAfter)) {
                m_svc->connectToRtlsSvcIpAddr(address);
                m_ls->setRtlsLsIpAddr(address);
            } else if (m_svc->clientCount() == 0) {
                m_svc->init();
            }
            changes << QStringLiteral("master address %1 (was %2)").arg(shownAfter, shownBefore);
        }
    }
    const QJsonValue engine = masterAfter.value(key("externalEngine"));
    if (engine.isBool() && engine.toBool() != externalEngine()) {
        useExternalEngine(engine.toBool());
        changes << (engine.toBool() ? QStringLiteral("external location engine on")
                                    : QStringLiteral("external location engine off"));
    }

    const QJsonValue mqttAfter = after.value(key("mqtt"));
    if (mqttAfter != before.value(key("mqtt"))) {
        const MqttConfig previous = m_mqtt->effectiveConfig();
        // A section taken out of the file means what it means at start: the defaults.
        if (mqttAfter.isUndefined())
            m_mqtt->loadConfig(MqttConfig());
        else
            loadMqtt(mqttAfter);
        const MqttConfig now = m_mqtt->effectiveConfig();
        if (now != previous) {
            changes << QStringLiteral("MQTT settings changed: publishing %1 to %2, topic prefix %3")
                           .arg(now.enabled ? QStringLiteral("on") : QStringLiteral("off"), m_mqtt->brokerText(),
                                now.topicPrefix);
        }
    }

    const QHash<uint64_t, QJsonObject> nodesBefore = nodesById(before);
    const QJsonArray nodesAfter = after.value(key("node")).toArray();
    int changedNodes = 0;
    for (const QJsonValue &v : nodesAfter) {
        const QJsonObject element = v.toObject();
        const uint64_t id = Rtls::parseHex64(element.value(key("id")).toString());
        if (id == 0 || nodesBefore.value(id) == element)
            continue;
        loadNode(element);
        ++changedNodes;
    }
    if (changedNodes > 0)
        changes << (changedNodes == 1 ? QStringLiteral("1 node read again")
                                      : QStringLiteral("%1 nodes read again").arg(changedNodes));
    return changes;
}
