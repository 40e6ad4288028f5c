#pragma once

#include <QObject>
#include <QSet>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <functional>

// The details ("getDetails") that the location stream asks for on its own,
// for tags it hears, handed to the service channel at the channel's pace:
// one a send tick, and only while the masters' send queues are nearly
// empty, so a burst of new tags never fills those queues and a command the
// user gives waits behind at most a few of them. At most kMaxWaiting ids
// wait; a request beyond that is refused and may come again.
class DetailsRequestQueue : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMaxWaiting = 1000;
    // Lines a master's queue may hold for the next request to be handed on.
    static constexpr int kMaxBacklog = 2;

    // backlog: the longest send queue of the masters now; send: hands one
    // request to the service channel.
    DetailsRequestQueue(std::function<int()> backlog, std::function<void(uint64_t)> send,
                        QObject *parent = nullptr);

    // True when id waits (now or already); false when the queue is full.
    bool request(uint64_t id);
    int waiting() const { return int(m_order.size()); }

private:
    void tick();

    std::function<int()> m_backlog;
    std::function<void(uint64_t)> m_send;
    std::deque<uint64_t> m_order;
    QSet<uint64_t> m_waiting;
    QTimer m_timer;
};
