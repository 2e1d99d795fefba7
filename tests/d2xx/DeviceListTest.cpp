#include "D2xxBenchTest.h"

#include <QStringList>
#include <QVector>

#include <utility>

using namespace benchclient;

namespace {

// (Serial numbers, descriptions, types, IDs, speed flags and the location the channels of a chip
// share, as FTDI's library lists them: D2xxConformance.)
using DeviceListTest = D2xxBenchTest;

TEST_F(DeviceListTest, ListNeverExceedsTheCountThisThreadWasGiven)
{
    DWORD count = 0;
    ASSERT_EQ(FT_CreateDeviceInfoList(&count), FT_OK);
    ASSERT_EQ(count, DWORD(DefaultBench::ListEntries));
    // The list grows after the count was taken: the caller's array must not overflow.
    QStringList units;
    for (int i = 0; i <= DefaultBench::ListEntries; ++i)
        units << QStringLiteral(R"({"chip":"FT232R","serial":"QZAH015010%1"})").arg(100 + i);
    ASSERT_EQ(loadUnits(units.join(',')), KAVRASIM_OK);
    QVector<FT_DEVICE_LIST_INFO_NODE> nodes(DefaultBench::ListEntries + 1);
    std::memset(static_cast<void*>(&nodes.back()), 0x5A, sizeof nodes.back());
    DWORD filled = 0;
    ASSERT_EQ(FT_GetDeviceInfoList(nodes.data(), &filled), FT_OK);
    EXPECT_EQ(filled, DWORD(DefaultBench::ListEntries));
    EXPECT_EQ(nodes.back().Flags, 0x5A5A5A5Au);
}

TEST_F(DeviceListTest, OpenMarksTheEntryAndRefusesASecondOpen)
{
    const int index = indexOf(channel(kCedar, 'B'));
    ASSERT_GE(index, 0);
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(FT_Open(index, &handle), FT_OK);
    const QVector<FT_DEVICE_LIST_INFO_NODE> nodes = deviceList();
    EXPECT_EQ(nodes[index].Flags & FT_FLAGS_OPENED, FT_FLAGS_OPENED);
    EXPECT_EQ(nodes[index].ftHandle, handle);
    EXPECT_EQ(nodes[index - 1].Flags & FT_FLAGS_OPENED, 0u) << "channel A stays closed";

    FT_HANDLE second = reinterpret_cast<FT_HANDLE>(1);
    EXPECT_EQ(FT_Open(index, &second), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(FT_Close(handle), FT_OK);
    EXPECT_EQ(FT_Close(handle), FT_INVALID_HANDLE);
    EXPECT_EQ(FT_Open(index, &handle), FT_OK) << "a closed entry opens again";
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

TEST_F(DeviceListTest, BadArgumentsAndUnknownHandlesAreRefused)
{
    FT_HANDLE handle = reinterpret_cast<FT_HANDLE>(1);
    EXPECT_EQ(FT_Open(DefaultBench::ListEntries, &handle), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(FT_Open(-1, &handle), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(FT_Open(0, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_CreateDeviceInfoList(nullptr), FT_INVALID_PARAMETER);
    DWORD n = 0;
    EXPECT_EQ(FT_GetDeviceInfoList(nullptr, &n), FT_INVALID_PARAMETER);

    FT_HANDLE bogus = reinterpret_cast<FT_HANDLE>(0x1234);
    char buffer[8] = {};
    FT_PROGRAM_DATA data{};
    data.Signature2 = FT_PROGRAM_DATA_SIGNATURE2;
    const FT_STATUS results[] = {FT_Close(bogus), FT_CyclePort(bogus), FT_EE_Read(bogus, &data),
        FT_SetBaudRate(bogus, 9600), FT_Read(bogus, buffer, 4, &n), FT_Write(bogus, buffer, 4, &n),
        FT_GetQueueStatus(bogus, &n), FT_Close(nullptr)};
    for (std::size_t i = 0; i < std::size(results); ++i)
        EXPECT_EQ(results[i], FT_INVALID_HANDLE) << "call " << i;
}

TEST_F(DeviceListTest, BadBenchTextLeavesTheBenchAsItWas)
{
    for (const char* text : {"{not json", "[1, 2]", R"({"units":[{"chip":"FT9999"}]})",
             R"({"units":[3]})", R"({"units":{}})", R"({"timing":"slow","units":[]})"}) {
        EXPECT_EQ(kavrasim_load_bench(text), KAVRASIM_BAD_BENCH) << text;
        EXPECT_EQ(deviceList().size(), DefaultBench::ListEntries) << text;
    }
    EXPECT_EQ(kavrasim_load_bench(nullptr), KAVRASIM_BAD_ARGUMENT);
    EXPECT_EQ(kavrasim_load_bench(R"({"units":[]})"), KAVRASIM_OK);
    EXPECT_EQ(deviceList().size(), 0);
}

TEST_F(DeviceListTest, ListedIdsOutsideTheirFieldLeaveTheChipsOwn)
{
    const std::pair<const char*, QVector<DWORD>> cases[] = {
        {R"({"chip":"FT232R","listedId":-1})", {0x04036001}},
        {R"({"chip":"FT232R","listedId":1e20})", {0x04036001}},
        {R"({"chip":"FT232R","listedId":4294967295})", {0xFFFFFFFF}},
        {R"({"chip":"FT2232H","listedId":[5, 4294967296]})", {5, 0x04036010}},
        {R"({"chip":"FT2232H","listedId":[-0.5, 7.9]})", {0x04036010, 7}},
    };
    for (const auto& [unit, ids] : cases) {
        SCOPED_TRACE(unit);
        ASSERT_EQ(loadUnits(QString::fromLatin1(unit)), KAVRASIM_OK);
        QVector<DWORD> listed;
        for (const FT_DEVICE_LIST_INFO_NODE& node : deviceList())
            listed.append(node.ID);
        EXPECT_EQ(listed, ids);
    }
}

} // namespace
