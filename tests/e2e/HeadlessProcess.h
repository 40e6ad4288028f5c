#pragma once

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QtTest>

#include <csignal>
#include <sys/types.h>

// The real sentrova-manager --headless as a child process with no display
// at all: no DISPLAY, no WAYLAND_DISPLAY, no XAUTHORITY, no QT_QPA_PLATFORM.
// Its standard output (the console lines) is kept apart from standard error.
class HeadlessProcess
{
public:
    HeadlessProcess()
    {
        m_proc.setProcessChannelMode(QProcess::SeparateChannels);
        QObject::connect(&m_proc, &QProcess::readyReadStandardOutput, [this] { m_out += m_proc.readAllStandardOutput(); });
        QObject::connect(&m_proc, &QProcess::readyReadStandardError, [this] { m_err += m_proc.readAllStandardError(); });
    }
    ~HeadlessProcess() { stop(); }

    static QProcessEnvironment environment(const QString &home)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "QT_QPA_PLATFORM", "QT_LOGGING_RULES"})
            env.remove(QLatin1String(name));
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        return env;
    }

    void start(const QString &home, const QStringList &args)
    {
        m_proc.setProcessEnvironment(environment(home));
        m_proc.setWorkingDirectory(home);
        m_proc.start(QStringLiteral(SENTROVA_BIN_DIR "/src/App/sentrova-manager"), QStringList{"--headless"} + args);
        QVERIFY2(m_proc.waitForStarted(10000), "sentrova-manager --headless did not start");
    }

    void signal(int number) { ::kill(pid_t(m_proc.processId()), number); }

    void stop()
    {
        if (m_proc.state() == QProcess::NotRunning)
            return;
        m_proc.terminate();
        if (!m_proc.waitForFinished(10000)) {
            m_proc.kill();
            m_proc.waitForFinished(5000);
        }
    }

    qint64 pid() const { return m_proc.processId(); }
    QProcess &process() { return m_proc; }
    QString out() const { return QString::fromUtf8(m_out); }
    QString err() const { return QString::fromUtf8(m_err); }
    // A console line on standard output: "HH:mm:ss: " and the text.
    bool said(const QString &text) const { return count(text) > 0; }
    int count(const QString &text) const
    {
        const QRegularExpression line(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d: .*") + QRegularExpression::escape(text),
                                      QRegularExpression::MultilineOption);
        int n = 0;
        auto it = line.globalMatch(out());
        while (it.hasNext()) {
            it.next();
            ++n;
        }
        return n;
    }
    // The libraries mapped into the process: what it really loaded.
    QString maps() const
    {
        QFile f(QStringLiteral("/proc/%1/maps").arg(m_proc.processId()));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

private:
    QProcess m_proc;
    QByteArray m_out;
    QByteArray m_err;
};
