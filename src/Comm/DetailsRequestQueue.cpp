#include "DetailsRequestQueue.h"

#include "CommConstants.h"

DetailsRequestQueue::DetailsRequestQueue(std::function<int()> backlog, std::function<void(uint64_t)> send,
                                         QObject *parent)
    : QObject(parent), m_backlog(std::move(backlog)), m_send(std::move(send))
{
    m_timer.setInterval(Comm::kSendIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &DetailsRequestQueue::tick);
}

bool DetailsRequestQueue::request(uint64_t id)
{
    if (m_waiting.contains(id))
        return true;
    if (int(m_order.size()) >= kMaxWaiting)
        return false;
    m_order.push_back(id);
    m_waiting.insert(id);
    if (!m_timer.isActive())
        m_timer.start();
    return true;
}

void DetailsRequestQueue::tick()
{
    if (m_order.empty()) {
        m_timer.stop();
        return;
    }
    if (m_backlog() > kMaxBacklog)
        return;
    const uint64_t id = m_order.front();
    m_order.pop_front();
    m_waiting.remove(id);
    m_send(id);
}
