#include "BootloaderCommRequest.h"
#include "KavraDriver_Alder_CommRequest.h"
#include "KavraDriver_Birch_CommRequest.h"
#include "KavraDriver_Cedar_CommRequest.h"
#include "KavraDriver_Generic_CommRequest.h"
#include "KavraDriver_Rowan_CommRequest.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

QString corrupted(int status)
{
    return QStringLiteral("Instruction stream was corrupted (unexpected return value [%1])")
        .arg(status);
}

// What each status byte means to each family's requests and to the bootloader's.
TEST(CommRequest, statusTablesPerFamily)
{
    const QString ok,
        notRecognised = QStringLiteral("Instruction was not recognised by target device");
    const QString busy = QStringLiteral("Target device is busy");
    struct Case
    {
        int status;
        QString alderGeneric, birchRowan, cedar, bootloader;
    };
    const Case cases[] = {
        {0, ok, ok, ok, ok},
        {1, notRecognised, notRecognised, notRecognised, notRecognised},
        {2, busy, busy, busy, busy},
        {3, corrupted(3), corrupted(3), corrupted(3),
            QStringLiteral("Device was not unlocked for write")},
        {32, busy, corrupted(32), corrupted(32), corrupted(32)},
        {91, corrupted(91), corrupted(91), corrupted(91), ok},
        {92, corrupted(92), corrupted(92), corrupted(92), ok},
        {93, corrupted(93), corrupted(93), corrupted(93), corrupted(93)},
        {100, corrupted(100), corrupted(100), QStringLiteral("HV bus os off"), corrupted(100)},
        {101, corrupted(101), corrupted(101), QStringLiteral("External USB power is off"),
            corrupted(101)},
        {102, corrupted(102), corrupted(102), QStringLiteral("Power supply encountered an error"),
            corrupted(102)},
    };
    const std::shared_ptr<USBICommRequest> requests[]
        = {std::make_shared<KavraDriver_Alder_CommRequest>(0x20),
            std::make_shared<KavraDriver_Generic_CommRequest>(0, ModelId(19, 1)),
            std::make_shared<KavraDriver_Birch_CommRequest>(0x20),
            std::make_shared<KavraDriver_Rowan_CommRequest>(0x40),
            std::make_shared<KavraDriver_Cedar_CommRequest>(0x20),
            std::make_shared<BootloaderCommRequest>(1, 10, 0)};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        const QString expected[]
            = {c.alderGeneric, c.alderGeneric, c.birchRowan, c.birchRowan, c.cedar, c.bootloader};
        for (int i = 0; i < 6; ++i) {
            const USBResult result = requests[i]->checkStatus(static_cast<uint8_t>(c.status));
            EXPECT_EQ(result.isSuccess(), expected[i].isEmpty()) << i;
            EXPECT_EQ(result.message(), expected[i]) << i;
        }
    }
}

} // namespace
