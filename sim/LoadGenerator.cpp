#include "LoadGenerator.h"

#include "ReportEncoder.h"

#include <cmath>

namespace {
const Vec3 kCorners[4] = {{0, 0, 2.5}, {20, 0, 3.2}, {20, 15, 2.2}, {0, 15, 3.0}};
constexpr quint64 kCornerIds[4] = {0x1000, 0x1001, 0x1002, 0x1003};
} // namespace

LoadGenerator::LoadGenerator(int tags, double rateHz, StreamSender::Format format, double startSeconds)
    : m_tags(tags), m_rate(rateHz), m_format(format), m_start(startSeconds), m_templates(tags)
{
    // Everything that does not move is set once.
    for (int i = 0; i < tags; ++i) {
        TagReport &r = m_templates[i];
        r.id = kFirstTagId + quint64(i);
        r.hasPos = true;
        r.pqf = 90;
        r.vbat = 3.7;
        r.temperature = 22.0;
        r.meas.resize(4);
        for (int k = 0; k < 4; ++k) {
            r.meas[k].anchor = kCornerIds[k];
            r.meas[k].tqf = 90;
            r.meas[k].rssi = -75.0;
            r.meas[k].stdev = 0.05;
        }
    }
}

void LoadGenerator::fill(TagReport &r, int tag, double t) const
{
    const double radius = 1.0 + tag % 6;
    const double angle = 0.3 * t + tag;
    r.pos = Vec3{10.0 + radius * std::cos(angle), 7.5 + radius * std::sin(angle) * 0.9, 1.2};
    r.timestamp = m_start + t;
    ++r.seq;
    for (int k = 0; k < 4; ++k)
        r.meas[k].value = r.pos.distanceTo(kCorners[k]);
}

QVector<QByteArray> LoadGenerator::due(qint64 elapsedMs, quint64 limit)
{
    quint64 target = quint64(double(elapsedMs) / 1000.0 * m_tags * m_rate);
    if (limit > 0)
        target = std::min(target, limit);
    QVector<QByteArray> out;
    if (target <= m_produced)
        return out;
    out.reserve(int(target - m_produced));
    const double t = elapsedMs / 1000.0;
    for (; m_produced < target; ++m_produced) {
        const int tag = int(m_produced % quint64(m_tags));
        TagReport &r = m_templates[tag];
        fill(r, tag, t);
        QByteArray b;
        b.reserve(256);
        if (m_format == StreamSender::Format::Json)
            ReportEncoder::appendJson(&b, r);
        else
            ReportEncoder::appendTlv(&b, r);
        out.append(b);
    }
    return out;
}
