#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

// What the broker publisher needs to know: where the broker is, how to log
// in, and how to name and pace what it publishes. Kept in the settings
// document under "mqtt"; the settings panel and the command line change it.
class MqttConfig
{
public:
    static constexpr quint16 kDefaultPort = 1883;
    static constexpr char kDefaultHost[] = "localhost";
    static constexpr char kDefaultPrefix[] = "sentrova";

    bool enabled = false;
    QString host = QLatin1String(kDefaultHost);
    quint16 port = kDefaultPort;
    // Empty: a readable id made of the program name, the host name and the
    // process id, so that two managers never push each other off the broker.
    QString clientId;
    QString username;
    QString password;
    bool tls = false;
    // With TLS and no CA file the system's certificate store is used.
    QString caFile;
    QString topicPrefix = QLatin1String(kDefaultPrefix);
    // Most positions per second published for one tag; 0 publishes every report.
    double rateLimit = 0.0;

    // Reads the "mqtt" object over `current`; a key that is absent, of the
    // wrong type or with an unusable value keeps the current value (an
    // unusable one adds a line to *problems).
    static MqttConfig fromJson(const QJsonObject &obj, QStringList *problems, const MqttConfig &current);
    // The same over the defaults.
    static MqttConfig fromJson(const QJsonObject &obj, QStringList *problems = nullptr);
    QJsonObject toJson() const;

    // The client id given to the broker (clientId, or the generated one).
    QString effectiveClientId() const;

    // A prefix that can start a topic name: no wildcards, no NUL, no
    // trailing '/'. Returns false when the text cannot be one.
    static bool normalisePrefix(const QString &text, QString *prefix);

    // "host", "host:port", "[v6 address]:port"; false for an empty host or a
    // port outside 1..65535 (the outputs are then left alone).
    static bool parseBroker(const QString &text, QString *host, quint16 *port);

    // Whether a change from `other` needs a new connection to the broker.
    bool sameConnection(const MqttConfig &other) const;

    bool operator==(const MqttConfig &other) const;
    bool operator!=(const MqttConfig &other) const { return !(*this == other); }
};
