#pragma once

#include <QJsonObject>
#include <QString>

// One numbered node configuration set as the master holds it.
struct NodeConfig {
    int cfgId = 0;
    QString mode = QStringLiteral("twr");
    quint64 nodeMask = 0xDECAFFFFFFFFFFFFULL;
    int msecRefreshInterval = 100;
    int msecTsync = 120000;
    int secExpiration = 3600;
    int locEngine = 1;
    QString posFilter = QStringLiteral("ma");
    QString posFilterArg = QStringLiteral("3");
    int downloadRate = 1;

    QJsonObject toJson() const;
    // Applies the keys present in obj; returns false (and leaves *this
    // unchanged) when a value cannot be read or is out of range.
    bool applyJson(const QJsonObject &obj, QString *error);
    // Number of samples the position filter averages (1 = none).
    int filterDepth() const;
};
