#pragma once

#if defined(__linux__)
#include <sys/prctl.h>
#endif

// Narrows the calling thread's timer slack for as long as it lives, then restores it. A thread's
// timed waits end up to its slack (50 µs by default on Linux) late; the realistic link model
// times replies to the microsecond, so a read waiting for a reply's arrival asks for the
// tightest wake the system gives. Elsewhere it does nothing.
class TimerSlackScope
{
public:
    TimerSlackScope()
    {
#if defined(__linux__)
        const int previous = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
        if (previous > 1 && prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0) == 0)
            m_previous = static_cast<unsigned long>(previous);
#endif
    }
    ~TimerSlackScope()
    {
#if defined(__linux__)
        if (m_previous > 0)
            prctl(PR_SET_TIMERSLACK, m_previous, 0, 0, 0);
#endif
    }
    TimerSlackScope(const TimerSlackScope&) = delete;
    TimerSlackScope& operator=(const TimerSlackScope&) = delete;

private:
    unsigned long m_previous = 0;
};
