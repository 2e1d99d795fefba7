#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

// A lock that admits its holders in the order in which they took their place. Taking a place
// never blocks, so a caller can queue while it holds another lock and wait once it has let that
// lock go: calls on one unit then run one at a time, in the order they arrived.
class FifoLock
{
public:
    // One place in the line. The holder's turn ends when the place is destroyed; a place that
    // never waited waits for its turn first, so that nobody behind it is skipped or let in early.
    class Place
    {
    public:
        explicit Place(FifoLock& lock);
        ~Place();
        Place(const Place&) = delete;
        Place& operator=(const Place&) = delete;

        // Blocks until every earlier place has left.
        void wait();

    private:
        FifoLock& m_lock;
        uint64_t m_ticket;
        bool m_holding;
    };

    FifoLock() = default;
    FifoLock(const FifoLock&) = delete;
    FifoLock& operator=(const FifoLock&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_turnChanged;
    uint64_t m_nextTicket = 0;
    uint64_t m_serving = 0;
};
