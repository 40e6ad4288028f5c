#pragma once

#include "StreamSender.h"
#include "TagReport.h"

#include <QByteArray>
#include <QVector>

// Synthetic load for benchmarks: N tags circling in the hall, each
// reporting at a fixed rate with four ranges, far beyond a real site.
class LoadGenerator
{
public:
    LoadGenerator(int tags, double rateHz, StreamSender::Format format, double startSeconds);

    // Encoded reports due by elapsedMs (at most limit of them, 0 = no limit).
    QVector<QByteArray> due(qint64 elapsedMs, quint64 limit);
    quint64 produced() const { return m_produced; }
    void setFormat(StreamSender::Format format) { m_format = format; }
    static constexpr quint64 kFirstTagId = 0x4000;

private:
    int m_tags;
    double m_rate;
    StreamSender::Format m_format;
    double m_start;
    quint64 m_produced = 0;
    QVector<TagReport> m_templates;

    void fill(TagReport &r, int tag, double t) const;
};
