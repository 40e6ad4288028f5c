#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QString>

// The manager's copy of one numbered node configuration held by the masters
// (ranging mode, intervals, expiry, location engine, filter, download rate).
// Every setter signals only a real change, so views can bind to it.
class RtlsNodeConfig : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int cfgId READ cfgId WRITE setCfgId NOTIFY cfgIdChanged)
    Q_PROPERTY(QString mode READ mode WRITE setMode NOTIFY modeChanged)
    Q_PROPERTY(qulonglong nodeMask READ nodeMask WRITE setNodeMask NOTIFY nodeMaskChanged)
    Q_PROPERTY(int msecRefreshInterval READ msecRefreshInterval WRITE setMsecRefreshInterval
                   NOTIFY msecRefreshIntervalChanged)
    Q_PROPERTY(int msecTsync READ msecTsync WRITE setMsecTsync NOTIFY msecTsyncChanged)
    Q_PROPERTY(int secExpiration READ secExpiration WRITE setSecExpiration NOTIFY secExpirationChanged)
    Q_PROPERTY(int locEngine READ locEngine WRITE setLocEngine NOTIFY locEngineChanged)
    Q_PROPERTY(QString posFilter READ posFilter WRITE setPosFilter NOTIFY posFilterChanged)
    Q_PROPERTY(QString posFilterArg READ posFilterArg WRITE setPosFilterArg NOTIFY posFilterArgChanged)
    Q_PROPERTY(int downloadRate READ downloadRate WRITE setDownloadRate NOTIFY downloadRateChanged)

public:
    static constexpr qulonglong kDefaultNodeMask = 0xDECAFFFFFFFFFFFFULL;

    explicit RtlsNodeConfig(QObject *parent = nullptr);

    int cfgId() const { return m_cfgId; }
    QString mode() const { return m_mode; }
    qulonglong nodeMask() const { return m_nodeMask; }
    int msecRefreshInterval() const { return m_msecRefreshInterval; }
    int msecTsync() const { return m_msecTsync; }
    int secExpiration() const { return m_secExpiration; }
    int locEngine() const { return m_locEngine; }
    QString posFilter() const { return m_posFilter; }
    QString posFilterArg() const { return m_posFilterArg; }
    int downloadRate() const { return m_downloadRate; }

    virtual QJsonObject toJSON() const;
    virtual void fromJSON(const QJsonObject &obj);

    // A JSON number (its integer part) or a decimal string; anything else
    // gives `fallback`. Masters send configuration numbers in both forms.
    static int readInt(const QJsonValue &value, int fallback = 0);

signals:
    void cfgIdChanged(int cfgId);
    void modeChanged(QString mode);
    void nodeMaskChanged(qulonglong nodeMask);
    void msecRefreshIntervalChanged(int msecRefreshInterval);
    void msecTsyncChanged(int msecTsync);
    void secExpirationChanged(int secExpiration);
    void locEngineChanged(bool locEngine);
    void posFilterChanged(QString posFilter);
    void posFilterArgChanged(QString posFilterArg);
    void downloadRateChanged(int downloadRate);

public slots:
    void setCfgId(int cfgId);
    void setMode(QString mode);
    void setNodeMask(qulonglong nodeMask);
    void setMsecRefreshInterval(int msecRefreshInterval);
    void setMsecTsync(int msecTsync);
    void setSecExpiration(int secExpiration);
    void setLocEngine(int locEngine);
    void setPosFilter(QString posFilter);
    void setPosFilterArg(QString posFilterArg);
    void setDownloadRate(int downloadRate);

private:
    int m_cfgId = 0;
    QString m_mode = QStringLiteral("twr");
    qulonglong m_nodeMask = kDefaultNodeMask;
    int m_msecRefreshInterval = 100;
    int m_msecTsync = 120000;
    int m_secExpiration = 3600;
    int m_locEngine = 1;
    QString m_posFilter = QStringLiteral("ma");
    QString m_posFilterArg = QStringLiteral("3");
    int m_downloadRate = 1;
};
