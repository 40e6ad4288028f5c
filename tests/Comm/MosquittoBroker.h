#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <signal.h>
#include <unistd.h>

// Debian's mosquitto broker, started by a test on loopback with a free port
// and a configuration of its own in a temporary folder. Tests that need it
// skip with a clear message where it is not installed.
class MosquittoBroker
{
public:
    static QString binary()
    {
        return QStandardPaths::findExecutable(QStringLiteral("mosquitto"),
                                              {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin"),
                                               QStringLiteral("/usr/bin")});
    }
    static QString passwdTool()
    {
        return QStandardPaths::findExecutable(QStringLiteral("mosquitto_passwd"));
    }
    static QString missingMessage()
    {
        return QStringLiteral("Debian's mosquitto broker is not installed (apt-get install mosquitto); "
                              "the broker tests need it");
    }

    // A TLS listener with this certificate and key (PEM files).
    void useTls(const QString &certFile, const QString &keyFile)
    {
        m_tls = QStringLiteral("certfile %1\nkeyfile %2\n").arg(certFile, keyFile);
    }

    // user -> password; empty: anonymous clients allowed.
    bool start(const QHash<QString, QString> &users = {})
    {
        if (!m_dir.isValid() || binary().isEmpty())
            return false;
        if (port == 0)
            port = freePort();
        QString auth = QStringLiteral("allow_anonymous true\n");
        if (!users.isEmpty()) {
            const QString file = m_dir.filePath(QStringLiteral("passwd"));
            QFile::remove(file);
            bool first = true;
            for (auto it = users.cbegin(); it != users.cend(); ++it) {
                QStringList args{QStringLiteral("-b")};
                if (first)
                    args << QStringLiteral("-c");
                args << file << it.key() << it.value();
                first = false;
                if (QProcess::execute(passwdTool(), args) != 0)
                    return false;
            }
            auth = QStringLiteral("allow_anonymous false\npassword_file %1\n").arg(file);
        }
        const QString config = m_dir.filePath(QStringLiteral("mosquitto.conf"));
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        // Run as whoever runs the test (as root it would switch to the
        // "mosquitto" user, who cannot read this folder).
        const QString user = ::geteuid() == 0 ? QStringLiteral("user root\n") : QString();
        f.write(QStringLiteral("listener %1 127.0.0.1\n%5%2persistence false\nlog_dest file %3\n%4")
                    .arg(port)
                    .arg(auth, m_dir.filePath(QStringLiteral("mosquitto.log")), user, m_tls)
                    .toUtf8());
        f.close();
        m_config = config;
        return launch();
    }

    // Same port, same configuration: what a client sees as a broker restart.
    bool restart()
    {
        stop();
        return launch();
    }

    void stop()
    {
        if (m_proc.state() == QProcess::NotRunning)
            return;
        resume();
        m_proc.terminate();
        if (!m_proc.waitForFinished(10000)) {
            m_proc.kill();
            m_proc.waitForFinished(5000);
        }
    }

    // A broker that stops reading: its clients' data piles up in the sockets.
    void pause() { ::kill(pid_t(m_proc.processId()), SIGSTOP); }
    void resume()
    {
        if (m_proc.state() != QProcess::NotRunning)
            ::kill(pid_t(m_proc.processId()), SIGCONT);
    }

    qint64 pid() const { return m_proc.processId(); }

    QString log() const
    {
        QFile f(m_dir.filePath(QStringLiteral("mosquitto.log")));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    ~MosquittoBroker() { stop(); }

    static quint16 freePort()
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        return server.serverPort();
    }

    quint16 port = 0;

private:
    bool launch()
    {
        m_proc.setProgram(binary());
        m_proc.setArguments({QStringLiteral("-c"), m_config});
        m_proc.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_proc.start();
        if (!m_proc.waitForStarted(10000))
            return false;
        // Ready when it accepts a connection.
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 20000 && m_proc.state() == QProcess::Running) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, port);
            if (probe.waitForConnected(500))
                return true;
            QThread::msleep(20);
        }
        return false;
    }

    QTemporaryDir m_dir;
    QString m_config;
    QString m_tls;
    QProcess m_proc;
};
