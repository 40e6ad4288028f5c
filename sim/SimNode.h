#pragma once

#include "Vec3.h"

#include <QJsonObject>
#include <QString>
#include <QVector>

// One waypoint of a tag's walk. A silent leg (from this waypoint to the
// next) is outside radio coverage: the tag sends nothing on it.
struct Waypoint {
    Vec3 pos;
    double speed = 1.0;
    bool silent = false;
};

// One radio node of the simulated site: the true physical state (position,
// real antenna delays) next to what the master has been told (configured
// coordinates and delays, seat, roles...).
struct SimNode {
    quint64 id = 0;
    QString name;
    QString mode; // "master", "anchor", "tag", "offline"
    int storey = 0;
    Vec3 truePos;
    Vec3 cfgPos;
    quint32 cfgMask = 0; // 0x20 x, 0x40 y, 0x80 z known to the master
    int seat = -1;
    int group = -1;
    quint32 roles = 0;
    quint32 flags = 0;
    quint16 txDelay = 16515;
    quint16 rxDelay = 16515;
    double trueTxDelay = 16515.0;
    double trueRxDelay = 16515.0;
    bool fixedDelayOffset = false;
    QString parent;
    QString sensOut = QStringLiteral("off");
    int userType = 0;
    QString userText;
    quint8 io = 0;
    double vbat = 3.7;
    double temperature = 22.0;
    double quat[4] = {1.0, 0.0, 0.0, 0.0};
    bool fixedOrientation = false; // else the tag faces where it walks
    QVector<Waypoint> path;
    // A parked tag stands at parkPos, its path suspended, until released.
    bool parked = false;
    Vec3 parkPos;
    double rateHz = 1.0;
    bool joined = true;
    qint64 bootMs = 0;
    quint32 reportsSent = 0;
    quint32 twrCnt = 0;
    quint32 twrErrCnt = 0;
    quint32 tdoaCnt = 0;

    bool isAnchor() const { return mode == QLatin1String("anchor") || mode == QLatin1String("master"); }
    bool isTag() const { return mode == QLatin1String("tag"); }
    quint32 nodeOptions() const;
    QString idString() const;
    static QString idString(quint64 id);
    static QString hex16(quint32 v);
    // Range error in metres caused by the difference between the node's
    // real antenna delays and the ones it is configured with.
    double biasMetres() const;
    // Where the tag is after t seconds on its looping path (or where it is
    // parked); *present is false on a silent leg.
    Vec3 pathPosition(double t, bool *present) const;

    QJsonObject listJson() const;
    QJsonObject detailsJson() const;
    QJsonObject statsJson(qint64 nowMs) const;
    QJsonObject coordinatesJson() const;
};
