#pragma once

#include <QContiguousCache>
#include <QObject>
#include <QVector>

#include <cstdint>

// A node's health and time-synchronisation statistics, with a bounded
// history of the time-synchronisation values for plotting.
class RtlsObjectStats : public QObject
{
    Q_OBJECT
    Q_PROPERTY(uint32_t uptime READ uptime WRITE setUptime)
    Q_PROPERTY(uint32_t memFree READ memFree WRITE setMemFree)
    Q_PROPERTY(float cpuLoad READ cpuLoad WRITE setCpuLoad)
    Q_PROPERTY(uint32_t tdoaCnt READ tdoaCnt WRITE setTdoaCnt)
    Q_PROPERTY(uint32_t twrCnt READ twrCnt WRITE setTwrCnt)
    Q_PROPERTY(int32_t twrErr READ twrErr WRITE setTwrErr)
    Q_PROPERTY(uint32_t tsyncCnt READ tsyncCnt WRITE setTsyncCnt)
    Q_PROPERTY(double tsyncDrift READ tsyncDrift WRITE setTsyncDrift)
    Q_PROPERTY(int64_t tsyncErr READ tsyncErr WRITE setTsyncErr)
    Q_PROPERTY(double rawTsyncDrift READ rawTsyncDrift WRITE setRawTsyncDrift)
    Q_PROPERTY(int64_t rawTsyncErr READ rawTsyncErr WRITE setRawTsyncErr)
    Q_PROPERTY(int32_t reportsSent READ reportsSent WRITE setReportsSent)
    Q_PROPERTY(int32_t dwVBat READ dwVBat WRITE setDwVBat)
    Q_PROPERTY(int32_t dwTemp READ dwTemp WRITE setDwTemp)

public:
    explicit RtlsObjectStats(QObject *parent = nullptr);

    uint32_t uptime() const { return m_uptime; }
    uint32_t memFree() const { return m_memFree; }
    float cpuLoad() const { return m_cpuLoad; }
    uint32_t tdoaCnt() const { return m_tdoaCnt; }
    uint32_t twrCnt() const { return m_twrCnt; }
    int32_t twrErr() const { return m_twrErr; }
    uint32_t tsyncCnt() const { return m_tsyncCnt; }
    double tsyncDrift() const { return m_tsyncDrift; }
    int64_t tsyncErr() const { return m_tsyncErr; }
    double rawTsyncDrift() const { return m_rawTsyncDrift; }
    int64_t rawTsyncErr() const { return m_rawTsyncErr; }
    int32_t reportsSent() const { return m_reportsSent; }
    int32_t dwVBat() const { return m_dwVBat; }
    int32_t dwTemp() const { return m_dwTemp; }

    // Histories, oldest value first, at most kStatsHistoryLimit values each.
    QVector<double> tsyncCntHistory() const;
    QVector<double> tsyncDriftHistory() const;
    QVector<double> tsyncErrHistory() const;
    QVector<double> rawTsyncDriftHistory() const;
    QVector<double> rawTsyncErrHistory() const;

public slots:
    void clearHistory();
    void setUptime(uint32_t uptime);
    void setMemFree(uint32_t memFree);
    void setCpuLoad(float cpuLoad);
    void setTdoaCnt(uint32_t tdoaCnt);
    void setTwrCnt(uint32_t twrCnt);
    void setTwrErr(int32_t twrErr);
    // The history setters below also append to their history.
    void setTsyncCnt(uint32_t tsyncCnt);
    // Drift as a clock ratio (about 1.0) or an offset (about 0.0), stored
    // as the offset scaled by 10^12.
    void setTsyncDrift(double tsyncDrift);
    void setTsyncErr(int64_t tsyncErr);
    // Drift as a clock ratio, stored as (ratio - 1) scaled by 10^12.
    void setRawTsyncDrift(double rawTsyncDrift);
    void setRawTsyncErr(int64_t rawTsyncErr);
    void setReportsSent(int32_t reportsSent);
    void setDwVBat(int32_t dwVBat);
    void setDwTemp(int32_t dwTemp);

private:
    using History = QContiguousCache<double>;
    static QVector<double> toVector(const History &history);
    static void record(History &history, double value);

    uint32_t m_uptime = 0;
    uint32_t m_memFree = 0;
    float m_cpuLoad = 0.0f;
    uint32_t m_tdoaCnt = 0;
    uint32_t m_twrCnt = 0;
    int32_t m_twrErr = 0;
    uint32_t m_tsyncCnt = 0;
    double m_tsyncDrift = 0.0;
    int64_t m_tsyncErr = 0;
    double m_rawTsyncDrift = 0.0;
    int64_t m_rawTsyncErr = 0;
    int32_t m_reportsSent = 0;
    int32_t m_dwVBat = 0;
    int32_t m_dwTemp = 0;

    History m_tsyncCntHistory;
    History m_tsyncDriftHistory;
    History m_tsyncErrHistory;
    History m_rawTsyncDriftHistory;
    History m_rawTsyncErrHistory;
};
