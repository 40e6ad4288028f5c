#include "WriteCheck.h"

#include "CalibrationConstants.h"
#include "CommConstants.h"
#include "RtlsConvert.h"
#include "RtlsModelConstants.h"
#include "RtlsNodeConfig.h"
#include "SentrovaInterface.h"
#include "ToolsLog.h"

#include <QJsonArray>
#include <QTimer>

#include <cmath>

namespace {

// Coordinates go on the wire rounded to millimetres.
constexpr double kPositionTolerance = 0.0015;

using Rtls::key;

QString mm(double v)
{
    return QString::number(v, 'f', 3);
}

// A configuration value as text, whatever JSON type the master used.
QString configText(const QJsonValue &v)
{
    if (v.isString())
        return v.toString();
    if (v.isDouble())
        return QString::number(v.toDouble(), 'g', 15);
    if (v.isBool())
        return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    return QString();
}

QString configSummary(const QJsonObject &c)
{
    QString text = QStringLiteral("%1, %2 ms, engine %3")
                       .arg(configText(c.value(key("nodeOptions"))), configText(c.value(key("msecRefreshInterval"))),
                            configText(c.value(key("locEngine"))));
    if (c.contains(key("posFilter")))
        text += QStringLiteral(", filter %1").arg(configText(c.value(key("posFilter"))));
    if (c.contains(key("posFilterArg")))
        text += QStringLiteral(" %1").arg(configText(c.value(key("posFilterArg"))));
    return text;
}

} // namespace

WriteCheck::WriteCheck(SentrovaInterface *hub, QObject *parent)
    : QObject(parent), m_hub(hub), m_timeoutMs(Calib::kWriteCheckTimeoutMs)
{
    connect(hub, &SentrovaInterface::newAntennaDelays, this, &WriteCheck::delaysReported);
    connect(hub, &SentrovaInterface::svcDataReceived, this, &WriteCheck::serviceData);
    connect(hub, &SentrovaInterface::tdmaSchemeChanged, this, &WriteCheck::schemeReported);
}

QString WriteCheck::delaysKey(uint64_t id)
{
    return QStringLiteral("delays:") + Rtls::hexId(id & Comm::kServiceIdMask);
}

QString WriteCheck::positionKey(uint64_t id)
{
    return QStringLiteral("position:") + Rtls::hexId(id & Comm::kServiceIdMask);
}

QString WriteCheck::nodeConfigKey(int cfgId)
{
    return QStringLiteral("config:%1").arg(cfgId);
}

QString WriteCheck::tdmaSchemeKey()
{
    return QStringLiteral("scheme");
}

void WriteCheck::expectDelays(uint64_t id, uint16_t tx, uint16_t rx)
{
    Pending p;
    p.id = id & Comm::kServiceIdMask;
    p.tx = tx;
    p.rx = rx;
    p.entry.expected = QStringLiteral("TX %1, RX %2").arg(tx).arg(rx);
    start(delaysKey(id), p);
    m_hub->getAntennaDelays(id);
}

void WriteCheck::expectPosition(uint64_t id, uint32_t axes, uint32_t known, double x, double y, double z)
{
    Pending p;
    p.id = id & Comm::kServiceIdMask;
    p.axes = axes & Rtls::kPosXYZ;
    p.known = known & p.axes;
    p.xyz[0] = x;
    p.xyz[1] = y;
    p.xyz[2] = z;
    QStringList parts;
    const char *names[3] = {"x", "y", "z"};
    const auto &bits = Rtls::kPosAxis;
    for (int i = 0; i < 3; ++i)
        if (p.axes & bits[i])
            parts.append(QStringLiteral("%1 %2").arg(QLatin1String(names[i]),
                                                     p.known & bits[i] ? mm(p.xyz[i]) : QStringLiteral("auto")));
    p.entry.expected = parts.join(QStringLiteral(", "));
    start(positionKey(id), p);
    m_hub->getPosition(id);
}

void WriteCheck::expectNodeConfig(const QJsonObject &sent)
{
    Pending p;
    p.config = sent;
    p.config.remove(key("command"));
    p.entry.expected = configSummary(p.config);
    start(nodeConfigKey(RtlsNodeConfig::readInt(sent.value(key("cfgId")))), p);
    m_hub->getNodeConfigList();
}

void WriteCheck::expectTdmaScheme(int scheme)
{
    Pending p;
    p.scheme = scheme;
    p.entry.expected = QStringLiteral("scheme %1").arg(scheme);
    start(tdmaSchemeKey(), p);
    m_hub->getTdmaScheme();
}

QString WriteCheck::statusText(const QString &key) const
{
    if (!m_entries.contains(key))
        return QString();
    const Entry e = m_entries.value(key);
    switch (e.state) {
    case State::Confirmed:
        return tr("\u2714 holds %1").arg(e.held);
    case State::Refused:
        return tr("\u2717 holds %1 (written: %2)").arg(e.held, e.expected);
    case State::NoAnswer:
        return tr("\u2717 no answer (written: %1)").arg(e.expected);
    case State::Pending:
        break;
    }
    return tr("\u2026 checking %1").arg(e.expected);
}

QColor WriteCheck::statusColour(const QString &key) const
{
    switch (m_entries.value(key).state) {
    case State::Confirmed:
        return QColor(Qt::darkGreen);
    case State::Pending:
        return QColor(Qt::black);
    case State::Refused:
    case State::NoAnswer:
        break;
    }
    return QColor(Qt::red);
}

void WriteCheck::start(const QString &k, Pending pending)
{
    pending.generation = ++m_generation;
    pending.entry.state = State::Pending;
    m_pending.insert(k, pending);
    m_entries.insert(k, pending.entry);
    emit progress(k);
    const quint64 generation = pending.generation;
    QTimer::singleShot(m_timeoutMs, this, [this, k, generation] {
        const auto it = m_pending.find(k);
        if (it == m_pending.end() || it->generation != generation)
            return;
        Entry e = it->entry;
        m_pending.erase(it);
        e.state = e.held.isEmpty() ? State::NoAnswer : State::Refused;
        m_entries.insert(k, e);
        qCWarning(lcTools).noquote() << "write not confirmed:" << k << statusText(k);
        emit checked(k, false, e.held);
    });
}

void WriteCheck::settle(const QString &k, bool matches, const QString &held)
{
    const auto it = m_pending.find(k);
    if (it == m_pending.end())
        return;
    it->entry.held = held;
    if (!matches) {
        m_entries.insert(k, it->entry);
        emit progress(k);
        return;
    }
    Entry e = it->entry;
    e.state = State::Confirmed;
    m_pending.erase(it);
    m_entries.insert(k, e);
    emit checked(k, true, held);
}

void WriteCheck::delaysReported(uint64_t id, uint16_t tx, uint16_t rx)
{
    const QString k = delaysKey(id);
    const auto it = m_pending.constFind(k);
    if (it == m_pending.constEnd())
        return;
    settle(k, tx == it->tx && rx == it->rx, QStringLiteral("TX %1, RX %2").arg(tx).arg(rx));
}

void WriteCheck::serviceData(const QJsonObject &obj)
{
    if (m_pending.isEmpty())
        return;
    const QJsonValue coordinates = obj.value(key("coordinates"));
    if (coordinates.isObject() && obj.value(key("id")).isString())
        checkPosition(Rtls::parseHex64(obj.value(key("id")).toString()), coordinates.toObject());
    const QJsonValue configs = obj.value(key("nodeConfig"));
    if (configs.isArray()) {
        const QJsonArray array = configs.toArray();
        for (const QJsonValue &c : array)
            if (c.isObject())
                checkNodeConfig(c.toObject());
    }
}

void WriteCheck::checkPosition(uint64_t id, const QJsonObject &coordinates)
{
    const QString k = positionKey(id);
    const auto it = m_pending.constFind(k);
    if (it == m_pending.constEnd())
        return;
    const char *names[3] = {"x", "y", "z"};
    const auto &bits = Rtls::kPosAxis;
    bool matches = true;
    QStringList held;
    for (int i = 0; i < 3; ++i) {
        const QJsonValue v = coordinates.value(key(names[i]));
        const bool present = v.isDouble();
        held.append(QStringLiteral("%1 %2").arg(QLatin1String(names[i]), present ? mm(v.toDouble()) : QStringLiteral("auto")));
        if (!(it->axes & bits[i]))
            continue;
        if (it->known & bits[i])
            matches = matches && present && std::fabs(v.toDouble() - it->xyz[i]) <= kPositionTolerance;
        else
            matches = matches && !present;
    }
    settle(k, matches, held.join(QStringLiteral(", ")));
}

void WriteCheck::checkNodeConfig(const QJsonObject &config)
{
    const QString k = nodeConfigKey(RtlsNodeConfig::readInt(config.value(key("cfgId"))));
    const auto it = m_pending.constFind(k);
    if (it == m_pending.constEnd())
        return;
    bool matches = true;
    for (auto field = it->config.constBegin(); field != it->config.constEnd(); ++field) {
        const QJsonValue held = config.value(field.key());
        if (field.key() == QLatin1String("nodeMask"))
            matches = matches && Rtls::parseHex64(configText(held)) == Rtls::parseHex64(configText(field.value()));
        else
            matches = matches && configText(held) == configText(field.value());
    }
    settle(k, matches, configSummary(config));
}

void WriteCheck::schemeReported(int scheme)
{
    const auto it = m_pending.constFind(tdmaSchemeKey());
    if (it == m_pending.constEnd())
        return;
    settle(tdmaSchemeKey(), scheme == it->scheme, QStringLiteral("scheme %1").arg(scheme));
}
