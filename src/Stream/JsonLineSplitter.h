#pragma once

#include <QByteArray>

// Cuts a stream of datagrams into lines ended by a line feed. A line split
// over several datagrams is joined; a line that never ends is bounded: once
// the gathered text exceeds the limit it is dropped, and everything up to
// the next line feed with it, so the next line is read cleanly.
class JsonLineSplitter
{
public:
    explicit JsonLineSplitter(int maxPendingBytes);

    // Calls onLine(const QByteArray &line) for every complete, non-empty
    // line in order. Lines that lie wholly inside data are not copied: they
    // share data's bytes and are valid only during the call. Returns true
    // when this call had to drop an over-long line (once per such line).
    template<typename OnLine>
    bool feed(const QByteArray &data, OnLine &&onLine);

    int pendingSize() const { return m_pending.size(); }
    // The start of a line not yet ended.
    const QByteArray &pending() const { return m_pending; }
    bool isDiscarding() const { return m_discarding; }
    // True while a line has begun and not ended.
    bool isMidLine() const { return m_discarding || !m_pending.isEmpty(); }
    void clear();

private:
    // Keeps the unterminated tail; true when it had to be dropped.
    bool keepTail(const char *tail, int length);

    QByteArray m_pending;
    const int m_maxPending;
    bool m_discarding = false;
};

template<typename OnLine>
bool JsonLineSplitter::feed(const QByteArray &data, OnLine &&onLine)
{
    const char *const begin = data.constData();
    const int size = data.size();
    int pos = 0;

    if (m_discarding) {
        const int lf = data.indexOf('\n');
        if (lf < 0)
            return false;
        m_discarding = false;
        pos = lf + 1;
    }

    if (!m_pending.isEmpty()) {
        const int lf = data.indexOf('\n', pos);
        if (lf < 0)
            return keepTail(begin + pos, size - pos);
        m_pending.append(begin + pos, lf - pos);
        onLine(static_cast<const QByteArray &>(m_pending));
        m_pending.clear();
        pos = lf + 1;
    }

    for (;;) {
        const int lf = data.indexOf('\n', pos);
        if (lf < 0)
            break;
        if (lf > pos)
            onLine(QByteArray::fromRawData(begin + pos, lf - pos));
        pos = lf + 1;
    }
    return pos < size ? keepTail(begin + pos, size - pos) : false;
}
