#pragma once

#include "MdnsSearchState.h"

#include <QByteArray>
#include <QString>
#include <QTcpSocket>
#include <QThread>

#include <atomic>

class MdnsBrowser;

// The multicast DNS worker of discovery: owns the socket on 224.0.0.251:5353
// and the query engine, and runs the query while a search is active. Found
// masters go to the owning service through queued signals. A wake-up file
// descriptor interrupts every wait, so stopping takes effect at once.
class RtlsMdns : public QThread
{
    Q_OBJECT

public:
    explicit RtlsMdns(QObject *parent = nullptr);
    ~RtlsMdns() override;

    // Called from the owner's thread.
    void setQueryActive(bool active);
    void requestStop();

signals:
    void masterDetectedSignal(uint ipaddr);
    void error(QTcpSocket::SocketError socketError);
    // A line for the console (socket problems), emitted from the worker.
    void consoleLine(const QString &line);

protected:
    void run() override;

private:
    int openSocket();
    // Waits until the socket (if any) is readable, the worker is woken or
    // timeoutMs has passed. Returns true when the socket is readable.
    bool waitForWork(int socketFd, int timeoutMs);
    void receiveAll(int socketFd, MdnsBrowser &browser);
    void sendAll(int socketFd, MdnsBrowser &browser);
    void handOver(MdnsBrowser &browser);
    void wake();

    const QByteArray m_serviceName;
    std::atomic<bool> m_stop{false};
    // Every new search restarts the worker's query once.
    MdnsSearchState m_search;
    // The search the worker is running; its own thread only.
    unsigned m_searchRunning = 0;
    int m_wakeFd = -1;
};
