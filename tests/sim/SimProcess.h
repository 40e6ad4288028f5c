#pragma once

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpSocket>
#include <QtTest>

// The real simulator as a test peer: started on loopback with a free
// service port, stopped with SIGTERM.
class SimProcess
{
public:
    static QString binary() { return QStringLiteral(SENTROVA_BIN_DIR "/sim/sentrova-sim"); }

    bool start(const QStringList &extra, bool loopbackOnly = true)
    {
        QStringList args{QStringLiteral("--svc-port"), QStringLiteral("0"), QStringLiteral("--quiet"),
                         QStringLiteral("--seed"), QStringLiteral("7")};
        if (loopbackOnly)
            args << QStringLiteral("--bind") << QStringLiteral("127.0.0.1") << QStringLiteral("--no-mdns")
                 << QStringLiteral("--no-broadcast");
        args += extra;
        m_proc.setProgram(binary());
        m_proc.setArguments(args);
        m_proc.setProcessChannelMode(QProcess::SeparateChannels);
        m_proc.start();
        if (!m_proc.waitForStarted(10000))
            return false;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 20000) {
            while (m_proc.canReadLine()) {
                const QByteArray line = m_proc.readLine().trimmed();
                startLines.append(line);
                if (line.startsWith("SVC_PORT "))
                    port = quint16(line.mid(9).toUInt());
                if (line == "READY")
                    return port != 0;
            }
            if (m_proc.state() != QProcess::Running)
                return false;
            m_proc.waitForReadyRead(200);
        }
        return false;
    }

    // Waits for the process to end by itself; returns its stdout lines.
    QList<QByteArray> waitForEnd(int ms = 60000)
    {
        m_proc.waitForFinished(ms);
        QList<QByteArray> out;
        for (const QByteArray &l : m_proc.readAllStandardOutput().split('\n'))
            if (!l.trimmed().isEmpty())
                out.append(l.trimmed());
        return out;
    }

    int terminate()
    {
        if (m_proc.state() == QProcess::NotRunning)
            return m_proc.exitCode();
        m_proc.terminate();
        if (!m_proc.waitForFinished(10000)) {
            m_proc.kill();
            m_proc.waitForFinished(5000);
            return -1;
        }
        return m_proc.exitStatus() == QProcess::NormalExit ? m_proc.exitCode() : -1;
    }

    ~SimProcess() { terminate(); }

    QProcess &process() { return m_proc; }
    quint16 port = 0;
    // What the simulator printed up to READY.
    QList<QByteArray> startLines;

private:
    QProcess m_proc;
};

// A service channel client that speaks one line at a time.
class LineClient
{
public:
    bool connectTo(quint16 port, const QHostAddress &host = QHostAddress::LocalHost)
    {
        socket.connectToHost(host, port);
        return socket.waitForConnected(10000);
    }

    void sendLine(const QByteArray &line) { socket.write(line + '\n'); socket.flush(); }

    QByteArray readLine(int ms = 10000)
    {
        QElapsedTimer t;
        t.start();
        while (!socket.canReadLine() && t.elapsed() < ms)
            if (!socket.waitForReadyRead(200) && socket.state() != QAbstractSocket::ConnectedState)
                break;
        return socket.canReadLine() ? socket.readLine().trimmed() : QByteArray();
    }

    QJsonObject request(const QJsonObject &cmd)
    {
        sendLine(QJsonDocument(cmd).toJson(QJsonDocument::Compact));
        return QJsonDocument::fromJson(readLine()).object();
    }

    QJsonObject request(const QByteArray &json)
    {
        sendLine(json);
        return QJsonDocument::fromJson(readLine()).object();
    }

    QTcpSocket socket;
};
