#pragma once

#include "SimConstants.h"

#include <QHostAddress>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

// The command line of sentrova-sim (see docs/SIMULATOR.md).
struct SimOptions {
    QString siteFile;
    QHostAddress bind{QHostAddress::AnyIPv4};
    quint16 svcPort = SimConst::kServicePort;
    quint16 streamPort = SimConst::kStreamPort;
    quint16 announcePort = SimConst::kAnnouncePort;
    quint16 mdnsPort = SimConst::kMdnsPort;
    QVector<QPair<QHostAddress, quint16>> streamTo;
    bool mdns = true;
    bool broadcast = true;
    QString format; // empty: the site's own
    int tags = 0; // > 0: load mode
    double rate = 0.0;
    double duration = 0.0;
    qint64 count = 0;
    quint64 seed = 1;
    double noise = SimConst::kDefaultNoise;
    // Share of ranges with a non-line-of-sight excess.
    double outliers = SimConst::kOutlierProbability;
    bool quiet = false;
    bool stats = false;
    // Print every node's real antenna delays before READY, so that a test
    // can compare a calibration with the truth.
    bool printDelays = false;

    bool loadMode() const { return tags > 0; }
    // Returns false with a message for the user on a bad command line.
    static bool parse(const QStringList &args, SimOptions *out, QString *error);
};
