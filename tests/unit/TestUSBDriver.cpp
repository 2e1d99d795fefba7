#include "TransportBenchTest.h"

#include "USBDevice.h"
#include "USBDriver.h"
#include "USBISocket.h"
#include "USBPacketProtocol.h"

namespace {

const char* const kCedar = "QZAH017010002";

class USBDriverTest : public TransportBenchTest
{ };

// A two-channel unit whose first or second socket cannot open: the driver leaves neither open
// and stays usable. (Opening, binding and closing on a working unit are the end-to-end tests'.)
TEST_F(USBDriverTest, FailingSocketsLeaveNothingOpen)
{
    loadBench(R"({"units": [{"chip": "FT2232H", "serial": "QZAH017010002", "location": 512}]})");
    USBDriver driver{std::make_shared<USBPacketProtocol>()};
    const auto devices = driver.enumerateDevices(true);
    ASSERT_EQ(devices.size(), 1);
    const std::shared_ptr<USBDevice> cedar = devices.first();
    for (bool primaryFails : {true, false}) {
        SCOPED_TRACE(primaryFails ? "primary socket fails"
                                  : "secondary socket fails after the primary opened");
        FT_HANDLE blocker = nullptr;
        if (primaryFails) {
            ASSERT_EQ(bench().failOpens(kCedar, 1), 0);
        } else {
            // Somebody else holds channel A: its socket cannot open.
            ASSERT_EQ(D2xxLibrary::instance().open(
                          listPosition(QStringLiteral("QZAH017010002A")), &blocker),
                FT_OK);
        }
        const USBResult result = driver.open(cedar, 500000);
        EXPECT_FALSE(result.isSuccess());
        EXPECT_EQ(result.category(), 0);
        if (primaryFails) {
            EXPECT_EQ(result.code(), int(FT_DEVICE_NOT_OPENED));
        }
        EXPECT_EQ(driver.device(), nullptr);
        for (const auto& socket : cedar->sockets())
            EXPECT_FALSE(socket->isOpen());
        EXPECT_EQ(bench().openHandleCount(), blocker ? 1 : 0);
        if (blocker)
            D2xxLibrary::instance().close(blocker);
    }
    ASSERT_TRUE(driver.open(cedar, 500000).isSuccess());
    driver.close();
    EXPECT_EQ(bench().openHandleCount(), 0);
}

} // namespace
