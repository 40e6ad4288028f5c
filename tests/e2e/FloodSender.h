#pragma once

// A misconfigured device or a corrupt stream, seen from the location port:
// TLV reports of many different random ids, one report each, sent over
// loopback UDP from a thread of its own (so that a busy GUI thread does not
// slow the flood down), then, after a pause, reports of one good tag moving
// along x, sent every tenth of a second as a real tag's would be. Shared by
// the window's flood benchmark and its test; both need the location port of
// a private network namespace.
#include <QByteArray>
#include <QRandomGenerator>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <unordered_set>

class FloodSender
{
public:
    using Clock = std::chrono::steady_clock;

    struct Plan
    {
        quint16 port = 8786;
        int reports = 100000;
        // Reports a second during the flood.
        double rate = 20000;
        quint32 seed = 21;
        // Between the flood's last report and the good tag's first.
        int pauseMs = 5000;
        quint64 goodId = 0x0B01;
        float goodStartX = 1.0f;
        float goodStepX = 0.1f;
        float goodY = 2.0f;
        int goodEveryMs = 100;
    };

    // One TLV report: the node's id and its position.
    static QByteArray report(quint64 id, float x, float y, float z)
    {
        QByteArray d;
        appendElement(d, 1, le64(id));
        QByteArray pos;
        appendElement(pos, 0x50, le32(x));
        appendElement(pos, 0x51, le32(y));
        appendElement(pos, 0x52, le32(z));
        appendElement(d, 8, pos);
        return d;
    }

    // The ids of a flood: distinct, and wide enough never to meet a site's
    // own 16-bit ids.
    static std::vector<quint64> floodIds(int count, quint32 seed)
    {
        QRandomGenerator random(seed);
        std::unordered_set<quint64> seen;
        std::vector<quint64> ids;
        ids.reserve(size_t(count));
        while (int(ids.size()) < count) {
            const quint64 id = random.generate64() | (quint64(1) << 40);
            if (seen.insert(id).second)
                ids.push_back(id);
        }
        return ids;
    }

    explicit FloodSender(const Plan &plan) : m_plan(plan) {}
    ~FloodSender() { stop(); }

    void start()
    {
        m_thread = std::thread([this] { run(); });
    }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

    // Flood reports handed to the kernel so far.
    int floodSent() const { return m_floodSent; }
    bool floodDone() const { return m_floodDone; }
    // The good tag's reports sent so far, and the x of the newest.
    int goodSent() const { return m_goodSent; }
    float goodX(int n) const { return m_plan.goodStartX + float(n - 1) * m_plan.goodStepX; }
    Clock::time_point floodStarted() const { return m_floodStarted; }
    Clock::time_point floodEnded() const { return m_floodEnded; }
    Clock::time_point firstGoodSent() const { return m_firstGoodSent; }

private:
    static QByteArray le64(quint64 v)
    {
        QByteArray b;
        for (int i = 0; i < 8; ++i)
            b.append(char(v >> (8 * i)));
        return b;
    }
    static QByteArray le32(float f)
    {
        char b[4];
        std::memcpy(b, &f, 4);
        return QByteArray(b, 4);
    }
    static void appendElement(QByteArray &to, char type, const QByteArray &value)
    {
        to.append(type).append(char(value.size())).append(value);
    }

    void send(int fd, const sockaddr_in &to, const QByteArray &d)
    {
        ::sendto(fd, d.constData(), size_t(d.size()), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
    }

    void run()
    {
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        if (fd < 0)
            return;
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(m_plan.port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);

        const std::vector<quint64> ids = floodIds(m_plan.reports, m_plan.seed);
        QRandomGenerator random(m_plan.seed + 1);
        // Sent in slices of a millisecond's worth, each slice at its time.
        const int perMs = std::max(1, int(m_plan.rate / 1000.0));
        m_floodStarted = Clock::now();
        for (int i = 0; i < int(ids.size()) && !m_stop; ++i) {
            if (i % perMs == 0)
                std::this_thread::sleep_until(m_floodStarted + std::chrono::microseconds(qint64(i * 1e6 / m_plan.rate)));
            send(fd, to, report(ids[size_t(i)], float(random.bounded(40.0)), float(random.bounded(40.0)), 0.f));
            m_floodSent = i + 1;
        }
        m_floodEnded = Clock::now();
        m_floodDone = true;

        std::this_thread::sleep_until(m_floodEnded + std::chrono::milliseconds(m_plan.pauseMs));
        for (int n = 1; !m_stop; ++n) {
            const auto at = Clock::now();
            if (n == 1)
                m_firstGoodSent = at;
            send(fd, to, report(m_plan.goodId, goodX(n), m_plan.goodY, 0.f));
            m_goodSent = n;
            std::this_thread::sleep_until(at + std::chrono::milliseconds(m_plan.goodEveryMs));
        }
        ::close(fd);
    }

    Plan m_plan;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_floodSent{0};
    std::atomic<bool> m_floodDone{false};
    std::atomic<int> m_goodSent{0};
    // Written by the thread before the flags above that announce them.
    Clock::time_point m_floodStarted;
    Clock::time_point m_floodEnded;
    Clock::time_point m_firstGoodSent;
};
