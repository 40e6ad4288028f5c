#include "RtlsSvc.h"

#include "CommLog.h"
#include "RtlsConvert.h"
#include "RtlsModelConstants.h"
#include "RtlsNodeConfig.h"
#include "RtlsObject.h"
#include "RtlsPos.h"
#include "SentrovaInterface.h"
#include "SvcClient.h"

#include <QAbstractSocket>
#include <QHostAddress>
#include <QJsonParseError>

#include <cmath>
#include <algorithm>

namespace {

QString dotted(quint32 address)
{
    return QHostAddress(address).toString();
}

QByteArray compact(const char *command)
{
    QJsonObject obj;
    obj.insert(QStringLiteral("command"), QString::fromLatin1(command));
    return QJsonDocument(obj).toJson(QJsonDocument::Compact);
}

// The text of a written message as the console shows it: up to its first
// NUL, without the line feed that ends it on the wire (a console line is a
// line of its own; the feed would show as an empty line after it).
QString echoText(const QByteArray &data)
{
    int length = static_cast<int>(qstrnlen(data.constData(), data.size()));
    while (length > 0 && data.at(length - 1) == Comm::kLineDelimiter)
        --length;
    return QString::fromUtf8(data.constData(), length);
}

// Whether the node already holds what a push of the record's known axes
// would send: the listing names each of them, to the millimetre.
bool listingHolds(const RtlsPos *pos, const QJsonObject &node)
{
    const QJsonValue coordinates = node.value(QLatin1String("coordinates"));
    if (!coordinates.isObject())
        return false;
    const QJsonObject listed = coordinates.toObject();
    const QLatin1String keys[] = {QLatin1String("x"), QLatin1String("y"), QLatin1String("z")};
    const auto &bits = Rtls::kPosAxis;
    const float values[] = {pos->x(), pos->y(), pos->z()};
    for (int axis = 0; axis < 3; ++axis) {
        if (!(pos->flags() & bits[axis]))
            continue;
        const QJsonValue v = listed.value(keys[axis]);
        if (!v.isDouble() || std::round(double(values[axis]) * 1000.0) != std::round(v.toDouble() * 1000.0))
            return false;
    }
    return true;
}

uint16_t antennaDelay(const QJsonObject &obj, const QString &key)
{
    const QJsonValue value = obj.value(key);
    if (value.isDouble())
        return Rtls::truncateTo<uint16_t>(value.toDouble());
    if (value.isString())
        return static_cast<uint16_t>(value.toString().trimmed().toUShort());
    return Comm::kDefaultAntennaDelay;
}

} // namespace

RtlsSvc::RtlsSvc(SentrovaInterface *hub) : QObject(hub), m_hub(hub)
{
}

RtlsSvc::~RtlsSvc()
{
    dropAll();
}

void RtlsSvc::dropAll()
{
    // The hub is being torn down: close the links without console lines.
    for (SvcClient *client : qAsConst(m_clients)) {
        client->disconnect(this);
        delete client;
    }
    m_clients.clear();
    m_linked.clear();
}

bool RtlsSvc::dropClient(quint32 address)
{
    SvcClient *client = m_clients.take(address);
    if (!client)
        return false;
    client->disconnect(this);
    client->close();
    client->deleteLater();
    post(QStringLiteral("Master at %1 is no longer used.").arg(dotted(address)));
    return true;
}

void RtlsSvc::init()
{
    emit scanMasterSignal();
}

void RtlsSvc::post(const QString &line)
{
    m_hub->postMessage(line);
}

void RtlsSvc::toggleDisplayMessages()
{
    m_displayMessages = !m_displayMessages;
}

uint64_t RtlsSvc::serviceId(const QJsonValue &value)
{
    return Rtls::parseHex64(value.toString()) & Comm::kServiceIdMask;
}

void RtlsSvc::masterDetected(unsigned int ipaddr)
{
    if (SvcClient *known = m_clients.value(ipaddr, nullptr)) {
        known->connectToMaster();
        return;
    }
    post(QStringLiteral("Master detected at %2").arg(dotted(ipaddr)));

    SvcClient *client = new SvcClient(ipaddr, this, m_port);
    connect(client, &SvcClient::dataReady, this, &RtlsSvc::processJsonData);
    connect(client, &SvcClient::dataWritten, this, &RtlsSvc::dataWritten);
    connect(client, &SvcClient::error, this, &RtlsSvc::rtlsSvcTcpClientError);
    connect(client, &SvcClient::lineDropped, this, &RtlsSvc::lineDropped);
    connect(client, &SvcClient::queueFull, this, &RtlsSvc::queueFull);
    connect(client, &SvcClient::linkChanged, this, &RtlsSvc::linkChanged);
    m_clients.insert(ipaddr, client);

    post(QStringLiteral("Request master to send all anchors"));
    client->write(compact("listAnchors"));
    client->write(compact("listNodeConfig"));
    client->write(compact("getTdmaScheme"));
}

void RtlsSvc::connectToRtlsSvcIpAddr(unsigned int arg)
{
    post(QStringLiteral("Connecting to the master using provided IP address %1").arg(dotted(arg)));
    masterDetected(arg);
}

void RtlsSvc::rtlsSvcTcpClientError(unsigned int addr, int socketError, QString errorstring)
{
    // A refused connection is routine while a master boots: keep retrying.
    if (socketError == QAbstractSocket::ConnectionRefusedError)
        return;
    SvcClient *client = m_clients.take(addr);
    if (!client)
        return;
    post(QStringLiteral("Error on SVC Client: %1").arg(errorstring));
    client->disconnect(this);
    client->close();
    client->deleteLater();
    forgetLink(addr);
    post(QStringLiteral("Master at %1 has disconnected.").arg(dotted(addr)));
    if (m_clients.isEmpty()) {
        post(QStringLiteral("No Masters left. Rescanning for masters..."));
        emit scanMasterSignal();
    }
}

void RtlsSvc::linkChanged(unsigned int addr, bool up)
{
    if (up == m_linked.contains(addr))
        return;
    if (up)
        m_linked.insert(addr);
    else
        m_linked.remove(addr);
    emit connectedCountChanged(m_linked.size());
}

void RtlsSvc::forgetLink(quint32 addr)
{
    if (m_linked.remove(addr))
        emit connectedCountChanged(m_linked.size());
}

void RtlsSvc::lineDropped(unsigned int addr, qint64 size)
{
    qCDebug(lcComm) << "dropped" << size << "bytes from" << dotted(addr);
    post(QStringLiteral("SVC_IN: dropped a line longer than %1 bytes from the master at %2")
             .arg(Comm::kMaxLineBytes)
             .arg(dotted(addr)));
}

void RtlsSvc::queueFull(unsigned int addr)
{
    post(QStringLiteral("SVC_OUT: %1 commands wait for the master at %2; further commands are not sent")
             .arg(Comm::kMaxQueuedLines)
             .arg(dotted(addr)));
}

void RtlsSvc::closeAll()
{
    // A client with nothing pending reports its close at once, which takes
    // it out of the hash: walk a copy.
    const QList<SvcClient *> clients = m_clients.values();
    for (SvcClient *client : clients)
        client->close();
}

int RtlsSvc::sendSvc(QJsonDocument doc)
{
    if (doc.isEmpty())
        return 0;
    const QByteArray data = doc.toJson(QJsonDocument::Compact);
    for (SvcClient *client : qAsConst(m_clients))
        client->write(data);
    return m_clients.size();
}

int RtlsSvc::longestQueue() const
{
    int longest = -1;
    for (const SvcClient *client : m_clients)
        longest = std::max(longest, client->queuedCount());
    return longest;
}

void RtlsSvc::dataWritten(QByteArray data)
{
    if (!m_displayMessages)
        return;
    ++m_messageCounter;
    post(QStringLiteral("SVC_OUT %1) ").arg(m_messageCounter) + echoText(data));
}

int RtlsSvc::processJsonData(QByteArray buffer)
{
    const QList<QByteArray> lines = buffer.split(Comm::kLineDelimiter);
    for (const QByteArray &line : lines)
        processMessage(line);
    return 0;
}

void RtlsSvc::processMessage(const QByteArray &line)
{
    if (line.isEmpty())
        return;
    const QString text = QString::fromUtf8(line);
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(line, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        post(QStringLiteral("SVC_IN: PARSE ERRROR %1 - %2 ").arg(parseError.errorString(), text));
        return;
    }
    if (line.contains(Comm::kPingResponse))
        return;
    if (!doc.isObject()) {
        post(QStringLiteral("SVC_IN: JSON structure mismatch - %1) ").arg(text));
        return;
    }
    if (m_displayMessages) {
        ++m_messageCounter;
        post(QStringLiteral("SVC_IN: %1) ").arg(m_messageCounter) + text);
    }

    const QJsonObject object = doc.object();
    emit m_hub->svcDataReceived(object);

    const QJsonValue response = object.value(QLatin1String("response"));
    if (response.isString())
        handleResponse(response.toString(), object);

    const QJsonValue anchors = object.value(QLatin1String("anchors"));
    const QJsonValue tags = object.value(QLatin1String("tags"));
    if (anchors.isArray()) {
        processNodeList(anchors.toArray(), QStringLiteral("anchor"));
    } else if (tags.isArray()) {
        processNodeList(tags.toArray(), QStringLiteral("tag"));
    } else if (object.contains(QLatin1String("id"))) {
        processNode(object, QString());
    } else if (object.contains(QLatin1String("cfgId"))) {
        processNodeConfig(object);
    } else {
        const QJsonValue configs = object.value(QLatin1String("nodeConfig"));
        if (configs.isArray()) {
            const QJsonArray array = configs.toArray();
            for (const QJsonValue &element : array)
                if (element.isObject())
                    processNodeConfig(element.toObject());
        }
        const QJsonValue format = object.value(QLatin1String("outDataFormat"));
        if (format.isString())
            m_hub->m_outDataFormat = format.toString();
    }
}

void RtlsSvc::handleResponse(const QString &response, const QJsonObject &object)
{
    const QJsonValue id = object.value(QLatin1String("id"));
    if (response == QLatin1String("version")) {
        m_hub->m_masterId = serviceId(id);
    } else if (response == QLatin1String("getTdmaScheme")) {
        const int scheme = object.value(QLatin1String("scheme")).toInt(0);
        m_hub->m_tdmaScheme = scheme;
        emit m_hub->tdmaSchemeChanged(scheme);
    } else if (response == QLatin1String("getUwbAntConfig")) {
        emit m_hub->newAntennaDelays(serviceId(id), antennaDelay(object, QStringLiteral("txDelay")),
                                     antennaDelay(object, QStringLiteral("rxDelay")));
    } else if (response == QLatin1String("getSeat")) {
        setSeatOf(serviceId(id), RtlsNodeConfig::readInt(object.value(QLatin1String("seat"))));
    } else if (response == QLatin1String("tdmaDetails")) {
        const QJsonValue cluster = object.value(QLatin1String("clusterDetails"));
        const int seat = cluster.isObject()
            ? RtlsNodeConfig::readInt(cluster.toObject().value(QLatin1String("seat")))
            : -1;
        setSeatOf(serviceId(id), seat);
    } else if (response == QLatin1String("listAnchors")) {
        const QJsonValue anchors = object.value(QLatin1String("anchors"));
        if (anchors.isArray())
            removeStaleAnchors(anchors.toArray());
    }
}

void RtlsSvc::setSeatOf(uint64_t id, int seat)
{
    RtlsObject *node = m_hub->node(id);
    if (!node)
        return;
    node->setSeat(seat);
    emit m_hub->nodeUpdatedSignal(node);
}

void RtlsSvc::removeStaleAnchors(const QJsonArray &anchors)
{
    QList<uint64_t> stale = m_hub->m_anchors.keys();
    for (const QJsonValue &element : anchors) {
        const QJsonValue id = element.toObject().value(QLatin1String("id"));
        if (id.isString())
            stale.removeAll(serviceId(id));
    }
    // Views may still hold a stale record and are not told of its removal,
    // so it lives on, owned by the hub.
    for (uint64_t id : qAsConst(stale)) {
        if (RtlsObject *node = m_hub->m_anchors.take(id))
            node->setParent(m_hub);
        m_hub->m_nodes.remove(id);
    }
    if (!stale.isEmpty())
        emit m_hub->anchorListUpdated();
}

int RtlsSvc::processNodeList(const QJsonArray &array, const QString &mode)
{
    if (array.isEmpty())
        return 0;
    for (const QJsonValue &element : array)
        if (element.isObject())
            processNode(element.toObject(), mode);
    return 1;
}

int RtlsSvc::processNode(const QJsonObject &object, const QString &mode)
{
    if (!object.contains(QLatin1String("id")))
        return 0;
    const uint64_t id = serviceId(object.value(QLatin1String("id")));
    if (id == 0)
        return 0;

    RtlsObject *node = m_hub->node(id);
    const bool isNew = node == nullptr;
    if (isNew)
        node = new RtlsObject(id);

    if (node->flags() & Comm::kFlagPushPosition) {
        // Only the axes the saved record knows are pushed: an axis it does
        // not know would go out as "auto" over what the master has learnt.
        // A position the master lists already is not written again.
        const uint32_t known = node->hasPos() ? node->pos()->flags() & Rtls::kPosXYZ : 0;
        if (known && !listingHolds(node->pos(), object))
            m_hub->setAnchorPosition(id, known);
        node->setFlags(node->flags() & ~Comm::kFlagPushPosition);
    }
    node->updateFromJson(object);
    if (!mode.isEmpty() && node->category().isEmpty()) {
        node->setMode(mode);
        node->setCategory(mode);
    }
    // Reading the position's flags must not create a record for a node that
    // reported none.
    if (node->hasPos() && node->pos()->flags() == 0)
        m_hub->getPosition(id);

    const bool isAnchor = node->mode() == QLatin1String("anchor");
    if (!isNew) {
        emit m_hub->nodeUpdatedSignal(node);
        if (isAnchor)
            emit m_hub->anchorListUpdated();
        return 1;
    }

    m_hub->m_nodes.insert(id, node);
    if (isAnchor)
        m_hub->m_anchors.insert(id, node);
    else
        m_hub->m_nonAnchors.insert(id, node);
    if (!(node->msgFlags() & (Rtls::kMsgNodeOptions | Rtls::kMsgDetailsPending))) {
        node->setMsgFlags(Rtls::kMsgDetailsPending);
        m_hub->getDetails(id);
    }
    if (isAnchor) {
        m_hub->getDistances(id);
        emit m_hub->anchorListUpdated();
    }
    emit m_hub->nodeAddedSignal(node);
    return 1;
}

int RtlsSvc::processNodeConfig(const QJsonObject &object)
{
    const bool hasCfgId = object.contains(QLatin1String("cfgId"));
    if (!hasCfgId && !object.contains(QLatin1String("id")))
        return -1;
    // Masters write numbers as decimal strings too, as toJSON() does.
    const int number = RtlsNodeConfig::readInt(object.value(hasCfgId ? QLatin1String("cfgId") : QLatin1String("id")));
    RtlsNodeConfig *config = m_hub->findNodeConfig(number);
    if (!config) {
        config = new RtlsNodeConfig;
        // An entry named by "id" alone must keep its number, or it would
        // replace configuration 0 in the hub's list.
        config->setCfgId(number);
    }
    config->fromJSON(object);
    m_hub->updateNodeConfig(config);
    return 1;
}
