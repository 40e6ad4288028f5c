#include "SentrovaInterface.h"

#include "RtlsMetaTypes.h"
#include "RtlsObject.h"
#include "SentrovaLog.h"

SentrovaInterface *SentrovaInterface::instance()
{
    static SentrovaInterface *hub = new SentrovaInterface;
    return hub;
}

SentrovaInterface::SentrovaInterface()
{
    registerRtlsMetaTypes();
    RtlsHubLink::setCurrent(this);
}

SentrovaInterface::~SentrovaInterface() = default;

RtlsNodeConfig *SentrovaInterface::findNodeConfig(int) const
{
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

void SentrovaInterface::requestDetails(uint64_t id)
{
    getDetails(id);
}

int SentrovaInterface::send(const QJsonObject &)
{
    return 0;
}

int SentrovaInterface::updateNodeConfig(RtlsNodeConfig *)
{
    return -1;
}

void SentrovaInterface::toggleRtlsLsDisplayMessages()
{
}

void SentrovaInterface::toggleRtlsSvcDisplayMessages()
{
}

void SentrovaInterface::toggleLsCapture()
{
}

void SentrovaInterface::scanMaster()
{
}

void SentrovaInterface::resetMaster()
{
}

void SentrovaInterface::resetNode(uint64_t)
{
}

void SentrovaInterface::discoverLegacy()
{
}

void SentrovaInterface::checkFwUpdate()
{
}

void SentrovaInterface::forceFwUpdate(uint64_t)
{
}

void SentrovaInterface::scanInfra()
{
}

void SentrovaInterface::scanInfraWithCount(int)
{
}

void SentrovaInterface::getVersion()
{
}

void SentrovaInterface::listTags()
{
}

void SentrovaInterface::listAnchors()
{
}

void SentrovaInterface::autoPosApply()
{
}

void SentrovaInterface::setNewSess()
{
}

void SentrovaInterface::removeAnchors()
{
}

void SentrovaInterface::removeAnchorCoordinates()
{
}

void SentrovaInterface::getDetails(uint64_t)
{
}

void SentrovaInterface::getRoles(uint64_t)
{
}

void SentrovaInterface::getParent(uint64_t)
{
}

void SentrovaInterface::getTdmaDetails(uint64_t)
{
}

void SentrovaInterface::getStats(uint64_t)
{
}

void SentrovaInterface::getDistances(uint64_t)
{
}

void SentrovaInterface::getPosition(uint64_t)
{
}

void SentrovaInterface::setRoles(uint64_t, uint32_t)
{
}

void SentrovaInterface::addRoles(uint64_t, uint32_t)
{
}

void SentrovaInterface::removeRoles(uint64_t, uint32_t)
{
}

void SentrovaInterface::getSeat(uint64_t)
{
}

void SentrovaInterface::setSeat(uint64_t, uint32_t)
{
}

void SentrovaInterface::getFreeMask(uint64_t)
{
}

void SentrovaInterface::setSensorOutput(uint64_t, QString)
{
}

void SentrovaInterface::getAntennaDelays(uint64_t)
{
}

void SentrovaInterface::setAntennaDelays(uint64_t, uint16_t, uint16_t)
{
}

void SentrovaInterface::getTdmaScheme()
{
}

void SentrovaInterface::setTdmaScheme(int)
{
}

void SentrovaInterface::getMode(uint64_t)
{
}

void SentrovaInterface::setMode(uint64_t, QString)
{
}

void SentrovaInterface::setUwbChannel(int)
{
}

void SentrovaInterface::sendUserText(uint64_t, int, QString)
{
}

void SentrovaInterface::setGroup(uint64_t, int)
{
}

void SentrovaInterface::setParentAnchor(uint64_t, QString)
{
}

void SentrovaInterface::getOutDataFormat()
{
}

void SentrovaInterface::setOutDataFormat(QString)
{
}

void SentrovaInterface::setAnchorPosition(uint64_t)
{
}

void SentrovaInterface::setAnchorPosition(uint64_t, uint32_t)
{
}

void SentrovaInterface::setDigitalIO(uint64_t, uint8_t, uint8_t, uint8_t, int, int)
{
}

void SentrovaInterface::getToFCompensation()
{
}

void SentrovaInterface::setToFCompensation(double)
{
}

void SentrovaInterface::pauseLs()
{
}

void SentrovaInterface::getAllDetails()
{
}

void SentrovaInterface::getAllDistances()
{
}

RtlsNodeConfig * SentrovaInterface::getNodeConfig(int)
{ return nullptr;
}

int SentrovaInterface::setNodeConfig(RtlsNodeConfig *)
{ return 0;
}

int SentrovaInterface::countNodeConfigs()
{ return 0;
}

void SentrovaInterface::deleteNodeConfig()
{
}

void SentrovaInterface::getNodeConfigList()
{
}

bool SentrovaInterface::externalEngine()
{ return false;
}

void SentrovaInterface::useExternalEngine(bool)
{
}

void SentrovaInterface::sendJsonString(QString)
{
}

void SentrovaInterface::sendJson(QJsonObject)
{
}

void SentrovaInterface::recording(int)
{
}

QJsonObject SentrovaInterface::toJSON(QJsonObject rootObj)
{ return rootObj;
}

void SentrovaInterface::fromJSON(QJsonObject)
{
}

void SentrovaInterface::init()
{
}

void SentrovaInterface::checkActivity()
{
}
