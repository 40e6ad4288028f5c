#include "FirmwareSession.h"

#include "CommConstants.h"
#include "CommLog.h"
#include "RtlsConvert.h"
#include "SvcClient.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QJsonObject command(const QString &name)
{
    QJsonObject obj;
    obj.insert(QStringLiteral("command"), name);
    return obj;
}

// A version in a node object: a hexadecimal string ("0x020A") or a number.
uint32_t versionOf(const QJsonValue &value)
{
    if (value.isString())
        return Rtls::parseHex32(value.toString());
    const double number = value.toDouble(-1.0);
    return number >= 0.0 && number <= 4294967295.0 ? uint32_t(number) : 0;
}

} // namespace

FirmwareSession::FirmwareSession(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<FirmwareSession::NodeVersions>();
}

FirmwareSession::~FirmwareSession() = default;

void FirmwareSession::open(const QHostAddress &address, quint16 port)
{
    close();
    m_address = address;
    m_port = port;
    m_client = new SvcClient(address.toIPv4Address(), this, port);
    connect(m_client, &SvcClient::dataReady, this, &FirmwareSession::onLine);
    connect(m_client, &SvcClient::error, this, &FirmwareSession::onError);
}

void FirmwareSession::close()
{
    if (!m_client)
        return;
    m_client->disconnect(this);
    m_client->deleteLater();
    m_client = nullptr;
    m_descriptors.clear();
    m_asked.clear();
    m_errorReported = false;
    emit descriptorsChanged();
}

void FirmwareSession::send(const QJsonObject &cmd)
{
    if (!m_client)
        return;
    const QByteArray line = QJsonDocument(cmd).toJson(QJsonDocument::Compact);
    emit logLine(QStringLiteral("Sending: ") + QString::fromUtf8(line));
    m_client->write(line);
}

void FirmwareSession::listFwDesc()
{
    send(command(QStringLiteral("listFwDesc")));
}

void FirmwareSession::saveFwDescList()
{
    send(command(QStringLiteral("saveFwDescList")));
}

void FirmwareSession::checkFwUpdate()
{
    send(command(QStringLiteral("checkFwUpdate")));
}

void FirmwareSession::removeFwDesc(int slot)
{
    QJsonObject cmd = command(QStringLiteral("removeFwDesc"));
    cmd.insert(QStringLiteral("id"), slot);
    send(cmd);
}

void FirmwareSession::enableFwDesc(int slot, bool enable)
{
    QJsonObject cmd = command(QStringLiteral("enableFwDesc"));
    cmd.insert(QStringLiteral("id"), slot);
    cmd.insert(QStringLiteral("enable"), enable);
    send(cmd);
}

void FirmwareSession::bootFwDesc(int slot)
{
    QJsonObject cmd = command(QStringLiteral("bootFwDesc"));
    cmd.insert(QStringLiteral("id"), slot);
    send(cmd);
}

void FirmwareSession::readVersions()
{
    m_asked.clear();
    send(command(QStringLiteral("listAnchors")));
    send(command(QStringLiteral("listTags")));
}

void FirmwareSession::onLine(const QByteArray &line)
{
    m_errorReported = false;
    if (line.contains(Comm::kPingResponse))
        return;
    emit logLine(QStringLiteral("Received: ") + QString::fromUtf8(line));
    const QJsonObject answer = QJsonDocument::fromJson(line).object();
    const QString response = answer.value(QLatin1String("response")).toString();
    if (response == QLatin1String("error")) {
        emit commandFailed(answer.value(QLatin1String("command")).toString(),
                           answer.value(QLatin1String("error")).toString());
        return;
    }
    const QJsonValue table = answer.value(QLatin1String("fwDesc"));
    if (table.isArray()) {
        m_descriptors = FwDescriptor::listFromJson(table.toArray());
        emit descriptorsChanged();
        return;
    }
    if (response == QLatin1String("saveFwDescList") || response == QLatin1String("checkFwUpdate")) {
        emit commandDone(response);
        return;
    }
    if (response == QLatin1String("listAnchors")) {
        requestDetails(answer.value(QLatin1String("anchors")).toArray());
        return;
    }
    if (response == QLatin1String("listTags")) {
        requestDetails(answer.value(QLatin1String("tags")).toArray());
        return;
    }
    if (response == QLatin1String("getDetails")) {
        NodeVersions v;
        v.id = Rtls::parseHex64(answer.value(QLatin1String("id")).toString());
        if (v.id == 0)
            return;
        v.name = answer.value(QLatin1String("name")).toString();
        v.mode = answer.value(QLatin1String("mode")).toString();
        v.hardware = versionOf(answer.value(QLatin1String("hwVersion")));
        v.loader = versionOf(answer.value(QLatin1String("ldrVersion")));
        v.firmware = versionOf(answer.value(QLatin1String("fwVersion")));
        emit nodeVersions(v);
    }
}

void FirmwareSession::requestDetails(const QJsonArray &nodes)
{
    for (const QJsonValue &value : nodes) {
        const QString idText = value.toObject().value(QLatin1String("id")).toString();
        const uint64_t id = Rtls::parseHex64(idText);
        if (id == 0 || m_asked.contains(id))
            continue;
        m_asked.insert(id);
        QJsonObject cmd = command(QStringLiteral("getDetails"));
        cmd.insert(QStringLiteral("id"), Rtls::hexText(id));
        send(cmd);
    }
}

void FirmwareSession::onError(unsigned int, int, const QString &message)
{
    // The channel retries by itself; one report until it works again.
    if (m_errorReported)
        return;
    m_errorReported = true;
    const QString text = tr("Connection to %1:%2 failed: %3").arg(m_address.toString()).arg(m_port).arg(message);
    qCWarning(lcComm).noquote() << text;
    emit logLine(text);
    emit connectionFailed(text);
}
