#include "BenchClient.h"
#include "LinkTiming.h"

#include <QElapsedTimer>

using namespace benchclient;

namespace {

// The model restated independently: 11 bit times a byte on a serial link; a short packet waits for
// the latency timer from its first byte; everything waits for the next (micro)frame.
int64_t expectedArrival(bool uart, bool highSpeed, uint32_t baud, uint32_t latencyMs, int64_t start, int begin,
                        int end, bool fullPacket)
{
    const int64_t bit = uart ? int64_t(11) * 1000000000 / baud : 0;
    int64_t ready = start + end * bit;
    if (!fullPacket)
        ready = std::max(ready, start + (begin + 1) * bit + int64_t(latencyMs) * 1000000);
    const int64_t frame = highSpeed ? 125000 : 1000000;
    return (ready + frame - 1) / frame * frame;
}

// The bare reply to the bootloader's 0x15 request: the header with status 0.
QByteArray echo(quint32 id)
{
    QByteArray reply = request(id, 0x15);
    reply[5] = 0;
    return reply;
}

TEST(LinkTimingTest, PacketsArriveAsTheLinkModelSays)
{
    struct Case
    {
        bool uart;
        bool highSpeed;
        uint32_t baud;
        uint32_t latencyMs;
        int64_t start;
        int length;
    };
    const Case cases[] = {
        {true, false, 500000, 2, 0, 8},          // FT232R command reply
        {true, false, 9600, 2, 0, 150},          // slow link, several packets
        {true, true, 500000, 2, 300000, 8},      // FT2232H channel B
        {false, true, 500000, 2, 10, 512},       // FIFO, exactly one full packet
        {false, true, 500000, 2, 10, 1300},      // FIFO, two full and one short
        {true, false, 3000000, 255, 0, 64},      // exactly one full-speed packet
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "baud " << c.baud << " length " << c.length);
        const LinkTiming timing(c.uart, c.highSpeed, c.baud, c.latencyMs);
        EXPECT_EQ(timing.byteTimeNs(), c.uart ? int64_t(11) * 1000000000 / c.baud : 0);
        const QVector<LinkTiming::Packet> packets = timing.replyPackets(c.start, c.length);
        const int size = c.highSpeed ? 512 : 64;
        ASSERT_EQ(packets.size(), (c.length + size - 1) / size);
        int begin = 0;
        int64_t previous = 0;
        for (const LinkTiming::Packet& packet : packets) {
            const int end = std::min(begin + size, c.length);
            EXPECT_EQ(packet.bytes, end - begin);
            EXPECT_EQ(packet.arrivalNs,
                      expectedArrival(c.uart, c.highSpeed, c.baud, c.latencyMs, c.start, begin, end, end - begin == size));
            EXPECT_GE(packet.arrivalNs, previous) << "packets arrive in order";
            EXPECT_EQ(packet.arrivalNs % (c.highSpeed ? 125000 : 1000000), 0) << "on a frame boundary";
            previous = packet.arrivalNs;
            begin = end;
        }
    }
}

class RealisticTimingTest : public BenchTest
{
};

TEST_F(RealisticTimingTest, RepliesWaitForTheLinkAndKeepTheirOrder)
{
    ASSERT_EQ(kavrasim_load_bench(R"({"timing":"realistic","units":[
        {"chip":"FT232R","serial":"QZAH015010001"}]})"),
              KAVRASIM_OK);
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(FT_Open(0, &handle), FT_OK);
    // A slow link with the longest latency: the reply cannot be there at once.
    ASSERT_EQ(FT_SetBaudRate(handle, 9600), FT_OK);
    ASSERT_EQ(FT_SetLatencyTimer(handle, 255), FT_OK);
    ASSERT_EQ(FT_SetTimeouts(handle, 5000, 5000), FT_OK);
    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(writeBytes(handle, request(1, 0x15)), FT_OK);
    ASSERT_EQ(writeBytes(handle, request(2, 0x15)), FT_OK);
    DWORD rx = 99;
    ASSERT_EQ(FT_GetQueueStatus(handle, &rx), FT_OK);
    EXPECT_EQ(rx, 0u);
    EXPECT_EQ(readBytes(handle, 16), echo(1) + echo(2));
    EXPECT_LT(timer.elapsed(), 4000);
    // A read with a time-out shorter than the link's delay returns early with nothing.
    ASSERT_EQ(FT_SetTimeouts(handle, 20, 20), FT_OK);
    ASSERT_EQ(writeBytes(handle, request(3, 0x15)), FT_OK);
    EXPECT_EQ(readBytes(handle, 8), QByteArray());
    ASSERT_EQ(FT_SetTimeouts(handle, 5000, 5000), FT_OK);
    EXPECT_EQ(readBytes(handle, 8), echo(3));
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

} // namespace
