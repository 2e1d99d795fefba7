#include "D2xxBenchTest.h"

#include <cstddef>
#include <tuple>

using namespace benchclient;

namespace {

using EepromTest = D2xxBenchTest;

TEST_F(EepromTest, EachChipTypeGivesItsSerialThroughItsOwnRecordOnly)
{
    const std::pair<QString, DWORD> cases[] = {
        {QString::fromLatin1(kAlder), 2},
        {channel(kCedar, 'B'), 3},
        {channel(kCedar, 'A'), 3},
        {QString::fromLatin1(kGeneric19), 5},
        {QString::fromLatin1(kGeneric25), 0},
    };
    for (const auto& [listed, version] : cases) {
        SCOPED_TRACE(listed.toStdString());
        FT_HANDLE handle = openListed(listed);
        ASSERT_NE(handle, nullptr);
        Eeprom eeprom(version);
        ASSERT_EQ(eeprom.read(handle), FT_OK);
        EXPECT_EQ(QByteArray(eeprom.serial), listed.left(13).toLatin1());
        EXPECT_STREQ(eeprom.manufacturer, "FTDI");
        if (version) {
            EXPECT_EQ(eeprom.data.VendorId, 0x0403);
            EXPECT_EQ(eeprom.data.Version, version) << "the caller's header stays";
        } else {
            EXPECT_EQ(eeprom.x.common.ProductId, 0x6015);
        }
        Eeprom other(version ? 0 : 5);
        EXPECT_EQ(other.read(handle), FT_NOT_SUPPORTED);
        if (!version) {
            // The FT-X record names its chip type: another type is refused.
            eeprom.x.common.deviceType = FT_DEVICE_232R;
            EXPECT_EQ(eeprom.read(handle), FT_INVALID_PARAMETER);
        }
        EXPECT_EQ(FT_Close(handle), FT_OK);
    }
}

TEST_F(EepromTest, ReadAndProgramTouchOnlyTheFieldsOfTheCallersVersion)
{
    if (sizeof(void*) != 8)
        GTEST_SKIP() << "the sizes below are those of 64-bit builds";
    // A structure declared for version 2 (FT232R) ends after RIsD2XX, one for version 4 (FT4232H)
    // after DIsVCP8: 104 and 152 bytes with their tail padding.
    const std::tuple<const char*, DWORD, std::size_t> cases[]
        = {{kAlder, 2, 104}, {kGeneric19, 4, 152}};
    for (const auto& [serial, version, size] : cases) {
        SCOPED_TRACE(version);
        FT_HANDLE handle = openListed(serial);
        ASSERT_NE(handle, nullptr);
        Eeprom before(5);
        ASSERT_EQ(before.read(handle), FT_OK);

        // The caller's structure in a buffer whose bytes past it are canaries.
        constexpr unsigned char kCanary = 0xA5;
        alignas(FT_PROGRAM_DATA) unsigned char buffer[sizeof(FT_PROGRAM_DATA) + 16];
        std::memset(buffer, kCanary, sizeof buffer);
        Eeprom texts(version);
        std::memcpy(buffer, &texts.data, offsetof(FT_PROGRAM_DATA, MaxPower));
        auto* data = reinterpret_cast<FT_PROGRAM_DATA*>(buffer);
        ASSERT_EQ(FT_EE_Read(handle, data), FT_OK);
        EXPECT_EQ(data->VendorId, 0x0403);
        EXPECT_EQ(data->Version, version);
        EXPECT_STREQ(texts.serial, serial);
        for (std::size_t i = size; i < sizeof buffer; ++i)
            ASSERT_EQ(buffer[i], kCanary)
                << "byte " << i << " past the caller's structure was written";

        // Programming takes the version's fields and keeps the later ones as they were.
        data->MaxPower = 321;
        ASSERT_EQ(FT_EE_Program(handle, data), FT_OK);
        Eeprom after(5);
        ASSERT_EQ(after.read(handle), FT_OK);
        EXPECT_EQ(after.data.MaxPower, 321);
        const auto* afterBytes = reinterpret_cast<const unsigned char*>(&after.data);
        const auto* beforeBytes = reinterpret_cast<const unsigned char*>(&before.data);
        for (std::size_t i = size; i < sizeof(FT_PROGRAM_DATA); ++i)
            ASSERT_EQ(afterBytes[i], beforeBytes[i])
                << "byte " << i << " was taken from past the caller's structure";
        EXPECT_EQ(FT_Close(handle), FT_OK);
    }
}

TEST_F(EepromTest, CyclePortListsTheProgrammedTextsAndKillsTheChipsHandles)
{
    FT_HANDLE channelB = openListed(channel(kCedar, 'B'));
    FT_HANDLE channelA = openListed(channel(kCedar, 'A'));
    ASSERT_NE(channelB, nullptr);
    ASSERT_NE(channelA, nullptr);
    Eeprom eeprom(3);
    ASSERT_EQ(eeprom.read(channelB), FT_OK);
    // A dual chip keeps one character of its serial for the channel letter.
    std::strcpy(eeprom.serial, "QZAH01701000210");
    EXPECT_EQ(eeprom.program(channelB), FT_INVALID_PARAMETER);
    std::strcpy(eeprom.serial, "QZBH017010077");
    std::strcpy(eeprom.description, "Renamed");
    ASSERT_EQ(eeprom.program(channelB), FT_OK);
    EXPECT_GE(indexOf(channel(kCedar, 'B')), 0) << "the list changes only on re-enumeration";

    ASSERT_EQ(FT_CyclePort(channelB), FT_OK);
    EXPECT_EQ(indexOf(channel(kCedar, 'B')), -1);
    const int index = indexOf(QStringLiteral("QZBH017010077B"));
    ASSERT_GE(index, 0);
    EXPECT_STREQ(deviceList()[index].Description, "Renamed B");
    EXPECT_STREQ(deviceList()[index - 1].SerialNumber, "QZBH017010077A");
    DWORD rx = 0;
    EXPECT_EQ(FT_GetQueueStatus(channelA, &rx), FT_IO_ERROR);
    EXPECT_EQ(FT_Close(channelB), FT_OK);
    EXPECT_EQ(FT_Close(channelA), FT_OK);
}

} // namespace
