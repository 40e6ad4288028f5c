#pragma once

#include "Comm/LineServer.h"
#include "RtlsSvc.h"
#include "SentrovaInterface.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QtTest>

// Connects the process's hub to a loopback master and collects what the hub
// sends and prints, so a test can compare commands as parsed JSON and the
// console lines that go with them.
class HubProbe
{
public:
    HubProbe()
        : hub(SentrovaInterface::instance()),
          console(hub, &SentrovaInterface::displayMessage)
    {
    }

    // A fresh master on `address`; returns false when it never got the
    // three greeting lines.
    bool connectMaster(LineServer &server, const QHostAddress &address = QHostAddress::LocalHost)
    {
        if (!server.listen(address, 0))
            return false;
        hub->svc()->setServicePort(server.serverPort());
        hub->svc()->masterDetected(address.toIPv4Address());
        return QTest::qWaitFor([&] { return server.lineCount() == 3; }, 10000);
    }

    // Lines that arrived at `server` since the last call, keep-alive pings
    // left out. A marker line goes out last, so that everything sent before
    // it has surely arrived. Each marker is unique: a line identical to one
    // still waiting in a master's queue would not be sent again.
    QList<QJsonObject> sentSinceLastCall(LineServer &server, int atLeast = 0)
    {
        hub->sendJson(QJsonObject{{"command", "probeMarker"}, {"n", ++m_markers}});
        QList<QJsonObject> sent;
        const bool complete = QTest::qWaitFor([&] {
            sent = collect(server);
            return m_sawMarker && sent.size() >= atLeast;
        }, 10000);
        if (!complete)
            qWarning() << "incomplete:" << sent.size() << "of" << atLeast << "marker" << m_sawMarker;
        server.clearLines();
        m_sawMarker = false;
        return sent;
    }

    QStringList consoleLines()
    {
        QStringList lines;
        for (const auto &args : qAsConst(console))
            lines.append(args.at(0).toString());
        console.clear();
        return lines;
    }

    static QJsonObject parse(const QByteArray &json) { return QJsonDocument::fromJson(json).object(); }

    SentrovaInterface *hub;
    QSignalSpy console;

private:
    QList<QJsonObject> collect(LineServer &server)
    {
        QList<QJsonObject> sent;
        m_sawMarker = false;
        const QList<QByteArray> lines = server.lines(server.peerCount() - 1);
        for (const QByteArray &line : lines) {
            const QJsonObject obj = parse(line);
            const QString command = obj.value("command").toString();
            if (command == QLatin1String("ping"))
                continue;
            if (command == QLatin1String("probeMarker") && obj.value("n").toInt() == m_markers) {
                m_sawMarker = true;
                continue;
            }
            sent.append(obj);
        }
        return sent;
    }

    bool m_sawMarker = false;
    int m_markers = 0;
};
