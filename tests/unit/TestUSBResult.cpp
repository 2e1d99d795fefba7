#include "USBResult.h"

#include <gtest/gtest.h>

TEST(USBResult, D2xxStatusTexts)
{
    struct Case { uint32_t status; const char* message; };
    const Case cases[] = {
        {0, "Valid"}, {1, "Invalid handle"}, {2, "Device not found"}, {3, "Device not opened"},
        {4, "Communication error"}, {5, "Insufficient resources"}, {6, "Invalid parameter"},
        {7, "Invalid BAUD rate"}, {8, "Unable to erase"}, {9, "Unable to write"},
        {10, "Unable to write"}, {11, "Unable to read EEPROM"}, {12, "Unable to write EEPROM"},
        {13, "Unable to erase EEPROM"}, {14, "EEPROM not present"}, {15, "EEPROM not programmed"},
        {16, "Invalid arguments"}, {17, "Unsupported devices"}, {18, "Unknown error"},
        {19, "Unknown error"}, {0xFFFFFFFFu, "Unknown error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        const USBResult r(c.status);
        EXPECT_EQ(r.message(), QString::fromLatin1(c.message));
        EXPECT_EQ(r.category(), 0);
        EXPECT_EQ(static_cast<uint32_t>(r.code()), c.status);
        EXPECT_EQ(r.type(), c.status == 0 ? 0 : 2);
        EXPECT_EQ(r.isSuccess(), c.status == 0);
        EXPECT_EQ(r.text(), c.status == 0 ? QStringLiteral("Success") : QString::fromLatin1(c.message));
    }
}
