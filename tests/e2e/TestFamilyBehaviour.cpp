// What each family puts on the wire for given arguments, how it checks them, and how it reads
// the unit back, through the exported functions against the bench.

#include "BenchTest.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {
const double NaN = std::numeric_limits<double>::quiet_NaN();
const double Inf = std::numeric_limits<double>::infinity();
} // namespace

class FamilyBehaviour : public BenchTest
{
protected:
    // Opens the unit and forgets the identification traffic.
    void open(int index)
    {
        ASSERT_EQ(clearError(index) % 10, 0); // 10: no clearError, but opened
        bench().takeHostPackets(DefaultBench::serial(index));
    }
    std::string sent(int index) { return bench().takeHostPacketsText(DefaultBench::serial(index)); }
};

TEST_F(FamilyBehaviour, ArgumentsAreCheckedInOrderBeforeAnythingIsSent)
{
    using namespace DefaultBench;
    for (int index = 1; index <= Count; ++index)
        open(index);
    // Where a call breaks two rules, the one named first is the one reported.
    const std::pair<std::function<int()>, int> cases[] = {
        {[] { return setPWM(Alder, 2, 101); }, 14}, // the duty before the channel
        {[] { return setPWM(Alder, 1, -1); }, 14},
        {[] { return setPWMFrequency(Alder, 0); }, 16},
        {[] { return setPWMFrequency(Alder, 200001); }, 16},
        {[] { return setVoltage(Alder, 1, 2000.5, 10); }, 19},
        {[] { return setVoltage(Alder, 1, NaN, 10); }, 19},
        {[] { return setVoltage(Alder, 1, 10, NaN); }, 20},
        {[] { return setVoltage(Alder, 2, NaN, NaN); }, 18}, // the channel before the voltage
        {[] { return setPolarity(Alder, 1, 2); }, 22},
        {[] { return turnVoltageOn(Alder, 0); }, 18},
        {[] { return setAccurateVoltage(Birch, 2, 1, 1); }, 18},
        {[] { return setAccurateVoltage(Birch, 1, -1, 0); }, 19},
        {[] { return setAccurateVoltage(Birch, 1, 1, 2500.5); }, 19},
        {[] { return setAccurateVoltage(Birch, 1, Inf, 0); }, 19},
        {[] { return turnVoltageOff(Birch, 2); }, 18},
        {[] { return setPWMFunction(Cedar, 3, 3); }, 34}, // the function before the channel
        {[] { return setPWMFunction(Cedar, 3, 2); }, 13},
        {[] { return setVoltage(Cedar, 1, 75.5, 0); }, 19}, // above the limit of bus level 0
        {[] { return setVoltage(Cedar, 4, 1, 0); }, 18},
        {[] { return setVoltageWaveform(Cedar, 1, 3, 10, 20, 1); }, 37},
        {[] { return setVoltageWaveform(Cedar, 1, 0, 10, 20, 0.05); }, 36},
        {[] { return setVoltageWaveform(Cedar, 1, 0, 10, NaN, 1); }, 35},
        {[] { return setVoltageWaveform(Cedar, 1, 0, 76, 20, 1); }, 19},
        {[] { return enableInternalVoltageBus(Cedar, 2); }, 26},
        {[] { return turnVoltageOn(Cedar, 4); }, 18},
        {[] { return setVoltage(Generic19, 1, 5000.5, 200); }, 19},
        {[] { return setVoltage(Generic19, 1, 10, -1); }, 20},
        {[] { return setVoltage(Generic19, 2, 1, 1); }, 18},
        {[] { return setPolarity(Generic19, 2, 0); }, 10}, // a single-polarity model
        {[] { return setPolarity(Generic25, 1, 2); }, 22},
        {[] { return setVoltage(Generic25, 1, 2001, 1); }, 19},
    };
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        EXPECT_EQ(cases[k].first(), cases[k].second) << "case " << k;
        for (int index = 1; index <= Count; ++index)
            EXPECT_EQ(sent(index), "") << "case " << k;
    }
    // The limits themselves are accepted.
    EXPECT_EQ(setVoltage(Alder, 1, 2000, 1000), 0);
    EXPECT_EQ(setPWMFrequency(Alder, 1), 0);
    EXPECT_EQ(setVoltage(Generic19, 1, 5000, 200), 0);
    EXPECT_EQ(setVoltage(Cedar, 1, 75, 0), 0);
    EXPECT_EQ(setAccurateVoltage(Birch, 1, 0, 2500), 0);
}

// Bytes at the limits of an encoding, and where the firmware or a missing calibration changes them.
TEST_F(FamilyBehaviour, ExactBytesOnTheWire)
{
    struct Case
    {
        const char* unit;
        std::function<int()> call;
        const char* sent;
    };
    const Case cases[] = {
        {R"("chip":"FT232R","serial":"QZAH015010031")", [] { return setPWMFrequency(1, 200000); },
            "23:400d0300 28:"},
        // 52000, then -2500000: both limits are inclusive.
        {R"("chip":"FT-X","serial":"QZAH040010032")",
            [] { return setAccurateVoltage(1, 1, 52000, -2500); }, "20:20cb60dad9ff"},
        // No stored calibration: the model's defaults, 7588 per 1000 V and 3036 per 100,
        // applied to whole numbers.
        {R"("chip":"FT232R","serial":"QZAH019010035")",
            [] { return setVoltage(1, 1, 1000.9, 100.9); }, "20:a41ddc0b000000000000000000d8d6"},
        // Firmware 1 sets the level alone; firmware 2 sends it with the waveform, code 2, 500 ms
        // and level 2.
        {R"("chip":"FT2232H","serial":"QZAH017010033","versionWords":[1,1,0,0,0])",
            [] { return enableInternalVoltageBus(1, 1) | setVoltage(1, 2, 100, 0); },
            "20:01 22:3f9c"},
        {R"("chip":"FT2232H","serial":"QZAH017010034","versionWords":[2,7,0,0,0])",
            [] {
                return enableInternalVoltageBus(1, 1) | setVoltageWaveform(1, 3, 1, 100, 50, 0.5);
            },
            "20:01 23:3f9c02f4011f4e"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.unit);
        loadBench((std::string(R"({"units":[{"location":16,)") + c.unit + "}]}").c_str());
        char serial[16];
        ASSERT_EQ(getDeviceSerialNumber(1, serial, sizeof serial), 0);
        ASSERT_EQ(clearError(1) % 10, 0); // opens the unit (10: no clearError)
        bench().takeHostPackets(serial);
        EXPECT_EQ(c.call(), 0);
        EXPECT_EQ(bench().takeHostPacketsText(serial), c.sent);
    }
}

TEST_F(FamilyBehaviour, ReadingsThroughTheUnitsCalibration)
{
    loadBench(R"({"units":[
      {"chip":"FT232R","serial":"QZAH041010051","location":16,"adcInput":1.0},
      {"chip":"FT232R","serial":"QZAH041010052","location":32,"adcInput":-1.0},
      {"chip":"FT232R","serial":"QZAH041010053","location":48,"adcInput":0.005},
      {"chip":"FT232H","serial":"QZAH019010054","location":64,"shortCircuit":true},
      {"chip":"FT2232H","serial":"QZAH017010055","location":80,"errorWord":257}]})");
    const double expected[] = {1.0, -1.0, 0.005};
    for (int index = 1; index <= 3; ++index) {
        double value = 99;
        EXPECT_EQ(getADCValue(index, &value), 0);
        EXPECT_DOUBLE_EQ(value, expected[index - 1]);
    }
    bool flag = false;
    char text[256];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(turnVoltageOn(4, 1), 0);
    EXPECT_EQ(getSupplyStatus(4, &flag, text), 0);
    EXPECT_TRUE(flag);
    EXPECT_STREQ(text, "Output short circuit");
    EXPECT_EQ(getSupplyStatus(5, &flag, text), 0);
    EXPECT_STREQ(text, "Output 1 over-temperature\nLow-voltage bus under-voltage");
    EXPECT_EQ(getSupplyStatus(5, nullptr, nullptr), 0); // null out-pointers are not written
}

TEST_F(FamilyBehaviour, CedarSwitchOnRefusals)
{
    loadBench(R"({"units":[
      {"chip":"FT2232H","serial":"QZAH017010061","location":16,"ready":false},
      {"chip":"FT2232H","serial":"QZAH017010062","location":48,"outputs23Ready":false}]})");
    EXPECT_EQ(turnVoltageOn(1, 1), 29);
    EXPECT_EQ(turnVoltageOn(2, 2), 30);
    EXPECT_EQ(turnVoltageOn(2, 3), 30);
    // (What output 1's switching on sends: UnitOperations.EveryFamilyAgainstEveryFunction.)
    EXPECT_EQ(turnVoltageOn(2, 1), 0);
    bool first = false, second = false;
    EXPECT_EQ(getChannelStatus(2, 1, &first, &second), 0);
    EXPECT_TRUE(first && second);
    EXPECT_EQ(getChannelStatus(2, 3, &first, &second), 0);
    EXPECT_FALSE(first || second);
}

TEST_F(FamilyBehaviour, RoundTripsOnThePhysicalModel)
{
    loadBench(R"({"units":[
      {"chip":"FT232H","serial":"QZAH019010071","location":16,"loadCurrent":50},
      {"chip":"FT-X","serial":"QZAH025010072","location":32,"loadCurrent":40},
      {"chip":"FT232R","serial":"QZAH015010073","location":48,"loadCurrent":30}]})");
    const double load[] = {50, 40, 30};
    for (int index = 1; index <= 3; ++index) {
        SCOPED_TRACE(index);
        bool first = true, second = true, flag = true;
        char text[64] = {};
        double current = -1;
        EXPECT_EQ(setVoltage(index, 1, 1000, 100), 0);
        EXPECT_EQ(getChannelStatus(index, 1, &first, &second), 0);
        EXPECT_FALSE(first);
        EXPECT_EQ(turnVoltageOn(index, 1), 0);
        EXPECT_EQ(getChannelStatus(index, 1, &first, &second), 0);
        EXPECT_TRUE(first);
        EXPECT_FALSE(second);
        EXPECT_EQ(getChannelCurrent(index, 1, &current), 0);
        EXPECT_EQ(current, std::floor(current)); // readings are whole numbers
        EXPECT_NEAR(current, load[index - 1], 1);
        EXPECT_EQ(getSupplyStatus(index, &flag, text), 0);
        EXPECT_FALSE(flag);
        EXPECT_STREQ(text, "No error");
        EXPECT_EQ(turnVoltageOff(index, 1), 0);
        EXPECT_EQ(getChannelStatus(index, 1, &first, &second), 0);
        EXPECT_FALSE(first);
    }
    // Polarity 1 on the dual-polarity unit: its readings come back negated.
    EXPECT_EQ(setPolarity(2, 1, 1), 0);
    EXPECT_EQ(setVoltage(2, 1, 1000, 100), 0);
    EXPECT_EQ(turnVoltageOn(2, 1), 0);
    double current = 0;
    EXPECT_EQ(getChannelCurrent(2, 1, &current), 0);
    EXPECT_NEAR(current, -40, 1);
}

// A refused or lost reply gives the operation's own code, writes no out-parameter and leaves the
// unit usable.
TEST_F(FamilyBehaviour, AFailedExchangeLeavesOutputsAloneAndTheUnitUsable)
{
    using namespace DefaultBench;
    open(Generic19);
    open(Rowan);
    double current = 123.0, value = 42;
    bool first = true, second = true, flag = true;
    char text[32] = "untouched";
    struct Case
    {
        int index;
        int instruction; // whose reply carries the status; -1: the next reply is dropped
        int status;
        std::function<int()> call;
        int code;
    };
    const Case cases[] = {
        {Generic19, 0x42, 1, [&] { return getChannelCurrent(Generic19, 1, &current); }, 32},
        {Generic19, 0x42, 1, [&] { return getChannelStatus(Generic19, 1, &first, &second); }, 31},
        {Generic19, 0x42, 1, [&] { return getSupplyStatus(Generic19, &flag, text); }, 31},
        {Generic19, 0x20, 2, [] { return setVoltage(Generic19, 1, 10, 10); }, 21},
        {Generic19, 0x22, 32, [] { return turnVoltageOn(Generic19, 1); }, 24},
        {Generic19, 0x23, 1, [] { return clearError(Generic19); }, 33},
        {Rowan, -1, 0, [&] { return getADCValue(Rowan, &value); }, 31},
    };
    for (const Case& c : cases) {
        if (c.instruction < 0) {
            bench().dropReplies(serial(c.index), 1);
            EXPECT_EQ(c.call(), c.code);
        } else {
            bench().setStatusOverride(serial(c.index), c.instruction, c.status);
            EXPECT_EQ(c.call(), c.code) << c.instruction;
            bench().setStatusOverride(serial(c.index), c.instruction, -1);
        }
        EXPECT_EQ(current, 123.0);
        EXPECT_EQ(value, 42);
        EXPECT_TRUE(first && second && flag);
        EXPECT_STREQ(text, "untouched");
    }
    EXPECT_EQ(getChannelCurrent(Generic19, 1, &current), 0);
    EXPECT_EQ(current, 0.0);
    EXPECT_EQ(getADCValue(Rowan, &value), 0);
    EXPECT_NE(value, 42);
}
