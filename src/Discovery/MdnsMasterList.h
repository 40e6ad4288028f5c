#pragma once

#include <QHostAddress>
#include <QString>
#include <QVector>

class QMDnsResponse;

// The masters that answered a multicast DNS question, as the firmware
// dialog lists them. A master's instance ("[sentrova:%08X%08X].<service>")
// names its SRV record, whose data holds the service port, and its A record,
// whose data holds the address; a master is listed once its address is
// known, with the service port until its SRV record says otherwise. The
// first address a master gives is kept.
class MdnsMasterList
{
public:
    struct Master
    {
        QString instance;
        // From the instance name; 0 when it carries none.
        quint64 id = 0;
        QHostAddress address;
        quint16 port = 0;
    };

    explicit MdnsMasterList(const QString &service, quint16 defaultPort);

    // Takes the records of one response; true when the list changed.
    bool add(const QMDnsResponse &response);
    void clear() { m_masters.clear(); }

    // Masters with a known address, in the order they first answered.
    QVector<Master> masters() const;

    // The id in "[sentrova:%08X%08X]" or "[%08X%08X]" at the start of an
    // instance name.
    static bool instanceId(const QString &instance, quint64 *id);

private:
    Master *find(const QString &instance);
    bool isInstance(const QString &name) const;

    QString m_suffix;
    quint16 m_defaultPort;
    QVector<Master> m_masters;
};
