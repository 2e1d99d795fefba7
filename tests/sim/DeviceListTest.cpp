#include "BenchClient.h"

using namespace benchclient;

namespace {

class DeviceListTest : public BenchTest
{
};

struct ExpectedEntry
{
    const char* serial;
    const char* description;
    uint32_t type;
    uint32_t id;
    uint32_t location;
};

TEST_F(DeviceListTest, DefaultBenchListsOneEntryPerChipChannel)
{
    const ExpectedEntry expected[] = {
        {"QZAH015010001", "Kavra Alder", FT_DEVICE_232R, 0x04036001, 0x110},
        {"QZAH017010002A", "Kavra Cedar A", FT_DEVICE_2232H, 0x04036010, 0x121},
        {"QZAH017010002B", "Kavra Cedar B", FT_DEVICE_2232H, 0x04036010, 0x122},
        {"QZAH019010003", "Kavra Generic", FT_DEVICE_232H, 0x04036014, 0x130},
        {"QZAH025010004", "Kavra Generic", FT_DEVICE_X_SERIES, 0x04036015, 0x140},
        {"QZAH040010005", "Kavra Birch", FT_DEVICE_X_SERIES, 0x04036015, 0x150},
        {"QZAH041010006", "Kavra Rowan", FT_DEVICE_232R, 0x04036001, 0x160},
    };
    const QVector<FT_DEVICE_LIST_INFO_NODE> nodes = deviceList();
    ASSERT_EQ(nodes.size(), int(std::size(expected)));
    for (int i = 0; i < nodes.size(); ++i) {
        SCOPED_TRACE(expected[i].serial);
        EXPECT_STREQ(nodes[i].SerialNumber, expected[i].serial);
        EXPECT_STREQ(nodes[i].Description, expected[i].description);
        EXPECT_EQ(nodes[i].Type, expected[i].type);
        EXPECT_EQ(nodes[i].ID, expected[i].id);
        EXPECT_EQ(nodes[i].LocId, expected[i].location);
        EXPECT_EQ(nodes[i].Flags & FT_FLAGS_OPENED, 0u);
        EXPECT_EQ(nodes[i].ftHandle, nullptr);
        const bool highSpeed = expected[i].type == FT_DEVICE_2232H || expected[i].type == FT_DEVICE_232H;
        EXPECT_EQ((nodes[i].Flags & FT_FLAGS_HISPEED) != 0, highSpeed);
    }
    // The two channels of the dual chip share everything but the low 4 bits of their location.
    EXPECT_EQ(nodes[1].LocId & ~0xFu, nodes[2].LocId & ~0xFu);
}

TEST_F(DeviceListTest, ListNeverExceedsTheCountThisThreadWasGiven)
{
    DWORD count = 0;
    ASSERT_EQ(FT_CreateDeviceInfoList(&count), FT_OK);
    ASSERT_EQ(count, 7u);
    // The list grows after the count was taken: the caller's array must not overflow.
    ASSERT_EQ(kavrasim_load_bench(R"({"units":[{"chip":"FT232R","serial":"QZAH015010001"},
        {"chip":"FT232R","serial":"QZAH015010002"},{"chip":"FT232R","serial":"QZAH015010003"},
        {"chip":"FT232R","serial":"QZAH015010004"},{"chip":"FT232R","serial":"QZAH015010005"},
        {"chip":"FT232R","serial":"QZAH015010006"},{"chip":"FT232R","serial":"QZAH015010007"},
        {"chip":"FT232R","serial":"QZAH015010008"}]})"),
              KAVRASIM_OK);
    QVector<FT_DEVICE_LIST_INFO_NODE> nodes(8);
    std::memset(static_cast<void*>(&nodes[7]), 0x5A, sizeof nodes[7]);
    DWORD filled = 0;
    ASSERT_EQ(FT_GetDeviceInfoList(nodes.data(), &filled), FT_OK);
    EXPECT_EQ(filled, 7u);
    EXPECT_EQ(nodes[7].Flags, 0x5A5A5A5Au);
}

TEST_F(DeviceListTest, OpenMarksTheEntryAndRefusesASecondOpen)
{
    const int index = indexOf(QStringLiteral("QZAH017010002B"));
    ASSERT_GE(index, 0);
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(FT_Open(index, &handle), FT_OK);
    ASSERT_NE(handle, nullptr);

    const QVector<FT_DEVICE_LIST_INFO_NODE> nodes = deviceList();
    EXPECT_EQ(nodes[index].Flags & FT_FLAGS_OPENED, FT_FLAGS_OPENED);
    EXPECT_EQ(nodes[index].ftHandle, handle);
    EXPECT_EQ(nodes[index - 1].Flags & FT_FLAGS_OPENED, 0u) << "channel A stays closed";

    FT_HANDLE second = reinterpret_cast<FT_HANDLE>(1);
    EXPECT_EQ(FT_Open(index, &second), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(kavrasim_open_handle_count(), 1);

    EXPECT_EQ(FT_Close(handle), FT_OK);
    EXPECT_EQ(FT_Close(handle), FT_INVALID_HANDLE);
    EXPECT_EQ(FT_Open(index, &handle), FT_OK) << "a closed entry opens again";
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

TEST_F(DeviceListTest, DeviceInfoDescribesTheOpenedChannel)
{
    FT_HANDLE handle = openListed(QStringLiteral("QZAH017010002A"));
    ASSERT_NE(handle, nullptr);
    FT_DEVICE type = 99;
    DWORD id = 0;
    char serial[16];
    char description[64];
    ASSERT_EQ(FT_GetDeviceInfo(handle, &type, &id, serial, description, nullptr), FT_OK);
    EXPECT_EQ(type, FT_DEVICE_2232H);
    EXPECT_EQ(id, 0x04036010u);
    EXPECT_STREQ(serial, "QZAH017010002A");
    EXPECT_STREQ(description, "Kavra Cedar A");
    // Every out-pointer is optional.
    EXPECT_EQ(FT_GetDeviceInfo(handle, nullptr, nullptr, nullptr, nullptr, nullptr), FT_OK);
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

TEST_F(DeviceListTest, BadArgumentsAreRefusedWithoutWriting)
{
    FT_HANDLE handle = reinterpret_cast<FT_HANDLE>(1);
    EXPECT_EQ(FT_Open(-1, &handle), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(FT_Open(7, &handle), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(FT_Open(0, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_CreateDeviceInfoList(nullptr), FT_INVALID_PARAMETER);
    DWORD count = 0;
    EXPECT_EQ(FT_GetDeviceInfoList(nullptr, &count), FT_INVALID_PARAMETER);
    FT_DEVICE_LIST_INFO_NODE node{};
    EXPECT_EQ(FT_GetDeviceInfoList(&node, nullptr), FT_INVALID_PARAMETER);
}

TEST_F(DeviceListTest, UnknownHandlesAreRefusedByEveryCall)
{
    FT_HANDLE bogus = reinterpret_cast<FT_HANDLE>(0x1234);
    char buffer[64] = {};
    DWORD a = 0, b = 0, c = 0;
    FT_PROGRAM_DATA data{};
    data.Signature2 = FT_PROGRAM_DATA_SIGNATURE2;
    FT_EEPROM_X_SERIES x{};
    const FT_STATUS results[] = {
        FT_Close(bogus),
        FT_CyclePort(bogus),
        FT_GetDeviceInfo(bogus, nullptr, nullptr, nullptr, nullptr, nullptr),
        FT_EE_Read(bogus, &data),
        FT_EE_Program(bogus, &data),
        FT_EEPROM_Read(bogus, &x, sizeof x, nullptr, nullptr, nullptr, nullptr),
        FT_EEPROM_Program(bogus, &x, sizeof x, nullptr, nullptr, nullptr, nullptr),
        FT_SetBitMode(bogus, 0xFF, 0),
        FT_SetBaudRate(bogus, 500000),
        FT_SetDataCharacteristics(bogus, 8, 0, 2),
        FT_SetFlowControl(bogus, 0, 0, 0),
        FT_SetLatencyTimer(bogus, 2),
        FT_SetUSBParameters(bogus, 0x2000, 0x100),
        FT_SetTimeouts(bogus, 100, 100),
        FT_Read(bogus, buffer, 4, &a),
        FT_Write(bogus, buffer, 4, &a),
        FT_Purge(bogus, 3),
        FT_GetQueueStatus(bogus, &a),
        FT_GetStatus(bogus, &a, &b, &c),
        FT_Close(nullptr),
    };
    for (std::size_t i = 0; i < std::size(results); ++i)
        EXPECT_EQ(results[i], FT_INVALID_HANDLE) << "call " << i;
}

TEST_F(DeviceListTest, BenchFileDeclaresOtherChipsAndListedIds)
{
    ASSERT_EQ(kavrasim_load_bench(R"({"units":[
        {"chip":"FT4232H","serial":"FT4QUAD","location":512},
        {"chip":"FT2232H","serial":"QZAH017010009","location":768,"listedId":[0,67330064]}]})"),
              KAVRASIM_OK);
    const QVector<FT_DEVICE_LIST_INFO_NODE> nodes = deviceList();
    ASSERT_EQ(nodes.size(), 6);
    const char* serials[] = {"FT4QUADA", "FT4QUADB", "FT4QUADC", "FT4QUADD", "QZAH017010009A", "QZAH017010009B"};
    const uint32_t locations[] = {0x201, 0x202, 0x203, 0x204, 0x301, 0x302};
    for (int i = 0; i < 6; ++i) {
        EXPECT_STREQ(nodes[i].SerialNumber, serials[i]);
        EXPECT_EQ(nodes[i].LocId, locations[i]);
    }
    EXPECT_EQ(nodes[0].Type, FT_DEVICE_4232H);
    EXPECT_EQ(nodes[0].ID, 0x04036011u);
    EXPECT_EQ(nodes[4].ID, 0u);
    EXPECT_EQ(nodes[5].ID, 0x04036010u);
}

TEST_F(DeviceListTest, BadBenchTextLeavesTheBenchAsItWas)
{
    const char* bad[] = {
        "{not json",
        "[1, 2]",
        R"({"units":[{"chip":"FT9999"}]})",
        R"({"units":[3]})",
        R"({"units":{}})",
        R"({"timing":"slow","units":[]})",
    };
    for (const char* text : bad) {
        EXPECT_EQ(kavrasim_load_bench(text), KAVRASIM_BAD_BENCH) << text;
        EXPECT_EQ(deviceList().size(), 7) << text;
    }
    EXPECT_EQ(kavrasim_load_bench(nullptr), KAVRASIM_BAD_ARGUMENT);
    EXPECT_EQ(kavrasim_load_bench(R"({"units":[]})"), KAVRASIM_OK);
    DWORD count = 99;
    EXPECT_EQ(FT_CreateDeviceInfoList(&count), FT_OK);
    EXPECT_EQ(count, 0u);
}

TEST_F(DeviceListTest, ReloadingTheBenchKillsOldHandles)
{
    FT_HANDLE handle = openListed(QString::fromLatin1(kAlder));
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(kavrasim_reset(), KAVRASIM_OK);
    DWORD rx = 0;
    EXPECT_EQ(FT_GetQueueStatus(handle, &rx), FT_IO_ERROR);
    EXPECT_EQ(kavrasim_open_handle_count(), 1);
    EXPECT_EQ(FT_Close(handle), FT_IO_ERROR);
    EXPECT_EQ(kavrasim_open_handle_count(), 0);
}

} // namespace
