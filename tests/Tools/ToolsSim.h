#pragma once

#include "RtlsMetaTypes.h"
#include "RtlsObject.h"
#include "RtlsSvc.h"
#include "SentrovaInterface.h"
#include "ServiceRelay.h"
#include "sim/SimProcess.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QSignalSpy>
#include <QTemporaryDir>

// The process's hub connected to the real simulator on loopback, for the
// setup and calibration tools: a site file of the test's own, the real
// delays the simulator printed, and waits on the answers the tools use.
class ToolsSim
{
public:
    ToolsSim() : hub(SentrovaInterface::instance()), answers(hub, &SentrovaInterface::svcDataReceived) {}

    // Starts the simulator on the site (the built-in one when empty) and
    // connects the hub, through `relay` when one is given; true once the
    // anchors are listed.
    bool start(const QByteArray &site = QByteArray(), const QStringList &extra = {}, ServiceRelay *relay = nullptr)
    {
        QStringList args = extra;
        args << QStringLiteral("--print-delays");
        if (!site.isEmpty()) {
            QFile f(dir.filePath(QStringLiteral("site.json")));
            if (!f.open(QIODevice::WriteOnly))
                return false;
            f.write(site);
            f.close();
            args << QStringLiteral("--site") << f.fileName();
        }
        if (!sim.start(args))
            return false;
        for (const QByteArray &line : qAsConst(sim.startLines)) {
            const QList<QByteArray> f = line.split(' ');
            if (f.size() == 4 && f[0] == "DELAY")
                realDelay.insert(f[1].toULongLong(nullptr, 16), f[2].toDouble());
        }
        if (relay && !relay->listen(sim.port))
            return false;
        hub->svc()->setServicePort(relay ? relay->port() : sim.port);
        hub->svc()->masterDetected(QHostAddress(QHostAddress::LocalHost).toIPv4Address());
        // The answer to the greeting brings requests for every anchor's
        // details and distances; they are all answered before the marker.
        return QTest::qWaitFor([&] { return hasResponse("listAnchors"); }, 15000) && roundTrip();
    }

    bool hasResponse(const char *response) const
    {
        for (const auto &args : answers)
            if (args.at(0).toJsonObject().value(QLatin1String("response")) == QLatin1String(response))
                return true;
        return false;
    }

    int countResponses(const char *response) const
    {
        int n = 0;
        for (const auto &args : answers)
            if (args.at(0).toJsonObject().value(QLatin1String("response")) == QLatin1String(response))
                ++n;
        return n;
    }

    // Everything sent before this call has been answered once it returns true.
    bool roundTrip(int ms = 15000)
    {
        const int before = countResponses("version");
        hub->getVersion();
        return QTest::qWaitFor([&] { return countResponses("version") > before; }, ms);
    }

    // Scans the infrastructure with n ranges per pair and reads every
    // anchor's distances.
    bool measure(int n)
    {
        hub->scanInfraWithCount(n);
        hub->getAllDistances();
        return roundTrip();
    }

    QList<uint64_t> anchorIds() const
    {
        QList<uint64_t> ids;
        for (RtlsObject *node : hub->nodes())
            if (node->mode() == QLatin1String("anchor") || node->mode() == QLatin1String("master"))
                ids.append(node->id());
        std::sort(ids.begin(), ids.end());
        return ids;
    }

    SentrovaInterface *hub;
    QSignalSpy answers;
    QTemporaryDir dir;
    SimProcess sim;
    QHash<uint64_t, double> realDelay;
};
