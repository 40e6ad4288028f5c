#include "JsonLineSplitter.h"

JsonLineSplitter::JsonLineSplitter(int maxPendingBytes)
    : m_maxPending(maxPendingBytes)
{
}

void JsonLineSplitter::clear()
{
    m_pending.clear();
    m_discarding = false;
}

bool JsonLineSplitter::keepTail(const char *tail, int length)
{
    if (m_pending.size() + length > m_maxPending) {
        m_pending.clear();
        m_discarding = true;
        return true;
    }
    m_pending.append(tail, length);
    return false;
}
