#include "MqttConfig.h"

#include "RtlsConvert.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QJsonValue>
#include <QSysInfo>

namespace {

// MQTT allows client ids of at most 23 bytes on strict brokers; mosquitto
// and every common broker accept much longer ones, so only the length that
// keeps the id readable in broker logs is bounded.
constexpr int kMaxGeneratedIdLength = 64;
// Positions per second above this are no limit at all for a tag.
constexpr double kMaxRateLimit = 1000.0;

using Rtls::key;

void note(QStringList *problems, const QString &line)
{
    if (problems)
        problems->append(line);
}

template<typename Apply>
void readString(const QJsonObject &obj, const char *name, QStringList *problems, Apply apply)
{
    const QJsonValue value = obj.value(key(name));
    if (value.isUndefined())
        return;
    if (!value.isString()) {
        note(problems, QStringLiteral("Settings: mqtt \"%1\" is not a text, ignored").arg(key(name)));
        return;
    }
    apply(value.toString());
}

void readBool(const QJsonObject &obj, const char *name, QStringList *problems, bool *out)
{
    const QJsonValue value = obj.value(key(name));
    if (value.isUndefined())
        return;
    if (!value.isBool()) {
        note(problems, QStringLiteral("Settings: mqtt \"%1\" is not true or false, ignored").arg(key(name)));
        return;
    }
    *out = value.toBool();
}

} // namespace

MqttConfig MqttConfig::fromJson(const QJsonObject &obj, QStringList *problems)
{
    return fromJson(obj, problems, MqttConfig());
}

MqttConfig MqttConfig::fromJson(const QJsonObject &obj, QStringList *problems, const MqttConfig &current)
{
    MqttConfig config = current;
    readBool(obj, "enabled", problems, &config.enabled);
    readString(obj, "host", problems, [&](const QString &text) {
        if (text.trimmed().isEmpty())
            note(problems, QStringLiteral("Settings: mqtt \"host\" is empty, using %1").arg(config.host));
        else
            config.host = text.trimmed();
    });

    int port = config.port;
    const QString portLine = Rtls::readIntKey(obj, "port", 1, 65535, &port, QStringLiteral("Settings: mqtt"));
    if (!portLine.isEmpty())
        note(problems, portLine);
    config.port = quint16(port);

    readString(obj, "clientId", problems, [&](const QString &text) { config.clientId = text.trimmed(); });
    readString(obj, "username", problems, [&](const QString &text) { config.username = text; });
    readString(obj, "password", problems, [&](const QString &text) { config.password = text; });
    readBool(obj, "tls", problems, &config.tls);
    readString(obj, "caFile", problems, [&](const QString &text) { config.caFile = text.trimmed(); });
    readString(obj, "topicPrefix", problems, [&](const QString &text) {
        QString prefix;
        if (normalisePrefix(text, &prefix))
            config.topicPrefix = prefix;
        else
            note(problems, QStringLiteral("Settings: mqtt \"topicPrefix\" %1 cannot start a topic "
                                          "(wildcards or empty), using %2")
                               .arg(text, config.topicPrefix));
    });

    const QJsonValue rate = obj.value(key("rateLimit"));
    if (!rate.isUndefined()) {
        const double r = rate.toDouble(-1.0);
        if (rate.isDouble() && r >= 0.0 && r <= kMaxRateLimit)
            config.rateLimit = r;
        else
            note(problems, QStringLiteral("Settings: mqtt \"rateLimit\" is not a number from 0 to %1, keeping %2")
                               .arg(kMaxRateLimit)
                               .arg(config.rateLimit));
    }
    return config;
}

QJsonObject MqttConfig::toJson() const
{
    return QJsonObject{{key("enabled"), enabled},
                       {key("host"), host},
                       {key("port"), int(port)},
                       {key("clientId"), clientId},
                       {key("username"), username},
                       {key("password"), password},
                       {key("tls"), tls},
                       {key("caFile"), caFile},
                       {key("topicPrefix"), topicPrefix},
                       {key("rateLimit"), rateLimit}};
}

QString MqttConfig::effectiveClientId() const
{
    if (!clientId.isEmpty())
        return clientId;
    const QString id = QStringLiteral("sentrova-manager-%1-%2")
                           .arg(QSysInfo::machineHostName())
                           .arg(QCoreApplication::applicationPid());
    return id.left(kMaxGeneratedIdLength);
}

bool MqttConfig::normalisePrefix(const QString &text, QString *prefix)
{
    QString p = text.trimmed();
    while (p.endsWith(QLatin1Char('/')))
        p.chop(1);
    if (p.isEmpty() || p.contains(QLatin1Char('+')) || p.contains(QLatin1Char('#'))
        || p.contains(QChar(0)))
        return false;
    *prefix = p;
    return true;
}

bool MqttConfig::parseBroker(const QString &text, QString *host, quint16 *port)
{
    const QString t = text.trimmed();
    QString h = t;
    QString portText;
    if (t.startsWith(QLatin1Char('['))) {
        const int close = t.indexOf(QLatin1Char(']'));
        if (close < 0)
            return false;
        h = t.mid(1, close - 1);
        const QString rest = t.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':')))
                return false;
            portText = rest.mid(1);
            if (portText.isEmpty())
                return false;
        }
    } else if (t.count(QLatin1Char(':')) == 1) {
        const int colon = t.indexOf(QLatin1Char(':'));
        h = t.left(colon);
        portText = t.mid(colon + 1);
        if (portText.isEmpty())
            return false;
    }
    // A bare IPv6 address has several colons and no port.
    if (h.isEmpty() || h.contains(QLatin1Char(' ')))
        return false;
    quint16 p = kDefaultPort;
    if (!portText.isEmpty()) {
        bool ok = false;
        const uint value = portText.toUInt(&ok);
        if (!ok || value < 1 || value > 65535)
            return false;
        p = quint16(value);
    }
    *host = h;
    *port = p;
    return true;
}

bool MqttConfig::sameConnection(const MqttConfig &other) const
{
    return host == other.host && port == other.port && clientId == other.clientId
        && username == other.username && password == other.password && tls == other.tls
        && caFile == other.caFile && topicPrefix == other.topicPrefix;
}

bool MqttConfig::operator==(const MqttConfig &other) const
{
    return enabled == other.enabled && sameConnection(other) && rateLimit == other.rateLimit;
}
