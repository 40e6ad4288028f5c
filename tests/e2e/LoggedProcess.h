#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QtTest>

// A child process whose stderr and stdout are collected line by line.
class LoggedProcess
{
public:
    LoggedProcess()
    {
        m_proc.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&m_proc, &QProcess::readyRead, [this] { m_log += m_proc.readAll(); });
    }
    ~LoggedProcess() { stop(); }

    void start(const QString &program, const QStringList &args, const QProcessEnvironment &env,
               const QString &workDir)
    {
        m_proc.setProcessEnvironment(env);
        m_proc.setWorkingDirectory(workDir);
        m_proc.start(program, args);
        QVERIFY2(m_proc.waitForStarted(10000), qPrintable(program));
    }

    void stop()
    {
        if (m_proc.state() == QProcess::NotRunning)
            return;
        m_proc.terminate();
        if (!m_proc.waitForFinished(10000)) {
            m_proc.kill();
            m_proc.waitForFinished(5000);
        }
        m_log += m_proc.readAll();
    }

    bool contains(const QString &text) const { return QString::fromUtf8(m_log).contains(text); }
    int count(const QString &text) const { return QString::fromUtf8(m_log).count(text); }
    bool matches(const QRegularExpression &re) const { return re.match(QString::fromUtf8(m_log)).hasMatch(); }
    QString log() const { return QString::fromUtf8(m_log); }
    QProcess &process() { return m_proc; }

private:
    QProcess m_proc;
    QByteArray m_log;
};
