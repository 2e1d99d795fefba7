#include "D2xxLibrary.h"

#include <gtest/gtest.h>

namespace {

// Every call of an unusable library fails and clears what it reports.
void expectEveryCallFails(const D2xxLibrary& d2xx)
{
    DWORD count = 77;
    EXPECT_NE(d2xx.createDeviceInfoList(&count), FT_OK);
    EXPECT_EQ(count, 0u);
    FT_DEVICE_LIST_INFO_NODE node{};
    count = 77;
    EXPECT_NE(d2xx.getDeviceInfoList(&node, &count), FT_OK);
    EXPECT_EQ(count, 0u);
    FT_HANDLE handle = &count;
    EXPECT_NE(d2xx.open(0, &handle), FT_OK);
    EXPECT_EQ(handle, nullptr);
    FT_DEVICE type = 0;
    DWORD id = 5;
    EXPECT_NE(d2xx.getDeviceInfo(nullptr, &type, &id, nullptr, nullptr), FT_OK);
    EXPECT_EQ(type, FT_DEVICE_UNKNOWN);
    EXPECT_EQ(id, 0u);
    char byte = 0;
    DWORD moved = 9;
    EXPECT_NE(d2xx.read(nullptr, &byte, 1, &moved), FT_OK);
    EXPECT_EQ(moved, 0u);
    moved = 9;
    EXPECT_NE(d2xx.write(nullptr, &byte, 1, &moved), FT_OK);
    EXPECT_EQ(moved, 0u);
    DWORD rx = 1, tx = 2, events = 3;
    EXPECT_NE(d2xx.getQueueStatus(nullptr, &rx), FT_OK);
    EXPECT_EQ(rx, 0u);
    rx = 1;
    EXPECT_NE(d2xx.getStatus(nullptr, &rx, &tx, &events), FT_OK);
    EXPECT_EQ(rx + tx + events, 0u);
    FT_PROGRAM_DATA data{};
    FT_EEPROM_X_SERIES x{};
    const FT_STATUS others[] = {d2xx.eeRead(nullptr, &data), d2xx.eeProgram(nullptr, &data),
        d2xx.eepromRead(nullptr, &x, sizeof(x), nullptr, nullptr, nullptr, nullptr),
        d2xx.eepromProgram(nullptr, &x, sizeof(x), nullptr, nullptr, nullptr, nullptr),
        d2xx.close(nullptr), d2xx.cyclePort(nullptr), d2xx.setBitMode(nullptr, 0xFF, 0),
        d2xx.setBaudRate(nullptr, 500000), d2xx.setDataCharacteristics(nullptr, 8, 0, 2),
        d2xx.setFlowControl(nullptr, 0, 0, 0), d2xx.setLatencyTimer(nullptr, 2),
        d2xx.setUSBParameters(nullptr, 64, 64), d2xx.setTimeouts(nullptr, 1, 1),
        d2xx.purge(nullptr, 3)};
    for (FT_STATUS status : others)
        EXPECT_NE(status, FT_OK);
    // Null out-pointers are never written through.
    EXPECT_NE(d2xx.createDeviceInfoList(nullptr), FT_OK);
    EXPECT_NE(d2xx.getStatus(nullptr, nullptr, nullptr, nullptr), FT_OK);
}

TEST(D2xxLibrary, UnusableLibrariesFailEveryCall)
{
    struct Case
    {
        const char* name;
        QString fileName;
        const char* errorMentions;
    };
    const Case cases[] = {
        {"unknown file", QStringLiteral("libkavra-no-such-d2xx.so"), "libkavra-no-such-d2xx.so"},
#ifdef _WIN32
        {"system library without D2XX functions", QStringLiteral("kernel32.dll"),
            "FT_CreateDeviceInfoList"},
#else
        {"C library without D2XX functions", QStringLiteral("libc.so.6"),
            "FT_CreateDeviceInfoList"},
#endif
        {"this library itself", QStringLiteral(KAVRA_LIBRARY_PATH), "FT_Open"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const D2xxLibrary d2xx(c.fileName);
        EXPECT_FALSE(d2xx.isLoaded());
        EXPECT_EQ(d2xx.fileName(), c.fileName);
        EXPECT_TRUE(d2xx.errorText().contains(QLatin1String(c.errorMentions)))
            << qPrintable(d2xx.errorText());
        expectEveryCallFails(d2xx);
    }
}

} // namespace
