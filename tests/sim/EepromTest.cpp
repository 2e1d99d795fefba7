#include "BenchClient.h"

#include <cstddef>
#include <tuple>

using namespace benchclient;

namespace {

class EepromTest : public BenchTest
{
};

TEST_F(EepromTest, EachChipTypeGivesItsSerialThroughItsOwnRecordOnly)
{
    const std::pair<const char*, DWORD> cases[] = {
        {"QZAH015010001", 2}, {"QZAH017010002B", 3}, {"QZAH017010002A", 3}, {"QZAH019010003", 5}, {"QZAH025010004", 0},
    };
    for (const auto& [listed, version] : cases) {
        SCOPED_TRACE(listed);
        FT_HANDLE handle = openListed(QString::fromLatin1(listed));
        ASSERT_NE(handle, nullptr);
        Eeprom eeprom(version);
        ASSERT_EQ(eeprom.read(handle), FT_OK);
        EXPECT_EQ(QByteArray(eeprom.serial), QByteArray(listed).left(13));
        EXPECT_STREQ(eeprom.manufacturer, "FTDI");
        if (version) {
            EXPECT_EQ(eeprom.data.VendorId, 0x0403);
            EXPECT_EQ(eeprom.data.Version, version) << "the caller's header stays";
        } else {
            EXPECT_EQ(eeprom.x.common.ProductId, 0x6015);
        }
        Eeprom other(version ? 0 : 5);
        EXPECT_EQ(other.read(handle), FT_NOT_SUPPORTED);
        EXPECT_EQ(FT_Close(handle), FT_OK);
    }
}

TEST_F(EepromTest, UnprogrammedChipsAnswerNotProgrammedUntilProgrammed)
{
    ASSERT_EQ(kavrasim_load_bench(R"({"units":[
        {"chip":"FT232H","serial":"QZAH019010007","eepromProgrammed":false},
        {"chip":"FT2232H","serial":"QZAH017010008","eepromProgrammed":false}]})"),
              KAVRASIM_OK);
    for (const char* listed : {"QZAH019010007", "QZAH017010008B"}) {
        SCOPED_TRACE(listed);
        FT_HANDLE handle = openListed(QString::fromLatin1(listed));
        ASSERT_NE(handle, nullptr);
        Eeprom eeprom(5);
        EXPECT_EQ(eeprom.read(handle), FT_EEPROM_NOT_PROGRAMMED);
        EXPECT_STREQ(eeprom.serial, "") << "nothing written on failure";

        std::strcpy(eeprom.description, "Kavra Unit");
        std::strcpy(eeprom.serial, "QZAH019010042");
        eeprom.data.MaxPower = 500;
        eeprom.data.Cbus8H = 4;
        ASSERT_EQ(eeprom.program(handle), FT_OK);
        Eeprom back(5);
        ASSERT_EQ(back.read(handle), FT_OK);
        EXPECT_STREQ(back.serial, "QZAH019010042");
        EXPECT_STREQ(back.description, "Kavra Unit");
        EXPECT_EQ(back.data.MaxPower, 500);
        EXPECT_EQ(back.data.Cbus8H, 4);
        EXPECT_EQ(FT_Close(handle), FT_OK);
    }
}

TEST_F(EepromTest, ReadAndProgramTouchOnlyTheFieldsOfTheCallersVersion)
{
    if (sizeof(void*) != 8)
        GTEST_SKIP() << "the sizes below are those of 64-bit builds";
    // A structure declared for version 2 (FT232R) ends after RIsD2XX, one for version 4 (FT4232H)
    // after DIsVCP8: 104 and 152 bytes with their tail padding.
    const std::tuple<const char*, DWORD, std::size_t> cases[] = {{kAlder, 2, 104}, {kGeneric19, 4, 152}};
    for (const auto& [serial, version, size] : cases) {
        SCOPED_TRACE(version);
        FT_HANDLE handle = openListed(QString::fromLatin1(serial));
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
            ASSERT_EQ(buffer[i], kCanary) << "byte " << i << " past the caller's structure was written";

        // Programming takes the version's fields and keeps the later ones as they were.
        data->MaxPower = 321;
        ASSERT_EQ(FT_EE_Program(handle, data), FT_OK);
        Eeprom after(5);
        ASSERT_EQ(after.read(handle), FT_OK);
        EXPECT_EQ(after.data.MaxPower, 321);
        const auto* afterBytes = reinterpret_cast<const unsigned char*>(&after.data);
        const auto* beforeBytes = reinterpret_cast<const unsigned char*>(&before.data);
        for (std::size_t i = size; i < sizeof(FT_PROGRAM_DATA); ++i)
            ASSERT_EQ(afterBytes[i], beforeBytes[i]) << "byte " << i << " was taken from past the caller's structure";
        EXPECT_EQ(FT_Close(handle), FT_OK);
    }
}

TEST_F(EepromTest, XSeriesRecordRoundTrips)
{
    FT_HANDLE handle = openListed(QString::fromLatin1(kBirch));
    ASSERT_NE(handle, nullptr);
    Eeprom eeprom(0);
    ASSERT_EQ(eeprom.read(handle), FT_OK);
    eeprom.x.Cbus0 = 0x0E;
    eeprom.x.BCDDisableSleep = 1;
    eeprom.x.common.MaxPower = 250;
    std::strcpy(eeprom.serial, "QZAH040010099");
    ASSERT_EQ(eeprom.program(handle), FT_OK);
    Eeprom back(0);
    ASSERT_EQ(back.read(handle), FT_OK);
    EXPECT_EQ(std::memcmp(&back.x, &eeprom.x, sizeof eeprom.x), 0);
    EXPECT_STREQ(back.serial, "QZAH040010099");
    back.x.common.deviceType = FT_DEVICE_232R;
    EXPECT_EQ(back.read(handle), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

TEST_F(EepromTest, CyclePortListsTheProgrammedTextsAndKillsTheChipsHandles)
{
    FT_HANDLE channelB = openListed(QStringLiteral("QZAH017010002B"));
    FT_HANDLE channelA = openListed(QStringLiteral("QZAH017010002A"));
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
    EXPECT_GE(indexOf(QStringLiteral("QZAH017010002B")), 0) << "the list changes only on re-enumeration";

    ASSERT_EQ(FT_CyclePort(channelB), FT_OK);
    EXPECT_EQ(indexOf(QStringLiteral("QZAH017010002B")), -1);
    const int index = indexOf(QStringLiteral("QZBH017010077B"));
    ASSERT_GE(index, 0);
    EXPECT_STREQ(deviceList()[index].Description, "Renamed B");
    EXPECT_STREQ(deviceList()[index - 1].SerialNumber, "QZBH017010077A");
    DWORD rx = 0;
    EXPECT_EQ(FT_GetQueueStatus(channelA, &rx), FT_IO_ERROR);
    EXPECT_EQ(FT_Close(channelB), FT_OK);
    EXPECT_EQ(FT_Close(channelA), FT_OK);
}

TEST_F(EepromTest, FailedEepromReadsStrikeTheGivenNumberOfTimes)
{
    ASSERT_EQ(kavrasim_fail_eeprom_reads(kAlder, 2), KAVRASIM_OK);
    ASSERT_EQ(kavrasim_fail_eeprom_reads(kGeneric25, 1), KAVRASIM_OK);
    const std::tuple<const char*, DWORD, int> cases[] = {{kAlder, 2, 2}, {kGeneric25, 0, 1}};
    for (const auto& [serial, version, failures] : cases) {
        SCOPED_TRACE(serial);
        FT_HANDLE handle = openListed(QString::fromLatin1(serial));
        ASSERT_NE(handle, nullptr);
        Eeprom eeprom(version);
        for (int i = 0; i < failures; ++i)
            EXPECT_EQ(eeprom.read(handle), FT_EEPROM_READ_FAILED);
        EXPECT_EQ(eeprom.read(handle), FT_OK);
        EXPECT_EQ(FT_Close(handle), FT_OK);
    }
}

} // namespace
