// Discovery, opening and the registry, through the exported functions against the bench.

#include "BenchTest.h"

#include <climits>
#include <cstring>
#include <set>
#include <tuple>

class OpeningAndRegistry : public BenchTest
{ };

TEST_F(OpeningAndRegistry, OnlyOwnSupportedUnitsAreCounted)
{
    loadBench(R"({"units":[]})");
    int count = -1;
    EXPECT_EQ(getDeviceCount(&count), 0);
    EXPECT_EQ(count, 0);
    loadBench(R"({"units":[
      {"chip":"FT232R","serial":"qzah015010001","location":16},
      {"chip":"FT232R","serial":"QZAH099010002","location":32},
      {"chip":"FT232R","serial":"QZAH039010003","location":48},
      {"chip":"FT232R","serial":"QZAH015010004","location":64},
      {"chip":"FT232R","serial":"QZAH01501","location":80}]})");
    EXPECT_EQ(getDeviceCount(&count), 0);
    EXPECT_EQ(count, 3); // the lower-case and unknown models are left out; (39, 1) counts
    // A 9-character serial number lists in its 13-character form, without opening the unit.
    char serial[16];
    EXPECT_EQ(getDeviceSerialNumber(3, serial, sizeof serial), 0);
    EXPECT_STREQ(serial, "QZAH015010000");
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

TEST_F(OpeningAndRegistry, BadIndicesAndShortTextBuffersAreRefused)
{
    int count = -1, number = -1;
    EXPECT_EQ(getDeviceCount(&count), 0);
    EXPECT_EQ(count, DefaultBench::Count);
    char text[32];
    double current = -1;
    unsigned operations = 1;
    const std::function<int(int)> exports[] = {
        [&](int i) { return getFamilyName(i, text, sizeof text); },
        [&](int i) { return getChannelCount(i, &number); },
        [&](int i) { return getPwmChannelCount(i, &number); },
        [&](int i) { return getHighestCurrent(i, &current); },
        [&](int i) { return getSupportedOperations(i, &operations); },
        [&](int i) { return getDeviceSerialNumber(i, text, sizeof text); },
    };
    for (int index : {0, -3, 100, DefaultBench::Count + 1}) {
        SCOPED_TRACE(index);
        for (const UnitFunction& function : unitFunctions())
            EXPECT_EQ(function.call(index), 1) << function.name;
        for (const auto& call : exports)
            EXPECT_EQ(call(index), 1);
    }
    EXPECT_EQ(number, -1);
    EXPECT_EQ(current, -1);
    EXPECT_EQ(operations, 1u);
    EXPECT_EQ(bench().openHandleCount(), 0);
    EXPECT_EQ(getChannelCount(DefaultBench::Cedar, nullptr), 0);
    EXPECT_EQ(getPwmChannelCount(DefaultBench::Cedar, nullptr), 0);
    EXPECT_EQ(getHighestCurrent(DefaultBench::Cedar, nullptr), 0);
    EXPECT_EQ(getSupportedOperations(DefaultBench::Cedar, nullptr), 0);

    // A text needs room for itself and its closing zero byte; short of that nothing is written.
    char version[64];
    ASSERT_EQ(getLibraryVersion(version, sizeof version), 0);
    EXPECT_GT(std::strlen(version), 4u);
    struct TextCase
    {
        const char* what;
        std::function<int(char*, int)> call;
        int needed;
    };
    const TextCase cases[] = {
        {"serial number", [](char* b, int n) { return getDeviceSerialNumber(1, b, n); }, 14},
        {"family", [](char* b, int n) { return getFamilyName(DefaultBench::Cedar, b, n); }, 6},
        {"status text", [](char* b, int n) { return getStatusText(19, b, n); }, 21},
        {"library version", [](char* b, int n) { return getLibraryVersion(b, n); },
            int(std::strlen(version)) + 1},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.what);
        for (int size : {c.needed - 1, 0, -1}) {
            std::memset(text, 'x', sizeof text);
            EXPECT_EQ(c.call(text, size), 38) << size;
            EXPECT_EQ(text[0], 'x');
        }
        EXPECT_EQ(c.call(nullptr, sizeof text), 38);
        EXPECT_EQ(c.call(text, c.needed), 0);
        EXPECT_EQ(std::strlen(text) + 1, std::size_t(c.needed));
    }
}

TEST_F(OpeningAndRegistry, AUnitAttachedLaterDoesNotShiftRegisteredIndices)
{
    // The Rowan unit sits at a lower location than the Generic unit: once attached it is listed
    // first, yet index 1 keeps naming the Generic unit, and the Rowan takes the next free index.
    loadBench(R"({"units":[
      {"chip":"FT232R","serial":"QZAH041010081","location":16,"plugged":false},
      {"chip":"FT232R","serial":"QZAH019010082","location":32}]})");
    ASSERT_EQ(clearError(1), 0);
    ASSERT_EQ(bench().replug("QZAH041010081"), 0);
    int highest = 0;
    EXPECT_EQ(getHighestDeviceIndex(&highest), 0);
    EXPECT_EQ(highest, 2);
    char text[16];
    for (const auto& [index, serial, family] :
        {std::tuple{1, "QZAH019010082", "Generic"}, std::tuple{2, "QZAH041010081", "Rowan"}}) {
        EXPECT_EQ(getDeviceSerialNumber(index, text, sizeof text), 0);
        EXPECT_STREQ(text, serial);
        EXPECT_EQ(getFamilyName(index, text, sizeof text), 0);
        EXPECT_STREQ(text, family);
    }
    double value = 0;
    EXPECT_EQ(getADCValue(1, &value), 10); // still the Generic unit, which has no converter
    EXPECT_EQ(getADCValue(2, &value), 0);
    bench().takeHostPackets("QZAH019010082");
    EXPECT_EQ(turnVoltageOff(1, 1), 0);
    EXPECT_EQ(bench().takeHostPacketsText("QZAH019010082"), "23:");
}

TEST_F(OpeningAndRegistry, FindsUnitsBySerialNumberAndLeavesTheRegistryAsItWas)
{
    using namespace DefaultBench;
    EXPECT_EQ(clearError(Cedar), 0);
    const int openBefore = bench().openHandleCount();
    int index = 0;
    // A matching unit that cannot be opened is not found.
    bench().failOpens(serial(Rowan), 1);
    EXPECT_EQ(getDeviceIndex(serial(Rowan), &index), 6);
    EXPECT_EQ(index, -1);
    for (int other = 1; other <= Count; ++other)
        bench().takeHostBytes(serial(other));
    EXPECT_EQ(getDeviceIndex(QByteArray(serial(Rowan)).toLower().constData(), &index), 0);
    EXPECT_EQ(index, Rowan);
    // Only the matching unit was opened to make sure it can be used.
    for (int other = 1; other <= Count; ++other)
        EXPECT_EQ(bench().takeHostBytes(serial(other)).isEmpty(), other != Rowan) << other;
    EXPECT_EQ(getDeviceIndex(serial(Cedar), &index), 0);
    EXPECT_EQ(index, Cedar);
    EXPECT_EQ(bench().openHandleCount(), openBefore);
    const QByteArray nearMiss
        = QByteArray(serial(Rowan)).left(12) + (serial(Rowan)[12] == '7' ? "8" : "7");
    EXPECT_EQ(getDeviceIndex(nearMiss.constData(), &index), 6);
    EXPECT_EQ(index, -1);
    // The 13-character form is compared.
    EXPECT_EQ(getDeviceIndex(QByteArray(serial(Rowan)).left(9).constData(), &index), 6);
    EXPECT_EQ(getDeviceIndex(nullptr, &index), 6);
    EXPECT_EQ(getDeviceIndex(serial(Rowan), nullptr), 0);
    EXPECT_EQ(bench().openHandleCount(), openBefore);
    // The Cedar unit stayed registered and open: no identification on its next call.
    bench().takeHostPackets(serial(Cedar));
    EXPECT_EQ(clearError(Cedar), 0);
    EXPECT_EQ(bench().takeHostPacketsText(serial(Cedar)), "31:");
}

// Each way opening can fail leaves no handle open and nothing registered: the next call opens
// the unit from the start and succeeds.
TEST_F(OpeningAndRegistry, EveryOpeningFailureLeavesNothingOpen)
{
    const char* serial = "QZAH015010011";
    struct Case
    {
        const char* name;
        const char* unit; // more of the unit's bench entry
        std::function<void()> fault;
        int status;
    };
    const Case cases[] = {
        {"connection", "", [&] { bench().failOpens(serial, 1); }, 3},
        {"foreign EEPROM serial", R"(,"eepromSerial":"FT123456")", nullptr, 3},
        {"first instruction", "", [&] { bench().failWrites(serial, 1); }, 4},
        {"identification dropped", "", [&] { bench().setStatusOverride(serial, 0x14, 1); }, 7},
        {"page trailer", R"(,"pageFault":"badTrailer")", nullptr, 7},
        {"page magic", R"(,"pageFault":"badMagic")", nullptr, 8},
        {"page serial", R"(,"pageFault":"badSerial")", nullptr, 8},
        // (Version 2 where it is listed, on a Cedar unit: FamilyBehaviour.ExactBytesOnTheWire.)
        {"hardware version", R"(,"versionWords":[2,1,0,0,0])", nullptr, 9},
        {"calibration", "", [&] { bench().setStatusOverride(serial, 0x45, 2); }, 11},
        {"polarity", "", [&] { bench().setStatusOverride(serial, 0x41, 2); }, 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        loadBench(
            (std::string(R"({"units":[{"chip":"FT232R","serial":"QZAH015010011","location":16)")
                + c.unit + "}]}")
                .c_str());
        if (c.fault)
            c.fault();
        EXPECT_EQ(clearError(1), c.status);
        EXPECT_EQ(bench().openHandleCount(), 0);
        for (int instruction : {0x14, 0x45, 0x41})
            bench().setStatusOverride(serial, instruction, -1);
        if (c.fault) {
            EXPECT_EQ(clearError(1), 0); // a transient fault: the next call opens from the start
        }
        initialiseSession();
        EXPECT_EQ(bench().openHandleCount(), 0);
    }
}

TEST_F(OpeningAndRegistry, StatusTexts)
{
    const std::set<int> codes = {-1, 0, 1, 3, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19,
        20, 21, 22, 23, 24, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38};
    char buffer[128];
    for (int code = -3; code <= 40; ++code) {
        ASSERT_EQ(getStatusText(code, buffer, sizeof buffer), 0);
        EXPECT_EQ(std::string(buffer).rfind("unknown status code", 0) == 0, codes.count(code) == 0)
            << buffer;
    }
    const std::pair<int, const char*> cases[] = {
        {0, "success"},
        {19, "voltage out of range"},
        {30, "switching on output 2 or 3 refused: the unit's status shows them not ready"},
        {38, "the text buffer is null or too small for the text and its closing zero byte"},
        {25, "unknown status code 25"},
        {INT_MIN, "unknown status code -2147483648"},
    };
    for (const auto& [code, text] : cases) {
        EXPECT_EQ(getStatusText(code, buffer, sizeof buffer), 0);
        EXPECT_STREQ(buffer, text);
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
    EXPECT_EQ(clearError(1), 0);
    EXPECT_EQ(clearError(2), 0);
}
