#pragma once

#include <QList>
#include <QObject>

class QSocketNotifier;

// Turns Unix signals (SIGTERM, SIGINT, SIGHUP) into a Qt signal delivered by
// the event loop. The handler itself does only what is safe in a handler: it
// writes the signal's number to one end of a socket pair; a QSocketNotifier
// on the other end reads it in the event loop. One per process; the signals'
// previous handlers come back when it is destroyed.
class UnixSignalNotifier : public QObject
{
    Q_OBJECT

public:
    explicit UnixSignalNotifier(const QList<int> &signalNumbers, QObject *parent = nullptr);
    ~UnixSignalNotifier() override;

    // False when the socket pair or a handler could not be set up.
    bool isValid() const { return m_valid; }

signals:
    void received(int signalNumber);

private:
    void readPending();

    QList<int> m_signals;
    QSocketNotifier *m_notifier = nullptr;
    bool m_valid = false;
};
