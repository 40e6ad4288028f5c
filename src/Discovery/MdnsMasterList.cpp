#include "MdnsMasterList.h"

#include "DiscoveryConstants.h"
#include "QMDnsResponse.h"

#include <QRegularExpression>

namespace {

// SRV data: priority, weight, port (16 bits each), then the target.
constexpr int kSrvPortOffset = 4;

QString normalised(QString name)
{
    if (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    return name.toLower();
}

} // namespace

MdnsMasterList::MdnsMasterList(const QString &service, quint16 defaultPort)
    : m_suffix(QLatin1Char('.') + normalised(service))
    , m_defaultPort(defaultPort)
{
}

bool MdnsMasterList::instanceId(const QString &instance, quint64 *id)
{
    static const QRegularExpression pattern(QStringLiteral("^\\[(?:sentrova:)?([0-9A-Fa-f]{8})([0-9A-Fa-f]{8})\\]"));
    const QRegularExpressionMatch match = pattern.match(instance);
    if (!match.hasMatch())
        return false;
    *id = (match.captured(1).toULongLong(nullptr, 16) << 32) | match.captured(2).toULongLong(nullptr, 16);
    return true;
}

bool MdnsMasterList::isInstance(const QString &name) const
{
    const QString n = normalised(name);
    return n.size() > m_suffix.size() && n.endsWith(m_suffix);
}

MdnsMasterList::Master *MdnsMasterList::find(const QString &instance)
{
    const QString key = normalised(instance);
    for (Master &m : m_masters)
        if (normalised(m.instance) == key)
            return &m;
    Master m;
    m.instance = instance.endsWith(QLatin1Char('.')) ? instance.chopped(1) : instance;
    quint64 id = 0;
    if (instanceId(m.instance, &id))
        m.id = id;
    m.port = m_defaultPort;
    m_masters.append(m);
    return &m_masters.last();
}

bool MdnsMasterList::add(const QMDnsResponse &response)
{
    bool changed = false;
    for (const QMDnsResponse::Record &record : response.records()) {
        if (!isInstance(record.name))
            continue;
        if (record.type == Discovery::kTypeA && record.data.size() == 4) {
            const auto *d = reinterpret_cast<const uchar *>(record.data.constData());
            const QHostAddress address(quint32(d[0]) << 24 | quint32(d[1]) << 16 | quint32(d[2]) << 8 | d[3]);
            // A master answers on each interface a question reached it by,
            // with that interface's address: the first one stays, so that a
            // chosen master is not left for the same one at another address.
            Master *m = find(record.name);
            if (m->address.isNull()) {
                m->address = address;
                changed = true;
            }
        } else if (record.type == Discovery::kTypeSrv && record.data.size() >= kSrvPortOffset + 2) {
            const auto *d = reinterpret_cast<const uchar *>(record.data.constData()) + kSrvPortOffset;
            const quint16 port = quint16(d[0] << 8 | d[1]);
            Master *m = find(record.name);
            if (port != 0 && m->port != port) {
                m->port = port;
                changed = !m->address.isNull() || changed;
            }
        }
    }
    return changed;
}

QVector<MdnsMasterList::Master> MdnsMasterList::masters() const
{
    QVector<Master> known;
    for (const Master &m : m_masters)
        if (!m.address.isNull())
            known.append(m);
    return known;
}
