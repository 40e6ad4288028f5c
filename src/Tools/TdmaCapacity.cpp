#include "TdmaCapacity.h"

#include <QCoreApplication>

#include <algorithm>

const QVector<TdmaCapacity::Scheme> &TdmaCapacity::schemes()
{
    static const QVector<Scheme> table = {
        {0, QStringLiteral("Scheme 0:   63 tags at 20 Hz ~ 1260 Hz, 50 ms latency"), 63, 20, 50},
        {1, QStringLiteral("Scheme 1:   88 tags at 20 Hz ~ 1760 Hz, 50 ms latency"), 88, 20, 50},
        {2, QStringLiteral("Scheme 2:   49 tags at 20 Hz ~ 980 Hz, 100 ms latency"), 49, 20, 100},
        {3, QStringLiteral("Scheme 3:   93 tags at 10 Hz ~ 930 Hz, 100 ms latency"), 93, 10, 100},
        {4, QStringLiteral("Scheme 4:   31 tags at 10 Hz (850kbit / 256 plen)"), 31, 10, 100},
        {5, QStringLiteral("Scheme 5:   26 tags at 10 Hz (850kbit / 512 plen)"), 26, 10, 100},
        {6, QStringLiteral("Scheme 6:   80 tags at 20 Hz (6.8Mbit / 128 plen)"), 80, 20, 50},
        {7, QStringLiteral("Scheme 7:   57 tags at 20 Hz (6.8Mbit / 256 plen)"), 57, 20, 50},
        {8, QStringLiteral("Scheme 8:   38 tags at 20 Hz (6.8Mbit / 512 plen)"), 38, 20, 50},
        {9, QStringLiteral("Scheme 9:   57 tags at 10 Hz (6.8Mbit / 256 plen / 16Mhz)"), 57, 10, 100},
        {10, QStringLiteral("Scheme 10: 175 tags at 10 Hz (6.8Mbit / 128 plen)"), 175, 10, 100},
        {11, QStringLiteral("Scheme 11: 135 tags at 10 Hz (6.8Mbit / 256 plen)"), 135, 10, 100},
        {12, QStringLiteral("Scheme 12: TDOA test scheme 125 tags at 20 Hz (6.8Mbit / 128 plen)"), 125, 20, 50},
        {13, QStringLiteral("Scheme 13: 10 tags at 100 Hz (6.8Mbit / 128 plen)"), 10, 100, 10},
    };
    return table;
}

const QVector<TdmaCapacity::Rate> &TdmaCapacity::rates()
{
    static const QVector<Rate> table = {
        {QStringLiteral("0.0033 Hz (5m)"), 300000}, {QStringLiteral("0.0166 Hz (2m)"), 120000},
        {QStringLiteral("0.0166 Hz (1m)"), 60000},  {QStringLiteral("0.0333 Hz (30s)"), 30000},
        {QStringLiteral("0.05 Hz (20s)"), 20000},   {QStringLiteral("0.1 Hz (10s)"), 10000},
        {QStringLiteral("0.2 Hz (5s)"), 5000},      {QStringLiteral("0.5 Hz (2s)"), 2000},
        {QStringLiteral("1 Hz (1s)"), 1000},        {QStringLiteral("2 Hz (500ms)"), 500},
        {QStringLiteral("5 Hz (200ms)"), 200},      {QStringLiteral("10 Hz (100ms)"), 100},
        {QStringLiteral("20 Hz (50ms)"), 50},       {QStringLiteral("50 Hz (20ms)"), 20},
        {QStringLiteral("100 Hz (10ms)"), 10},
    };
    return table;
}

const TdmaCapacity::Scheme *TdmaCapacity::scheme(int number)
{
    for (const Scheme &s : schemes())
        if (s.number == number)
            return &s;
    return nullptr;
}

double TdmaCapacity::effectiveRateHz(int number, int intervalMs)
{
    const Scheme *s = scheme(number);
    if (!s)
        return 0.0;
    if (intervalMs <= 0)
        return s->rateHz;
    return std::min(double(s->rateHz), 1000.0 / intervalMs);
}

QString TdmaCapacity::describe(int number, int intervalMs)
{
    const Scheme *s = scheme(number);
    if (!s)
        return QCoreApplication::translate("TdmaCapacity", "Unknown TDMA scheme %1").arg(number);
    const double rate = effectiveRateHz(number, intervalMs);
    QString text = QCoreApplication::translate("TdmaCapacity", "Up to %1 tags, each at %2 Hz, latency %3 ms")
                       .arg(s->tags)
                       .arg(rate, 0, 'g', 3)
                       .arg(s->latencyMs);
    if (intervalMs > 0 && 1000.0 / intervalMs > s->rateHz)
        text += QCoreApplication::translate("TdmaCapacity", " (the scheme allows at most %1 Hz)").arg(s->rateHz);
    return text;
}

QString TdmaCapacity::warning(int number, int knownTags)
{
    const Scheme *s = scheme(number);
    if (!s || knownTags <= s->tags)
        return QString();
    return QCoreApplication::translate("TdmaCapacity",
                                       "The site has %1 tags; this scheme serves at most %2, the others get no updates.")
        .arg(knownTags)
        .arg(s->tags);
}
