#pragma once

#include "RtlsIMU.h"
#include "RtlsMeas.h"
#include "RtlsObject.h"
#include "RtlsObjectStats.h"
#include "RtlsPos.h"

#include <QStringList>

#include <algorithm>

// Everything a node record holds, as text, so two records can be compared
// whole: every field, every sub-record, the measurement tables and the
// statistics histories. Numbers are written so that two values print the
// same only when they are the same value (a negative zero prints as such).
// The wall-clock time of the last update is given only as set or not.
namespace RecordDump {

inline QString num(double v)
{
    return QString::number(v, 'g', 17);
}

inline QString table(const RtlsMeas::Table &t)
{
    QList<uint64_t> keys = t.keys();
    std::sort(keys.begin(), keys.end());
    QStringList out;
    for (uint64_t k : keys) {
        const RtlsMeasEntry &e = t.value(k);
        out << QStringLiteral("%1:%2/%3/%4/%5/%6/%7")
                   .arg(k, 0, 16)
                   .arg(e.kind)
                   .arg(num(e.value), num(e.rssi))
                   .arg(e.tqf)
                   .arg(e.extra)
                   .arg(num(e.stdev));
    }
    return out.join(QLatin1Char(' '));
}

inline QString history(const QVector<double> &values)
{
    QStringList out;
    for (double v : values)
        out << num(v);
    return out.join(QLatin1Char(','));
}

inline QString of(RtlsObject *n)
{
    QStringList out;
    out << QStringLiteral("id=%1 name=%2 description=%3 category=%4 mode=%5")
               .arg(n->id(), 0, 16)
               .arg(n->name(), n->description(), n->category(), n->mode());
    out << QStringLiteral("hw=%1 ldr=%2 fw=%3 options=%4 roles=%5 flags=%6 msgflags=%7 msgtime=%8 seat=%9")
               .arg(n->hwVersion())
               .arg(n->ldrVersion())
               .arg(n->fwVersion())
               .arg(n->nodeOptions())
               .arg(n->roles())
               .arg(n->flags())
               .arg(n->msgFlags())
               .arg(num(n->msgTime()))
               .arg(n->seat());
    out << QStringLiteral("group=%1 updated=%2").arg(n->group()).arg(n->lastUpdate() != 0);
    if (n->hasPos()) {
        RtlsPos *p = n->pos();
        out << QStringLiteral("pos x=%1 y=%2 z=%3 heading=%4 pqf=%5 avg=%6 flags=%7")
                   .arg(num(p->x()), num(p->y()), num(p->z()), num(p->heading()))
                   .arg(p->pqf())
                   .arg(p->avg())
                   .arg(p->flags());
    }
    if (n->hasImu()) {
        RtlsIMU *i = n->imu();
        out << QStringLiteral("imu q=%1,%2,%3,%4 am=%5 pressure=%6 temperature=%7 io=%8 vbat=%9")
                   .arg(num(i->q0()), num(i->q1()), num(i->q2()), num(i->q3()), num(i->am()))
                   .arg(i->pressure())
                   .arg(num(i->temperature()))
                   .arg(i->io())
                   .arg(num(i->vbat()));
    }
    if (n->hasMeas())
        out << QStringLiteral("meas now=[%1] before=[%2]").arg(table(n->meas()->current()), table(n->meas()->previous()));
    if (n->hasStats()) {
        RtlsObjectStats *s = n->stats();
        out << QStringLiteral("stats %1 %2 %3 %4 %5 %6 %7 %8 %9")
                   .arg(s->uptime())
                   .arg(s->memFree())
                   .arg(num(s->cpuLoad()))
                   .arg(s->tdoaCnt())
                   .arg(s->twrCnt())
                   .arg(s->twrErr())
                   .arg(s->tsyncCnt())
                   .arg(num(s->tsyncDrift()))
                   .arg(s->tsyncErr());
        out << QStringLiteral("stats %1 %2 %3 %4 %5")
                   .arg(num(s->rawTsyncDrift()))
                   .arg(s->rawTsyncErr())
                   .arg(s->reportsSent())
                   .arg(s->dwVBat())
                   .arg(s->dwTemp());
        out << QStringLiteral("history %1 | %2 | %3 | %4 | %5")
                   .arg(history(s->tsyncCntHistory()), history(s->tsyncDriftHistory()),
                        history(s->tsyncErrHistory()), history(s->rawTsyncDriftHistory()),
                        history(s->rawTsyncErrHistory()));
    }
    return out.join(QLatin1Char('\n'));
}

} // namespace RecordDump
