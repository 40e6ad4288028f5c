#pragma once

#include <ctime>

// CPU time used so far, in seconds: by the calling thread (the GUI thread,
// where the stream is decoded and the views draw) or by the whole process.
class BenchCpu
{
public:
    static double threadSeconds() { return seconds(CLOCK_THREAD_CPUTIME_ID); }
    static double processSeconds() { return seconds(CLOCK_PROCESS_CPUTIME_ID); }

private:
    static double seconds(clockid_t clock)
    {
        timespec ts{};
        clock_gettime(clock, &ts);
        return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
    }
};
