#include "NodeConfig.h"

#include "JsonRead.h"

QJsonObject NodeConfig::toJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("cfgId"), QString::number(cfgId));
    o.insert(QStringLiteral("nodeOptions"), mode);
    o.insert(QStringLiteral("nodeMask"),
             QStringLiteral("0x") + QStringLiteral("%1").arg(nodeMask, 4, 16, QLatin1Char('0')).toUpper());
    o.insert(QStringLiteral("msecRefreshInterval"), QString::number(msecRefreshInterval));
    o.insert(QStringLiteral("msecTsync"), QString::number(msecTsync));
    o.insert(QStringLiteral("secExpiration"), QString::number(secExpiration));
    o.insert(QStringLiteral("locEngine"), QString::number(locEngine));
    if (locEngine > 0) {
        o.insert(QStringLiteral("posFilter"), posFilter);
        if (posFilter != QLatin1String("none"))
            o.insert(QStringLiteral("posFilterArg"), posFilterArg);
    }
    o.insert(QStringLiteral("downloadRate"), QString::number(downloadRate));
    return o;
}

bool NodeConfig::applyJson(const QJsonObject &obj, QString *error)
{
    NodeConfig next = *this;
    struct IntKey {
        const char *key;
        int *target;
        int min;
        int max;
    };
    const IntKey ints[] = {
        {"cfgId", &next.cfgId, 0, 255},
        {"msecRefreshInterval", &next.msecRefreshInterval, 10, 3600000},
        {"msecTsync", &next.msecTsync, 0, 86400000},
        {"secExpiration", &next.secExpiration, 0, 86400 * 365},
        {"locEngine", &next.locEngine, 0, 1},
        {"downloadRate", &next.downloadRate, 0, 1000},
    };
    for (const IntKey &k : ints) {
        const QString key = QLatin1String(k.key);
        if (!obj.contains(key))
            continue;
        qint64 v = 0;
        if (!JsonRead::integer(obj.value(key), &v) || v < k.min || v > k.max) {
            *error = QStringLiteral("invalid %1").arg(key);
            return false;
        }
        *k.target = int(v);
    }
    const QString modeKey = obj.contains(QStringLiteral("nodeOptions")) ? QStringLiteral("nodeOptions")
                                                                         : QStringLiteral("mode");
    if (obj.contains(modeKey)) {
        const QString m = obj.value(modeKey).toString();
        if (m != QLatin1String("twr") && m != QLatin1String("tdoa")) {
            *error = QStringLiteral("invalid %1").arg(modeKey);
            return false;
        }
        next.mode = m;
    }
    if (obj.contains(QStringLiteral("nodeMask"))) {
        quint64 mask = 0;
        if (!JsonRead::hexId(obj.value(QStringLiteral("nodeMask")), &mask)) {
            *error = QStringLiteral("invalid nodeMask");
            return false;
        }
        next.nodeMask = mask;
    }
    if (obj.contains(QStringLiteral("posFilter")))
        next.posFilter = obj.value(QStringLiteral("posFilter")).toString();
    if (obj.contains(QStringLiteral("posFilterArg")))
        next.posFilterArg = obj.value(QStringLiteral("posFilterArg")).toString();
    *this = next;
    return true;
}

int NodeConfig::filterDepth() const
{
    if (locEngine == 0 || posFilter != QLatin1String("ma"))
        return 1;
    bool ok = false;
    const int n = posFilterArg.toInt(&ok);
    return ok ? qBound(1, n, 100) : 1;
}
