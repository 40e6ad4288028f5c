#include "RtlsObjectStats.h"

#include "RtlsModelConstants.h"

namespace {

// Drift offsets are tiny; they are shown in parts per 10^12.
double scaleDrift(double offset)
{
    double v = offset;
    for (int i = 0; i < 4; ++i)
        v *= 1000.0;
    return v;
}

// A drift between these bounds is a clock ratio rather than an offset.
constexpr double kRatioLow = 0.6;
constexpr double kRatioHigh = 1.4;

} // namespace

RtlsObjectStats::RtlsObjectStats(QObject *parent)
    : QObject(parent),
      m_tsyncCntHistory(Rtls::kStatsHistoryLimit),
      m_tsyncDriftHistory(Rtls::kStatsHistoryLimit),
      m_tsyncErrHistory(Rtls::kStatsHistoryLimit),
      m_rawTsyncDriftHistory(Rtls::kStatsHistoryLimit),
      m_rawTsyncErrHistory(Rtls::kStatsHistoryLimit)
{
}

QVector<double> RtlsObjectStats::toVector(const History &history)
{
    QVector<double> v;
    v.reserve(history.count());
    for (int i = history.firstIndex(); i <= history.lastIndex(); ++i)
        v.append(history.at(i));
    return v;
}

void RtlsObjectStats::record(History &history, double value)
{
    history.append(value);
    // Indexes only grow; renumber before they would overflow in a long run.
    if (!history.areIndexesValid())
        history.normalizeIndexes();
}

QVector<double> RtlsObjectStats::tsyncCntHistory() const { return toVector(m_tsyncCntHistory); }
QVector<double> RtlsObjectStats::tsyncDriftHistory() const { return toVector(m_tsyncDriftHistory); }
QVector<double> RtlsObjectStats::tsyncErrHistory() const { return toVector(m_tsyncErrHistory); }
QVector<double> RtlsObjectStats::rawTsyncDriftHistory() const { return toVector(m_rawTsyncDriftHistory); }
QVector<double> RtlsObjectStats::rawTsyncErrHistory() const { return toVector(m_rawTsyncErrHistory); }

void RtlsObjectStats::clearHistory()
{
    m_tsyncCntHistory.clear();
    m_tsyncDriftHistory.clear();
    m_tsyncErrHistory.clear();
    m_rawTsyncDriftHistory.clear();
    m_rawTsyncErrHistory.clear();
}

void RtlsObjectStats::setUptime(uint32_t uptime) { m_uptime = uptime; }
void RtlsObjectStats::setMemFree(uint32_t memFree) { m_memFree = memFree; }
void RtlsObjectStats::setCpuLoad(float cpuLoad) { m_cpuLoad = cpuLoad; }
void RtlsObjectStats::setTdoaCnt(uint32_t tdoaCnt) { m_tdoaCnt = tdoaCnt; }
void RtlsObjectStats::setTwrCnt(uint32_t twrCnt) { m_twrCnt = twrCnt; }
void RtlsObjectStats::setTwrErr(int32_t twrErr) { m_twrErr = twrErr; }

void RtlsObjectStats::setTsyncCnt(uint32_t tsyncCnt)
{
    m_tsyncCnt = tsyncCnt;
    record(m_tsyncCntHistory, tsyncCnt);
}

void RtlsObjectStats::setTsyncDrift(double tsyncDrift)
{
    double offset = tsyncDrift;
    if (offset > kRatioLow && offset < kRatioHigh)
        offset -= 1.0;
    m_tsyncDrift = scaleDrift(offset);
    record(m_tsyncDriftHistory, m_tsyncDrift);
}

void RtlsObjectStats::setTsyncErr(int64_t tsyncErr)
{
    m_tsyncErr = tsyncErr;
    record(m_tsyncErrHistory, static_cast<double>(tsyncErr));
}

void RtlsObjectStats::setRawTsyncDrift(double rawTsyncDrift)
{
    m_rawTsyncDrift = scaleDrift(rawTsyncDrift - 1.0);
    record(m_rawTsyncDriftHistory, m_rawTsyncDrift);
}

void RtlsObjectStats::setRawTsyncErr(int64_t rawTsyncErr)
{
    m_rawTsyncErr = rawTsyncErr;
    record(m_rawTsyncErrHistory, static_cast<double>(rawTsyncErr));
}

void RtlsObjectStats::setReportsSent(int32_t reportsSent) { m_reportsSent = reportsSent; }
void RtlsObjectStats::setDwVBat(int32_t dwVBat) { m_dwVBat = dwVBat; }
void RtlsObjectStats::setDwTemp(int32_t dwTemp) { m_dwTemp = dwTemp; }
