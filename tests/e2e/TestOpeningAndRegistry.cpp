// Discovery, opening and the registry, through the exported functions against the bench.

#include "BenchTest.h"

#include <QJsonArray>

#include <climits>
#include <cstring>
#include <set>
#include <string>

class OpeningAndRegistry : public BenchTest
{ };

namespace {
const char* const oneAlder = R"({"units":[
  {"chip":"FT232R","serial":"QZAH015010011","location":16}]})";
}

TEST_F(OpeningAndRegistry, CountsAndIndexLimits)
{
    int count = -1;
    EXPECT_EQ(getDeviceCount(&count), 0);
    EXPECT_EQ(count, DefaultBench::Count);
    for (int index : {0, -3, 100, DefaultBench::Count + 1}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(setVoltage(index, 1, 10, 10), 1);
    }
    EXPECT_EQ(bench().openHandleCount(), 0);
}

TEST_F(OpeningAndRegistry, NoUnitsAttached)
{
    loadBench(R"({"units":[]})");
    int count = -1;
    EXPECT_EQ(getDeviceCount(&count), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(turnVoltageOn(1, 1), 1);
    int index = 3;
    EXPECT_EQ(getDeviceIndex("QZAH015010001", &index), 6);
    EXPECT_EQ(index, -1);
}

TEST_F(OpeningAndRegistry, OnlyOwnSupportedUnitsAreCounted)
{
    loadBench(R"({"units":[
      {"chip":"FT232R","serial":"qzah015010001","location":16},
      {"chip":"FT232R","serial":"QZAH099010002","location":32},
      {"chip":"FT232R","serial":"QZAH039010003","location":48},
      {"chip":"FT232R","serial":"QZAH015010004","location":64}]})");
    int count = -1;
    EXPECT_EQ(getDeviceCount(&count), 0);
    EXPECT_EQ(count, 2); // the lower-case and unknown models are left out; (39, 1) counts
    // (39, 1) has no family: opening it fails cleanly and registers nothing.
    EXPECT_EQ(clearError(1), 10);
    EXPECT_EQ(bench().openHandleCount(), 0);
    char family[16] = "x";
    int channels = -1;
    unsigned operations = 1;
    EXPECT_EQ(getFamilyName(1, family, sizeof family), 0);
    EXPECT_EQ(getChannelCount(1, &channels), 0);
    EXPECT_EQ(getSupportedOperations(1, &operations), 0);
    EXPECT_STREQ(family, "");
    EXPECT_EQ(channels, 0);
    EXPECT_EQ(operations, 0u);
    EXPECT_EQ(clearError(2), 0);
    int index = -1;
    EXPECT_EQ(getDeviceIndex("qzah015010004", &index), 0);
    EXPECT_EQ(index, 2);
}

TEST_F(OpeningAndRegistry, ReusesTheOpenUnitAndReopensAfterClose)
{
    EXPECT_EQ(clearError(DefaultBench::Alder), 0);
    const QJsonArray identification = bench().takeWireLog(DefaultBench::serial(1));
    EXPECT_FALSE(identification.isEmpty());
    EXPECT_EQ(bench().openHandleCount(), 1);

    EXPECT_EQ(clearError(DefaultBench::Alder), 0);
    // Only the clear-error packet: no second identification.
    EXPECT_EQ(bench().takeHostPackets(DefaultBench::serial(1)).size(), 1);

    EXPECT_EQ(closeSession(), 0);
    EXPECT_EQ(bench().openHandleCount(), 0);
    EXPECT_EQ(clearError(DefaultBench::Alder), 0);
    const auto reopened = bench().takeHostPackets(DefaultBench::serial(1));
    ASSERT_GE(reopened.size(), 4);
    EXPECT_EQ(reopened.first().first, 0x14); // identification again
}

TEST_F(OpeningAndRegistry, RegisteredIndicesSurviveChangesOfTheAttachedUnits)
{
    EXPECT_EQ(clearError(DefaultBench::Generic19), 0);
    EXPECT_EQ(bench().unplug(DefaultBench::serial(DefaultBench::Alder)), 0);
    // Index 3 still names the Generic unit, though it is now the second attached unit.
    bench().takeHostPackets(DefaultBench::serial(DefaultBench::Generic19));
    EXPECT_EQ(turnVoltageOff(DefaultBench::Generic19, 1), 0);
    const auto sent = bench().takeHostPackets(DefaultBench::serial(DefaultBench::Generic19));
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0].first, 0x23);
    int count = 0;
    getDeviceCount(&count);
    EXPECT_EQ(count, DefaultBench::Count - 1);
    EXPECT_EQ(bench().replug(DefaultBench::serial(DefaultBench::Alder)), 0);
}

TEST_F(OpeningAndRegistry, AUnitAttachedLaterDoesNotShiftRegisteredIndices)
{
    // The Rowan unit sits at a lower location than the Generic unit: once attached it is listed
    // first, yet index 1 keeps naming the Generic unit that was registered under it.
    loadBench(R"({"units":[
      {"chip":"FT232R","serial":"QZAH041010081","location":16,"plugged":false},
      {"chip":"FT232R","serial":"QZAH019010082","location":32}]})");
    ASSERT_EQ(clearError(1), 0);
    ASSERT_EQ(bench().replug("QZAH041010081"), 0);
    char serial[16];
    EXPECT_EQ(getDeviceSerialNumber(1, serial, sizeof serial), 0);
    EXPECT_STREQ(serial, "QZAH041010081");
    char family[16];
    EXPECT_EQ(getFamilyName(1, family, sizeof family), 0);
    EXPECT_STREQ(family, "Generic"); // the registered unit, not the one listed first
    double value = 0;
    EXPECT_EQ(getADCValue(1, &value), 10); // still the Generic unit, which has no converter
    // Index 2 now lists the Generic unit, whose connection index 1 holds: it cannot open twice.
    EXPECT_EQ(getADCValue(2, &value), 3);
    bench().takeHostPackets("QZAH019010082");
    EXPECT_EQ(turnVoltageOff(1, 1), 0);
    EXPECT_EQ(bench().takeHostPackets("QZAH019010082").size(), 1);
}

TEST_F(OpeningAndRegistry, FindsUnitsBySerialNumberAndLeavesTheRegistryAsItWas)
{
    EXPECT_EQ(clearError(DefaultBench::Cedar), 0);
    const int openBefore = bench().openHandleCount();
    for (int other = 1; other <= DefaultBench::Count; ++other)
        bench().takeHostBytes(DefaultBench::serial(other));
    int index = 0;
    EXPECT_EQ(getDeviceIndex("qzah041010006", &index), 0);
    EXPECT_EQ(index, DefaultBench::Rowan);
    // Only the matching unit was opened to make sure it can be used.
    for (int other = 1; other <= DefaultBench::Count; ++other) {
        SCOPED_TRACE(other);
        EXPECT_EQ(bench().takeHostBytes(DefaultBench::serial(other)).isEmpty(),
            other != DefaultBench::Rowan);
    }
    EXPECT_EQ(getDeviceIndex("QZAH017010002", &index), 0);
    EXPECT_EQ(index, DefaultBench::Cedar);
    EXPECT_EQ(bench().openHandleCount(), openBefore);
    EXPECT_EQ(getDeviceIndex("QZAH041010007", &index), 6);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(getDeviceIndex("QZAH04101", &index), 6); // the 13-character form is compared
    EXPECT_EQ(getDeviceIndex(nullptr, &index), 6);
    EXPECT_EQ(getDeviceIndex("QZAH041010006", nullptr), 0);
    EXPECT_EQ(bench().openHandleCount(), openBefore);
    // The Cedar unit stayed registered and open: no identification on its next call.
    bench().takeHostPackets(DefaultBench::serial(DefaultBench::Cedar));
    EXPECT_EQ(clearError(DefaultBench::Cedar), 0);
    EXPECT_EQ(bench().takeHostPackets(DefaultBench::serial(DefaultBench::Cedar)).size(), 1);
}

TEST_F(OpeningAndRegistry, AMatchingUnitThatCannotOpenIsNotFound)
{
    loadBench(oneAlder);
    bench().failOpens("QZAH015010011", 1);
    int index = 0;
    EXPECT_EQ(getDeviceIndex("QZAH015010011", &index), 6);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(getDeviceIndex("QZAH015010011", &index), 0);
    EXPECT_EQ(index, 1);
}

// Each way opening can fail leaves no handle open and nothing registered: the next call opens
// the unit from the start and succeeds.
TEST_F(OpeningAndRegistry, EveryOpeningFailureLeavesNothingOpen)
{
    struct Case
    {
        const char* name;
        const char* bench;
        std::function<void()> fault;
        int status;
    };
    const char* serial = "QZAH015010011";
    const Case cases[] = {
        {"connection", oneAlder, [&] { bench().failOpens(serial, 1); }, 3},
        {"foreign EEPROM serial", R"({"units":[{"chip":"FT232R","serial":"QZAH015010011",
            "eepromSerial":"FT123456","location":16}]})",
            nullptr, 3},
        {"first instruction", oneAlder, [&] { bench().failWrites(serial, 1); }, 4},
        {"identification dropped", oneAlder, [&] { bench().setStatusOverride(serial, 0x14, 1); },
            7},
        {"page trailer", R"({"units":[{"chip":"FT232R","serial":"QZAH015010011","location":16,
            "pageFault":"badTrailer"}]})",
            nullptr, 7},
        {"page magic", R"({"units":[{"chip":"FT232R","serial":"QZAH015010011","location":16,
            "pageFault":"badMagic"}]})",
            nullptr, 8},
        {"page serial", R"({"units":[{"chip":"FT232R","serial":"QZAH015010011","location":16,
            "pageFault":"badSerial"}]})",
            nullptr, 8},
        {"hardware version", R"({"units":[{"chip":"FT232R","serial":"QZAH015010011","location":16,
            "versionWords":[2,1,0,0,0]}]})",
            nullptr, 9},
        {"calibration", oneAlder, [&] { bench().setStatusOverride(serial, 0x45, 2); }, 11},
        {"polarity", oneAlder, [&] { bench().setStatusOverride(serial, 0x41, 2); }, 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        loadBench(c.bench);
        if (c.fault)
            c.fault();
        EXPECT_EQ(clearError(1), c.status);
        EXPECT_EQ(bench().openHandleCount(), 0);
        bench().setStatusOverride(serial, 0x14, -1);
        bench().setStatusOverride(serial, 0x45, -1);
        bench().setStatusOverride(serial, 0x41, -1);
        if (c.fault) {
            // A transient fault: the next call opens the unit from the start.
            EXPECT_EQ(clearError(1), 0);
        }
        initialiseSession();
        EXPECT_EQ(bench().openHandleCount(), 0);
    }
}

TEST_F(OpeningAndRegistry, HardwareVersionTwoIsAcceptedOnlyWhereListed)
{
    loadBench(R"({"units":[
      {"chip":"FT2232H","serial":"QZAH017010021","location":16,"versionWords":[2,1,0,0,0]},
      {"chip":"FT232R","serial":"QZAH015010022","location":48,"versionWords":[2,1,0,0,0]}]})");
    EXPECT_EQ(clearError(1), 0);
    EXPECT_EQ(clearError(2), 9);
    EXPECT_EQ(bench().openHandleCount(), 2); // the Cedar unit's two channels
}

TEST_F(OpeningAndRegistry, ListsSerialNumbersWithoutOpening)
{
    char buffer[32];
    for (int index = 1; index <= DefaultBench::Count; ++index) {
        SCOPED_TRACE(index);
        EXPECT_EQ(getDeviceSerialNumber(index, buffer, sizeof buffer), 0);
        EXPECT_STREQ(buffer, DefaultBench::serial(index));
    }
    EXPECT_EQ(bench().openHandleCount(), 0);
    EXPECT_EQ(getDeviceSerialNumber(0, buffer, sizeof buffer), 1);
    EXPECT_EQ(getDeviceSerialNumber(DefaultBench::Count + 1, buffer, sizeof buffer), 1);
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(getDeviceSerialNumber(1, buffer, 13), 38); // no room for the closing zero
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(getDeviceSerialNumber(1, nullptr, 32), 38);
    EXPECT_EQ(getDeviceSerialNumber(1, buffer, -1), 38);
    EXPECT_EQ(getDeviceSerialNumber(1, buffer, 14), 0);

    // A 9-character serial number lists in its 13-character form.
    loadBench(R"({"units":[{"chip":"FT232R","serial":"QZAH01501","location":16}]})");
    EXPECT_EQ(getDeviceSerialNumber(1, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "QZAH015010000");

    EXPECT_EQ(getLibraryVersion(buffer, sizeof buffer), 0);
    EXPECT_GT(std::strlen(buffer), 4u);
    EXPECT_EQ(getLibraryVersion(buffer, 2), 38);
    EXPECT_EQ(getLibraryVersion(nullptr, 0), 38);
}

TEST_F(OpeningAndRegistry, StatusTexts)
{
    const std::set<int> codes = {-1, 0, 1, 3, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19,
        20, 21, 22, 23, 24, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38};
    char buffer[128];
    for (int code = -3; code <= 40; ++code) {
        SCOPED_TRACE(code);
        ASSERT_EQ(getStatusText(code, buffer, sizeof buffer), 0);
        EXPECT_EQ(std::string(buffer).rfind("unknown status code", 0) == 0, codes.count(code) == 0)
            << buffer;
    }
    struct Case
    {
        int code;
        int bufferSize; // -2: a null buffer of 128 bytes
        int status;
        const char* text; // null: nothing written
    };
    const Case cases[] = {
        {0, 128, 0, "success"},
        {19, 128, 0, "voltage out of range"},
        {19, 21, 0, "voltage out of range"}, // exactly the text and its closing zero byte
        {19, 20, 38, nullptr},
        {19, 0, 38, nullptr},
        {19, -1, 38, nullptr},
        {19, -2, 38, nullptr},
        {30, 128, 0, "switching on output 2 or 3 refused: the unit's status shows them not ready"},
        {38, 128, 0, "the text buffer is null or too small for the text and its closing zero byte"},
        {25, 128, 0, "unknown status code 25"},
        {INT_MIN, 128, 0, "unknown status code -2147483648"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        SCOPED_TRACE(c.bufferSize);
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(getStatusText(c.code, c.bufferSize == -2 ? nullptr : buffer,
                      c.bufferSize == -2 ? 128 : c.bufferSize),
            c.status);
        if (c.text)
            EXPECT_STREQ(buffer, c.text);
        else
            EXPECT_EQ(buffer[0], 'x');
    }
}

TEST_F(OpeningAndRegistry, AChipAtTheLocationOfADualChannelChipIsItsOwnUnit)
{
    // Locations as FTDI's library numbers them: an FT232R at bus 16, device 48 (0x1030), and an
    // FT2232H at bus 1, device 3, whose channels are 0x1031 and 0x1032.
    loadBench(R"({"units":[{"chip":"FT232R","serial":"QZAH015010001","location":4144},
                           {"chip":"FT2232H","serial":"QZAH017010002","location":4144}]})");
    int count = 0;
    EXPECT_EQ(getDeviceCount(&count), 0);
    EXPECT_EQ(count, 2);
    bool flag = false;
    char text[256] = {};
    EXPECT_EQ(getSupplyStatus(1, &flag, text), 0);
    EXPECT_EQ(getSupplyStatus(2, &flag, text), 0);
}
