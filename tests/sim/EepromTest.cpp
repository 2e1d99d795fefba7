#include "BenchClient.h"

using namespace benchclient;

namespace {

class EepromTest : public BenchTest
{
};

struct ProgramDataBuffers
{
    char manufacturer[32] = {};
    char manufacturerId[16] = {};
    char description[64] = {};
    char serial[16] = {};
    FT_PROGRAM_DATA data{};

    explicit ProgramDataBuffers(DWORD version)
    {
        data.Signature1 = FT_PROGRAM_DATA_SIGNATURE1;
        data.Signature2 = FT_PROGRAM_DATA_SIGNATURE2;
        data.Version = version;
        data.Manufacturer = manufacturer;
        data.ManufacturerId = manufacturerId;
        data.Description = description;
        data.SerialNumber = serial;
    }
};

struct XSeriesBuffers
{
    char manufacturer[32] = {};
    char manufacturerId[16] = {};
    char description[64] = {};
    char serial[16] = {};
    FT_EEPROM_X_SERIES data{};

    XSeriesBuffers() { data.common.deviceType = FT_DEVICE_X_SERIES; }
    FT_STATUS read(FT_HANDLE handle)
    {
        return FT_EEPROM_Read(handle, &data, sizeof data, manufacturer, manufacturerId, description, serial);
    }
    FT_STATUS program(FT_HANDLE handle)
    {
        return FT_EEPROM_Program(handle, &data, sizeof data, manufacturer, manufacturerId, description, serial);
    }
};

TEST_F(EepromTest, EachChipTypeGivesItsSerialThroughItsOwnRecord)
{
    struct Case
    {
        const char* listed;
        const char* serial;
        DWORD version; // 0: the FT-X record
    };
    const Case cases[] = {
        {"QZAH015010001", "QZAH015010001", 2},
        {"QZAH017010002B", "QZAH017010002", 3},
        {"QZAH017010002A", "QZAH017010002", 3},
        {"QZAH019010003", "QZAH019010003", 5},
        {"QZAH025010004", "QZAH025010004", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.listed);
        FT_HANDLE handle = openListed(QString::fromLatin1(c.listed));
        ASSERT_NE(handle, nullptr);
        if (c.version > 0) {
            ProgramDataBuffers buffers(c.version);
            ASSERT_EQ(FT_EE_Read(handle, &buffers.data), FT_OK);
            EXPECT_STREQ(buffers.serial, c.serial);
            EXPECT_STREQ(buffers.manufacturer, "FTDI");
            EXPECT_EQ(buffers.data.VendorId, 0x0403);
            EXPECT_EQ(buffers.data.Version, c.version) << "the caller's header stays";
            EXPECT_EQ(buffers.data.SerialNumber, buffers.serial) << "the caller's pointers stay";
            XSeriesBuffers x;
            EXPECT_EQ(x.read(handle), FT_NOT_SUPPORTED);
        } else {
            XSeriesBuffers x;
            ASSERT_EQ(x.read(handle), FT_OK);
            EXPECT_STREQ(x.serial, c.serial);
            EXPECT_EQ(x.data.common.deviceType, FT_DEVICE_X_SERIES);
            EXPECT_EQ(x.data.common.ProductId, 0x6015);
            ProgramDataBuffers buffers(5);
            EXPECT_EQ(FT_EE_Read(handle, &buffers.data), FT_NOT_SUPPORTED);
        }
        EXPECT_EQ(FT_Close(handle), FT_OK);
    }
}

TEST_F(EepromTest, UnprogrammedHighSpeedChipsAnswerNotProgrammedUntilProgrammed)
{
    ASSERT_EQ(kavrasim_load_bench(R"({"units":[
        {"chip":"FT232H","serial":"QZAH019010007","eepromProgrammed":false},
        {"chip":"FT2232H","serial":"QZAH017010008","eepromProgrammed":false}]})"),
              KAVRASIM_OK);
    for (const char* listed : {"QZAH019010007", "QZAH017010008B"}) {
        SCOPED_TRACE(listed);
        FT_HANDLE handle = openListed(QString::fromLatin1(listed));
        ASSERT_NE(handle, nullptr);
        ProgramDataBuffers buffers(5);
        EXPECT_EQ(FT_EE_Read(handle, &buffers.data), FT_EEPROM_NOT_PROGRAMMED);
        EXPECT_STREQ(buffers.serial, "") << "nothing written on failure";

        ProgramDataBuffers fresh(5);
        std::strcpy(fresh.manufacturer, "FTDI");
        std::strcpy(fresh.manufacturerId, "FT");
        std::strcpy(fresh.description, "Kavra Unit");
        std::strcpy(fresh.serial, "QZAH019010042");
        fresh.data.MaxPower = 500;
        fresh.data.IsFifoH = 1;
        fresh.data.Cbus8H = 4;
        ASSERT_EQ(FT_EE_Program(handle, &fresh.data), FT_OK);

        ProgramDataBuffers back(5);
        ASSERT_EQ(FT_EE_Read(handle, &back.data), FT_OK);
        EXPECT_STREQ(back.serial, "QZAH019010042");
        EXPECT_STREQ(back.description, "Kavra Unit");
        EXPECT_EQ(back.data.MaxPower, 500);
        EXPECT_EQ(back.data.IsFifoH, 1);
        EXPECT_EQ(back.data.Cbus8H, 4);
        EXPECT_EQ(FT_Close(handle), FT_OK);
    }
}

TEST_F(EepromTest, CyclePortListsTheProgrammedTextsAndKillsTheChipsHandles)
{
    FT_HANDLE channelB = openListed(QStringLiteral("QZAH017010002B"));
    FT_HANDLE channelA = openListed(QStringLiteral("QZAH017010002A"));
    ASSERT_NE(channelB, nullptr);
    ASSERT_NE(channelA, nullptr);
    ProgramDataBuffers buffers(3);
    ASSERT_EQ(FT_EE_Read(channelB, &buffers.data), FT_OK);
    std::strcpy(buffers.serial, "QZBH017010077");
    std::strcpy(buffers.description, "Renamed");
    ASSERT_EQ(FT_EE_Program(channelB, &buffers.data), FT_OK);
    EXPECT_GE(indexOf(QStringLiteral("QZAH017010002B")), 0) << "the list changes only on re-enumeration";

    ASSERT_EQ(FT_CyclePort(channelB), FT_OK);
    EXPECT_EQ(indexOf(QStringLiteral("QZAH017010002B")), -1);
    const int index = indexOf(QStringLiteral("QZBH017010077B"));
    ASSERT_GE(index, 0);
    EXPECT_STREQ(deviceList()[index].Description, "Renamed B");
    EXPECT_STREQ(deviceList()[index - 1].SerialNumber, "QZBH017010077A");

    DWORD rx = 0;
    EXPECT_EQ(FT_GetQueueStatus(channelB, &rx), FT_IO_ERROR);
    EXPECT_EQ(FT_GetQueueStatus(channelA, &rx), FT_IO_ERROR);
    EXPECT_EQ(FT_CyclePort(channelB), FT_IO_ERROR);
    EXPECT_EQ(FT_Close(channelB), FT_OK);
    EXPECT_EQ(FT_Close(channelA), FT_OK);

    // What was programmed stays for the process life, named by either serial.
    const QByteArray state = controlText(
        [](char* buffer, int size) { return kavrasim_unit_state("QZBH017010077", buffer, size); });
    EXPECT_TRUE(state.contains("\"serial\":\"QZBH017010077\"")) << state.constData();
}

TEST_F(EepromTest, XSeriesRecordRoundTrips)
{
    FT_HANDLE handle = openListed(QString::fromLatin1(kBirch));
    ASSERT_NE(handle, nullptr);
    XSeriesBuffers x;
    ASSERT_EQ(x.read(handle), FT_OK);
    x.data.Cbus0 = 0x0E;
    x.data.Cbus1 = 4;
    x.data.Cbus2 = 5;
    x.data.BCDDisableSleep = 1;
    x.data.common.MaxPower = 250;
    std::strcpy(x.serial, "QZAH040010099");
    ASSERT_EQ(x.program(handle), FT_OK);

    XSeriesBuffers back;
    ASSERT_EQ(back.read(handle), FT_OK);
    EXPECT_EQ(std::memcmp(&back.data, &x.data, sizeof x.data), 0);
    EXPECT_STREQ(back.serial, "QZAH040010099");

    XSeriesBuffers wrong;
    EXPECT_EQ(FT_EEPROM_Read(handle, &wrong.data, sizeof wrong.data - 1, nullptr, nullptr, nullptr, nullptr),
              FT_INVALID_PARAMETER);
    wrong.data.common.deviceType = FT_DEVICE_232R;
    EXPECT_EQ(wrong.read(handle), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_EEPROM_Read(handle, nullptr, sizeof x.data, nullptr, nullptr, nullptr, nullptr),
              FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

TEST_F(EepromTest, ProgrammingOutsideTheChipLimitsChangesNothing)
{
    FT_HANDLE handle = openListed(QStringLiteral("QZAH017010002B"));
    ASSERT_NE(handle, nullptr);
    struct Case
    {
        const char* serial;
        const char* description;
    };
    // A dual chip keeps one character of its serial for the channel letter.
    const Case cases[] = {
        {"QZAH01701000210", "Short"},
        {"QZAH01701", "A description far longer than the descriptor area"},
    };
    for (const Case& c : cases) {
        ProgramDataBuffers buffers(3);
        ASSERT_EQ(FT_EE_Read(handle, &buffers.data), FT_OK);
        std::strcpy(buffers.serial, c.serial);
        std::strcpy(buffers.description, c.description);
        EXPECT_EQ(FT_EE_Program(handle, &buffers.data), FT_INVALID_PARAMETER) << c.serial;
        ProgramDataBuffers back(3);
        ASSERT_EQ(FT_EE_Read(handle, &back.data), FT_OK);
        EXPECT_STREQ(back.serial, "QZAH017010002");
    }
    ProgramDataBuffers badSignature(3);
    badSignature.data.Signature2 = 0;
    EXPECT_EQ(FT_EE_Read(handle, &badSignature.data), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_EE_Read(handle, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

TEST_F(EepromTest, ReadSkipsTextsWithoutBuffersAndHonoursForeignSerials)
{
    ASSERT_EQ(kavrasim_load_bench(R"({"units":[{"chip":"FT232R","serial":"QZAH015010001","eepromSerial":"A9XY7"}]})"),
              KAVRASIM_OK);
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(FT_Open(0, &handle), FT_OK);
    ProgramDataBuffers buffers(2);
    buffers.data.Manufacturer = nullptr;
    buffers.data.Description = nullptr;
    ASSERT_EQ(FT_EE_Read(handle, &buffers.data), FT_OK);
    EXPECT_STREQ(buffers.serial, "A9XY7");
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

TEST_F(EepromTest, FailedEepromReadsStrikeTheGivenNumberOfTimes)
{
    ASSERT_EQ(kavrasim_fail_eeprom_reads(kAlder, 2), KAVRASIM_OK);
    ASSERT_EQ(kavrasim_fail_eeprom_reads(kGeneric25, 1), KAVRASIM_OK);
    FT_HANDLE alder = openListed(QString::fromLatin1(kAlder));
    FT_HANDLE ftx = openListed(QString::fromLatin1(kGeneric25));
    ASSERT_NE(alder, nullptr);
    ASSERT_NE(ftx, nullptr);
    ProgramDataBuffers buffers(2);
    EXPECT_EQ(FT_EE_Read(alder, &buffers.data), FT_EEPROM_READ_FAILED);
    EXPECT_EQ(FT_EE_Read(alder, &buffers.data), FT_EEPROM_READ_FAILED);
    EXPECT_EQ(FT_EE_Read(alder, &buffers.data), FT_OK);
    XSeriesBuffers x;
    EXPECT_EQ(x.read(ftx), FT_EEPROM_READ_FAILED);
    EXPECT_EQ(x.read(ftx), FT_OK);
    EXPECT_EQ(FT_Close(alder), FT_OK);
    EXPECT_EQ(FT_Close(ftx), FT_OK);
}

} // namespace
