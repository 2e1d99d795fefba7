#pragma once

#include <QVector>

#include <algorithm>
#include <cstdint>

// The arithmetic of the realistic link model, kept free of state so tests can check it against
// their own formula. Times are nanoseconds on the bench clock.
//
// A UART link moves one byte per 11 bit times (8 data bits, even parity, start and stop bit);
// a FIFO link moves bytes at once. Bytes reach the host in USB packets: a full packet leaves as soon
// as its last byte is in the chip, a shorter one only when the chip's latency timer expires, and
// either way on the next USB (micro)frame boundary.
class LinkTiming
{
public:
    struct Packet
    {
        int bytes;
        int64_t arrivalNs;
    };

    static constexpr int kBitsPerByte = 11;
    static constexpr int64_t kFullSpeedFrameNs = 1000000;
    static constexpr int64_t kHighSpeedFrameNs = 125000;
    static constexpr int kFullSpeedPacket = 64;
    static constexpr int kHighSpeedPacket = 512;

    LinkTiming(bool uart, bool highSpeed, uint32_t baudRate, uint32_t latencyMs)
        : m_uart(uart)
        , m_highSpeed(highSpeed)
        , m_baudRate(std::max<uint32_t>(baudRate, 1))
        , m_latencyMs(std::max<uint32_t>(latencyMs, 1))
    { }

    int64_t byteTimeNs() const
    {
        return m_uart ? (int64_t(kBitsPerByte) * 1000000000) / m_baudRate : 0;
    }
    int64_t framePeriodNs() const { return m_highSpeed ? kHighSpeedFrameNs : kFullSpeedFrameNs; }
    int packetSize() const { return m_highSpeed ? kHighSpeedPacket : kFullSpeedPacket; }
    int64_t latencyNs() const { return int64_t(m_latencyMs) * 1000000; }

    int64_t roundUpToFrame(int64_t t) const
    {
        const int64_t frame = framePeriodNs();
        return t <= 0 ? 0 : ((t + frame - 1) / frame) * frame;
    }

    // When the last byte of n bytes starting on the line at startNs has been moved.
    int64_t transferEndNs(int64_t startNs, int n) const
    {
        return startNs + int64_t(n) * byteTimeNs();
    }

    // The USB packets of a reply whose first byte starts on the line at startNs, in order.
    QVector<Packet> replyPackets(int64_t startNs, int length) const
    {
        QVector<Packet> packets;
        const int size = packetSize();
        for (int begin = 0; begin < length; begin += size) {
            const int end = std::min(begin + size, length);
            const int64_t lastInChip = transferEndNs(startNs, end);
            int64_t ready = lastInChip;
            if (end - begin < size)
                ready = std::max(lastInChip, transferEndNs(startNs, begin + 1) + latencyNs());
            packets.append(Packet{end - begin, roundUpToFrame(ready)});
        }
        return packets;
    }

private:
    bool m_uart;
    bool m_highSpeed;
    uint32_t m_baudRate;
    uint32_t m_latencyMs;
};
