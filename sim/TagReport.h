#pragma once

#include "Vec3.h"

#include <QtGlobal>

#include <QVector>

// One ranging measurement of a report: a distance (two-way ranging) or a
// time of arrival in nanoseconds (TDOA).
struct MeasSample {
    quint64 anchor = 0;
    double value = 0.0;
    bool isToa = false;
    int tqf = 0;
    double rssi = 0.0;
    double stdev = 0.0;
};

// What a tag's report on the location stream carries.
struct TagReport {
    quint64 id = 0;
    double timestamp = 0.0; // seconds since the epoch
    quint32 seq = 0;
    bool hasPos = false;
    Vec3 pos;
    quint8 pqf = 0;
    QVector<MeasSample> meas;
    quint8 io = 0;
    double vbat = 0.0;
    double temperature = 0.0;
    bool hasImu = false;
    double quat[4] = {1.0, 0.0, 0.0, 0.0};
};
