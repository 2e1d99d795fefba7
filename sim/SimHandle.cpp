#include "SimHandle.h"

#include <algorithm>
#include <utility>

SimHandle::SimHandle(std::shared_ptr<SimChip> chip, int channelIndex)
    : m_chip(std::move(chip)), m_channelIndex(channelIndex), m_generation(m_chip->generation())
{ }

LinkTiming SimHandle::timing() const
{
    return LinkTiming(
        m_chip->isUartLink(m_channelIndex), m_chip->isHighSpeed(), baudRate, latencyMs);
}

void SimHandle::enqueue(
    const QByteArray& bytes, int64_t arrivalNs, int64_t firstInChipNs, int64_t byteNs)
{
    if (!bytes.isEmpty())
        m_queue.push_back(Chunk{bytes, arrivalNs, firstInChipNs, byteNs});
}

int SimHandle::readyCount(int64_t nowNs) const
{
    int count = 0;
    int offset = m_frontOffset;
    for (const Chunk& chunk : m_queue) {
        if (chunk.arrivalNs > nowNs)
            break;
        count += chunk.bytes.size() - offset;
        offset = 0;
    }
    return count;
}

int64_t SimHandle::nextArrivalNs(int64_t nowNs) const
{
    for (const Chunk& chunk : m_queue) {
        if (chunk.arrivalNs > nowNs)
            return chunk.arrivalNs;
    }
    return -1;
}

QByteArray SimHandle::take(int count, int64_t nowNs)
{
    QByteArray out;
    while (count > 0 && !m_queue.empty() && m_queue.front().arrivalNs <= nowNs) {
        const Chunk& front = m_queue.front();
        const int n = std::min(count, front.bytes.size() - m_frontOffset);
        out.append(front.bytes.constData() + m_frontOffset, n);
        m_frontOffset += n;
        count -= n;
        if (m_frontOffset == front.bytes.size()) {
            m_queue.pop_front();
            m_frontOffset = 0;
        }
    }
    return out;
}

void SimHandle::purgeReceive(int64_t nowNs)
{
    std::deque<Chunk> kept;
    for (Chunk& chunk : m_queue) {
        // How many of the chunk's bytes the chip holds by now; the rest are still on the line.
        int inChip = chunk.bytes.size();
        if (chunk.firstInChipNs > nowNs)
            inChip = 0;
        else if (chunk.byteNs > 0)
            inChip
                = int(std::min<int64_t>((nowNs - chunk.firstInChipNs) / chunk.byteNs + 1, inChip));
        if (inChip == chunk.bytes.size())
            continue;
        chunk.bytes.remove(0, inChip);
        chunk.firstInChipNs += int64_t(inChip) * chunk.byteNs;
        kept.push_back(std::move(chunk));
    }
    m_queue.swap(kept);
    m_frontOffset = 0;
}
