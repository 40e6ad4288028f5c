#include "RtlsNodeConfig.h"

#include "RtlsConvert.h"

#include <cmath>
#include <limits>

namespace {

QString decimal(int value)
{
    return QString::number(value);
}

// Doubles outside int's range would be undefined behaviour to convert.
int truncateToInt(double value, int fallback)
{
    if (std::isnan(value) || value < double(std::numeric_limits<int>::min())
        || value > double(std::numeric_limits<int>::max()))
        return fallback;
    return static_cast<int>(value);
}

} // namespace

RtlsNodeConfig::RtlsNodeConfig(QObject *parent) : QObject(parent)
{
}

int RtlsNodeConfig::readInt(const QJsonValue &value, int fallback)
{
    if (value.isDouble())
        return truncateToInt(value.toDouble(), fallback);
    if (value.isString()) {
        bool ok = false;
        const int parsed = value.toString().trimmed().toInt(&ok, 10);
        return ok ? parsed : fallback;
    }
    return fallback;
}

QJsonObject RtlsNodeConfig::toJSON() const
{
    QJsonObject obj;
    obj.insert(QStringLiteral("cfgId"), decimal(m_cfgId));
    obj.insert(QStringLiteral("nodeOptions"), m_mode);
    obj.insert(QStringLiteral("nodeMask"), Rtls::hexText(m_nodeMask));
    obj.insert(QStringLiteral("msecRefreshInterval"), decimal(m_msecRefreshInterval));
    obj.insert(QStringLiteral("msecTsync"), decimal(m_msecTsync));
    obj.insert(QStringLiteral("secExpiration"), decimal(m_secExpiration));
    obj.insert(QStringLiteral("locEngine"), decimal(m_locEngine));
    if (m_locEngine > 0) {
        obj.insert(QStringLiteral("posFilter"), m_posFilter);
        if (m_posFilter != QLatin1String("none"))
            obj.insert(QStringLiteral("posFilterArg"), m_posFilterArg);
    }
    obj.insert(QStringLiteral("downloadRate"), decimal(m_downloadRate));
    return obj;
}

void RtlsNodeConfig::fromJSON(const QJsonObject &obj)
{
    if (obj.contains(QLatin1String("cfgId")))
        setCfgId(readInt(obj.value(QLatin1String("cfgId"))));
    if (obj.contains(QLatin1String("nodeOptions")))
        setMode(obj.value(QLatin1String("nodeOptions")).toString());
    else if (obj.contains(QLatin1String("mode")))
        setMode(obj.value(QLatin1String("mode")).toString());
    if (obj.contains(QLatin1String("nodeMask")))
        setNodeMask(Rtls::parseHex64(obj.value(QLatin1String("nodeMask")).toString()));
    if (obj.contains(QLatin1String("msecRefreshInterval")))
        setMsecRefreshInterval(readInt(obj.value(QLatin1String("msecRefreshInterval"))));
    if (obj.contains(QLatin1String("msecTsync")))
        setMsecTsync(readInt(obj.value(QLatin1String("msecTsync"))));
    if (obj.contains(QLatin1String("secExpiration")))
        setSecExpiration(readInt(obj.value(QLatin1String("secExpiration"))));
    if (obj.contains(QLatin1String("locEngine")))
        setLocEngine(readInt(obj.value(QLatin1String("locEngine"))));
    if (obj.contains(QLatin1String("posFilter")))
        setPosFilter(obj.value(QLatin1String("posFilter")).toString());
    if (obj.contains(QLatin1String("posFilterArg")))
        setPosFilterArg(obj.value(QLatin1String("posFilterArg")).toString());
    if (obj.contains(QLatin1String("downloadRate"))) {
        // Masters send it as a decimal string, as toJSON() writes it.
        setDownloadRate(readInt(obj.value(QLatin1String("downloadRate")), 1));
    }
}

void RtlsNodeConfig::setCfgId(int cfgId)
{
    if (m_cfgId == cfgId)
        return;
    m_cfgId = cfgId;
    emit cfgIdChanged(cfgId);
}

void RtlsNodeConfig::setMode(QString mode)
{
    if (m_mode == mode)
        return;
    m_mode = mode;
    emit modeChanged(mode);
}

void RtlsNodeConfig::setNodeMask(qulonglong nodeMask)
{
    if (m_nodeMask == nodeMask)
        return;
    m_nodeMask = nodeMask;
    emit nodeMaskChanged(nodeMask);
}

void RtlsNodeConfig::setMsecRefreshInterval(int msecRefreshInterval)
{
    if (m_msecRefreshInterval == msecRefreshInterval)
        return;
    m_msecRefreshInterval = msecRefreshInterval;
    emit msecRefreshIntervalChanged(msecRefreshInterval);
}

void RtlsNodeConfig::setMsecTsync(int msecTsync)
{
    if (m_msecTsync == msecTsync)
        return;
    m_msecTsync = msecTsync;
    emit msecTsyncChanged(msecTsync);
}

void RtlsNodeConfig::setSecExpiration(int secExpiration)
{
    if (m_secExpiration == secExpiration)
        return;
    m_secExpiration = secExpiration;
    emit secExpirationChanged(secExpiration);
}

void RtlsNodeConfig::setLocEngine(int locEngine)
{
    if (m_locEngine == locEngine)
        return;
    m_locEngine = locEngine;
    emit locEngineChanged(locEngine != 0);
}

void RtlsNodeConfig::setPosFilter(QString posFilter)
{
    if (m_posFilter == posFilter)
        return;
    m_posFilter = posFilter;
    emit posFilterChanged(posFilter);
}

void RtlsNodeConfig::setPosFilterArg(QString posFilterArg)
{
    if (m_posFilterArg == posFilterArg)
        return;
    m_posFilterArg = posFilterArg;
    emit posFilterArgChanged(posFilterArg);
}

void RtlsNodeConfig::setDownloadRate(int downloadRate)
{
    if (m_downloadRate == downloadRate)
        return;
    m_downloadRate = downloadRate;
    emit downloadRateChanged(downloadRate);
}
