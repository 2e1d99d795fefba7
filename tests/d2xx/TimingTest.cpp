#include "D2xxBenchTest.h"

using namespace benchclient;

namespace {

class RealisticTimingTest : public D2xxBenchTest
{ };

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
    ASSERT_EQ(writeBytes(handle, packet(1, 0x15)), FT_OK);
    ASSERT_EQ(writeBytes(handle, packet(2, 0x15)), FT_OK);
    DWORD rx = 99;
    ASSERT_EQ(FT_GetQueueStatus(handle, &rx), FT_OK);
    EXPECT_EQ(rx, 0u);
    EXPECT_EQ(readBytes(handle, 16), echo(1) + echo(2));
    // A read with a time-out shorter than the link's delay returns early with nothing.
    ASSERT_EQ(FT_SetTimeouts(handle, 20, 20), FT_OK);
    ASSERT_EQ(writeBytes(handle, packet(3, 0x15)), FT_OK);
    EXPECT_EQ(readBytes(handle, 8), QByteArray());
    ASSERT_EQ(FT_SetTimeouts(handle, 5000, 5000), FT_OK);
    EXPECT_EQ(readBytes(handle, 8), echo(3));
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

} // namespace
