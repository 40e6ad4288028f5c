#pragma once

#include <QString>
#include <QVector>

// What each TDMA scheme of the masters allows: how many tags it serves, at
// what rate and with what latency, and what a chosen update interval makes
// of it. The scheme and rate texts are the ones the settings page lists.
class TdmaCapacity
{
public:
    struct Scheme {
        int number;
        QString text;
        int tags;       // tags the scheme serves; tags beyond it are not served
        int rateHz;     // fastest update rate of a tag
        int latencyMs;
    };

    struct Rate {
        QString text;
        int intervalMs;
    };

    static const QVector<Scheme> &schemes();
    static const QVector<Rate> &rates();
    static const Scheme *scheme(int number);

    // Update rate a tag gets with this scheme and interval: the slower of
    // the two.
    static double effectiveRateHz(int scheme, int intervalMs);
    // One line for the page: tags, rate and latency that the choice allows.
    static QString describe(int scheme, int intervalMs);
    // Empty when the site's tags fit, else the warning to show.
    static QString warning(int scheme, int knownTags);
};
