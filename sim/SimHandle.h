#pragma once

#include "LinkTiming.h"
#include "SimChip.h"

#include <QByteArray>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

// One open D2XX handle: a channel of a chip, its link settings and its receive queue, in which
// every reply carries the bench time at which it reaches the host. It does not lock: the bench
// serialises every call. Readers blocked on this handle wait on its own condition, so that
// traffic on other handles never wakes them.
class SimHandle
{
public:
    SimHandle(std::shared_ptr<SimChip> chip, int channelIndex);

    SimChip& chip() { return *m_chip; }
    const std::shared_ptr<SimChip>& chipPointer() const { return m_chip; }
    int channelIndex() const { return m_channelIndex; }
    int link() const { return m_chip->channels().at(m_channelIndex).link; }
    // Alive while its chip stays plugged in and has not re-enumerated since the open.
    bool isAlive() const { return m_chip->isPlugged() && m_chip->generation() == m_generation; }
    bool isClosed() const { return m_closed; }
    void markClosed() { m_closed = true; }

    LinkTiming timing() const;

    // Queues bytes that reach the host at arrivalNs. Their first byte is in the chip at
    // firstInChipNs and each further one byteNs later (0: all at once).
    void enqueue(const QByteArray& bytes, int64_t arrivalNs, int64_t firstInChipNs, int64_t byteNs);
    int readyCount(int64_t nowNs) const;
    // Arrival time of the first byte not yet arrived, or -1 when everything has.
    int64_t nextArrivalNs(int64_t nowNs) const;
    QByteArray take(int count, int64_t nowNs);
    // Discards the bytes in the chip or at the host by nowNs, as a chip's purge does; bytes still
    // on the line reach the host as planned.
    void purgeReceive(int64_t nowNs);

    // Waits, with the bench's lock released, until woken or until the given time.
    void waitForChange(
        std::unique_lock<std::mutex>& benchLock, std::chrono::steady_clock::time_point until)
    {
        m_changed.wait_until(benchLock, until);
    }
    // Wakes the readers blocked on this handle: bytes arrived, or the handle closed or died.
    void wakeReaders() { m_changed.notify_all(); }

    uint32_t readTimeoutMs = 0;
    uint32_t writeTimeoutMs = 0;
    uint32_t baudRate = 9600;
    uint32_t latencyMs = 16;
    // Bench times at which each direction of the link is free again.
    int64_t txLineFreeNs = 0;
    int64_t rxLineFreeNs = 0;
    int64_t lastArrivalNs = 0;

private:
    struct Chunk
    {
        QByteArray bytes;
        int64_t arrivalNs;
        int64_t firstInChipNs;
        int64_t byteNs;
    };

    std::shared_ptr<SimChip> m_chip;
    int m_channelIndex;
    uint64_t m_generation;
    bool m_closed = false;
    std::deque<Chunk> m_queue;
    int m_frontOffset = 0;
    std::condition_variable m_changed;
};
