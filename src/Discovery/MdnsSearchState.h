#pragma once

#include <atomic>

// Whether a multicast DNS search is running, and which one, shared by the
// GUI thread (which starts searches) and the discovery worker (which ends
// the one it ran when it found a master). Both live in one atomic word, so
// the worker's "end my search" and a new search started at the same moment
// can never lose the new search.
class MdnsSearchState
{
public:
    // GUI thread: starts a new search, also while one runs.
    void start()
    {
        unsigned word = m_word.load();
        while (!m_word.compare_exchange_weak(word, (word | kActive) + kOneSearch)) {
        }
    }

    // GUI thread: no search runs any more.
    void stop() { m_word.fetch_and(~kActive); }

    bool isActive() const { return m_word.load() & kActive; }
    // The number of the latest search started.
    unsigned search() const { return m_word.load() >> 1; }

    // Worker: ends search number `search`. Returns false, and leaves the
    // state alone, when a newer search was started meanwhile (or none runs).
    bool finish(unsigned search)
    {
        unsigned expected = (search << 1) | kActive;
        return m_word.compare_exchange_strong(expected, search << 1);
    }

private:
    static constexpr unsigned kActive = 1;
    static constexpr unsigned kOneSearch = 2;
    std::atomic<unsigned> m_word{0};
};
