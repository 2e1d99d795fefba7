// What each family puts on the wire for given arguments, how it checks them, and how it reads
// the unit back, through the exported functions against the bench.

#include "BenchTest.h"

#include <QJsonArray>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

namespace {
const double NaN = std::numeric_limits<double>::quiet_NaN();
const double Inf = std::numeric_limits<double>::infinity();

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}
} // namespace

class FamilyBehaviour : public BenchTest
{
protected:
    // Opens the unit and forgets the identification traffic.
    void open(int index)
    {
        ASSERT_EQ(clearError(index), 0);
        bench().takeHostPackets(DefaultBench::serial(index));
    }
    QList<QPair<int, QByteArray>> sent(int index)
    {
        return bench().takeHostPackets(DefaultBench::serial(index));
    }
};

TEST_F(FamilyBehaviour, ArgumentsAreCheckedInOrderBeforeAnythingIsSent)
{
    using namespace DefaultBench;
    for (int index = 1; index <= Count; ++index)
        open(index);
    struct Case
    {
        const char* what;
        int index;
        std::function<int()> call;
        int status;
    };
    const Case cases[] = {
        {"Alder duty before channel", Alder, [] { return setPWM(Alder, 2, 101); }, 14},
        {"Alder duty below", Alder, [] { return setPWM(Alder, 1, -1); }, 14},
        {"Alder frequency 0", Alder, [] { return setPWMFrequency(Alder, 0); }, 16},
        {"Alder frequency above", Alder, [] { return setPWMFrequency(Alder, 200001); }, 16},
        {"Alder voltage above", Alder, [] { return setVoltage(Alder, 1, 2000.5, 10); }, 19},
        {"Alder voltage NaN", Alder, [] { return setVoltage(Alder, 1, NaN, 10); }, 19},
        {"Alder current NaN", Alder, [] { return setVoltage(Alder, 1, 10, NaN); }, 20},
        {"Alder channel before voltage", Alder, [] { return setVoltage(Alder, 2, NaN, NaN); }, 18},
        {"Alder polarity", Alder, [] { return setPolarity(Alder, 1, 2); }, 22},
        {"Alder on channel", Alder, [] { return turnVoltageOn(Alder, 0); }, 18},
        {"Birch channel", Birch, [] { return setAccurateVoltage(Birch, 2, 1, 1); }, 18},
        {"Birch voltage", Birch, [] { return setAccurateVoltage(Birch, 1, -1, 0); }, 19},
        {"Birch second", Birch, [] { return setAccurateVoltage(Birch, 1, 1, 2500.5); }, 19},
        {"Birch infinite", Birch, [] { return setAccurateVoltage(Birch, 1, Inf, 0); }, 19},
        {"Birch off channel", Birch, [] { return turnVoltageOff(Birch, 2); }, 18},
        {"Cedar function", Cedar, [] { return setPWMFunction(Cedar, 3, 3); }, 34},
        {"Cedar function channel", Cedar, [] { return setPWMFunction(Cedar, 3, 2); }, 13},
        {"Cedar voltage above level 0", Cedar, [] { return setVoltage(Cedar, 1, 75.5, 0); }, 19},
        {"Cedar voltage channel", Cedar, [] { return setVoltage(Cedar, 4, 1, 0); }, 18},
        {"Cedar waveform code", Cedar, [] { return setVoltageWaveform(Cedar, 1, 3, 10, 20, 1); },
            37},
        {"Cedar waveform period", Cedar,
            [] { return setVoltageWaveform(Cedar, 1, 0, 10, 20, 0.05); }, 36},
        {"Cedar waveform level2", Cedar, [] { return setVoltageWaveform(Cedar, 1, 0, 10, NaN, 1); },
            35},
        {"Cedar waveform level1", Cedar, [] { return setVoltageWaveform(Cedar, 1, 0, 76, 20, 1); },
            19},
        {"Cedar bus level", Cedar, [] { return enableInternalVoltageBus(Cedar, 2); }, 26},
        {"Cedar on channel", Cedar, [] { return turnVoltageOn(Cedar, 4); }, 18},
        {"Generic voltage above", Generic19, [] { return setVoltage(Generic19, 1, 5000.5, 200); },
            19},
        {"Generic current negative", Generic19, [] { return setVoltage(Generic19, 1, 10, -1); },
            20},
        {"Generic channel", Generic19, [] { return setVoltage(Generic19, 2, 1, 1); }, 18},
        {"Generic single polarity", Generic19, [] { return setPolarity(Generic19, 2, 0); }, 10},
        {"Generic polarity value", Generic25, [] { return setPolarity(Generic25, 1, 2); }, 22},
        {"Generic 25 voltage above", Generic25, [] { return setVoltage(Generic25, 1, 2001, 1); },
            19},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.call(), c.status);
        EXPECT_TRUE(sent(c.index).isEmpty());
    }
    // The limits themselves are accepted.
    EXPECT_EQ(setVoltage(Alder, 1, 2000, 1000), 0);
    EXPECT_EQ(setPWMFrequency(Alder, 1), 0);
    EXPECT_EQ(setVoltage(Generic19, 1, 5000, 200), 0);
    EXPECT_EQ(setVoltage(Cedar, 1, 75, 0), 0);
    EXPECT_EQ(setAccurateVoltage(Birch, 1, 0, 2500), 0);
}

TEST_F(FamilyBehaviour, ExactBytesOnTheWire)
{
    using namespace DefaultBench;
    open(Alder);
    EXPECT_EQ(setPWMFrequency(Alder, 200000), 0);
    auto packets = sent(Alder);
    ASSERT_EQ(packets.size(), 2);
    EXPECT_EQ(packets[0].first, 0x23);
    EXPECT_EQ(packets[0].second, hex("400d0300"));
    EXPECT_EQ(packets[1].first, 0x28);

    open(Birch);
    EXPECT_EQ(setAccurateVoltage(Birch, 1, 52000, -2500), 0);
    packets = sent(Birch);
    ASSERT_EQ(packets.size(), 1);
    EXPECT_EQ(packets[0].second, hex("20cb60dad9ff")); // 52000, then -2500000
    EXPECT_EQ(setAccurateVoltage(Birch, 1, 100.9, 0.0015), 0);
    EXPECT_EQ(sent(Birch)[0].second, hex("640001000000"));
    EXPECT_EQ(turnVoltageOff(Birch, 1), 0);
    EXPECT_EQ(sent(Birch)[0].second, hex("000000000000"));
}

TEST_F(FamilyBehaviour, GenericVoltageCodeFromTheModelDefaults)
{
    // No stored calibration: the (19, 1) defaults apply, voltage gain 7588.
    loadBench(R"({"units":[{"chip":"FT232R","serial":"QZAH019010031","location":16}]})");
    ASSERT_EQ(clearError(1), 0);
    bench().takeHostPackets("QZAH019010031");
    EXPECT_EQ(setVoltage(1, 1, 1000, 100), 0);
    const auto packets = bench().takeHostPackets("QZAH019010031");
    ASSERT_EQ(packets.size(), 1);
    ASSERT_EQ(packets[0].second.size(), 15);
    EXPECT_EQ(packets[0].second.left(4), hex("a41ddc0b")); // 7588; 30.36 x 100 = 3036
    EXPECT_EQ(packets[0].second.mid(10), hex("000000d8d6")); // 0, 0, 55000
    // Whole numbers are taken before calibration.
    EXPECT_EQ(setVoltage(1, 1, 1000.9, 100.9), 0);
    EXPECT_EQ(bench().takeHostPackets("QZAH019010031")[0].second.left(4), hex("a41ddc0b"));
}

TEST_F(FamilyBehaviour, CedarVoltageEncodingFollowsTheFirmwareVersion)
{
    loadBench(R"({"units":[
      {"chip":"FT2232H","serial":"QZAH017010041","location":16,"versionWords":[1,1,0,0,0]},
      {"chip":"FT2232H","serial":"QZAH017010042","location":48,"versionWords":[2,7,0,0,0]}]})");
    ASSERT_EQ(enableInternalVoltageBus(1, 1), 0);
    bench().takeHostPackets("QZAH017010041");
    EXPECT_EQ(setVoltage(1, 2, 100, 0), 0);
    auto packets = bench().takeHostPackets("QZAH017010041");
    ASSERT_EQ(packets.size(), 1);
    EXPECT_EQ(packets[0].first, 0x22);
    EXPECT_EQ(packets[0].second, hex("3f9c"));

    ASSERT_EQ(enableInternalVoltageBus(2, 1), 0);
    bench().takeHostPackets("QZAH017010042");
    EXPECT_EQ(setVoltageWaveform(2, 3, 1, 100, 50, 0.5), 0);
    packets = bench().takeHostPackets("QZAH017010042");
    ASSERT_EQ(packets.size(), 1);
    EXPECT_EQ(packets[0].first, 0x23);
    EXPECT_EQ(packets[0].second, hex("3f9c02f4011f4e")); // level, code 2, 500 ms, level 2
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
    bench().takeHostPackets("QZAH017010062");
    EXPECT_EQ(turnVoltageOn(2, 1), 0);
    const auto packets = bench().takeHostPackets("QZAH017010062");
    ASSERT_EQ(packets.size(), 2);
    EXPECT_EQ(packets[1].first, 0x2A);
    bool first = false, second = false;
    EXPECT_EQ(getChannelStatus(2, 1, &first, &second), 0);
    EXPECT_TRUE(first);
    EXPECT_TRUE(second);
    EXPECT_EQ(getChannelStatus(2, 3, &first, &second), 0);
    EXPECT_FALSE(first);
    EXPECT_FALSE(second);
}

TEST_F(FamilyBehaviour, RoundTripsOnThePhysicalModel)
{
    loadBench(R"({"units":[
      {"chip":"FT232H","serial":"QZAH019010071","location":16,"loadCurrent":50},
      {"chip":"FT-X","serial":"QZAH025010072","location":32,"loadCurrent":40},
      {"chip":"FT232R","serial":"QZAH015010073","location":48,"loadCurrent":30}]})");
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
        EXPECT_NEAR(current, index == 1 ? 50 : index == 2 ? 40 : 30, 1);
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

TEST_F(FamilyBehaviour, AFailedExchangeLeavesOutputsAloneAndTheUnitUsable)
{
    using namespace DefaultBench;
    open(Generic19);
    const char* serial = DefaultBench::serial(Generic19);
    double current = 123.0;
    bool first = true, second = true, flag = true;
    char text[32] = "untouched";

    bench().setStatusOverride(serial, 0x42, 1);
    EXPECT_EQ(getChannelCurrent(Generic19, 1, &current), 32);
    EXPECT_EQ(getChannelStatus(Generic19, 1, &first, &second), 31);
    EXPECT_EQ(getSupplyStatus(Generic19, &flag, text), 31);
    EXPECT_EQ(current, 123.0);
    EXPECT_TRUE(first);
    EXPECT_TRUE(second);
    EXPECT_TRUE(flag);
    EXPECT_STREQ(text, "untouched");
    bench().setStatusOverride(serial, 0x42, -1);

    bench().setStatusOverride(serial, 0x20, 2);
    EXPECT_EQ(setVoltage(Generic19, 1, 10, 10), 21);
    bench().setStatusOverride(serial, 0x20, -1);
    bench().setStatusOverride(serial, 0x22, 32);
    EXPECT_EQ(turnVoltageOn(Generic19, 1), 24);
    bench().setStatusOverride(serial, 0x22, -1);

    EXPECT_EQ(getChannelCurrent(Generic19, 1, &current), 0);
    EXPECT_EQ(current, 0.0);

    // A corrupted reply fails its exchange; the bytes behind it are read as packets and fail in
    // turn until the stream realigns, after which the unit answers again.
    bench().corruptNextReply(serial, 0x06);
    EXPECT_EQ(clearError(Generic19), 33);
    int attempts = 0;
    while (clearError(Generic19) != 0 && attempts < 20)
        ++attempts;
    EXPECT_LT(attempts, 20);
    current = 7;
    EXPECT_EQ(getChannelCurrent(Generic19, 1, &current), 0);
    EXPECT_EQ(current, 0.0);
}

TEST_F(FamilyBehaviour, ADroppedReplyTimesOutAndTheNextCallWorks)
{
    using namespace DefaultBench;
    open(Rowan);
    double value = 42;
    bench().dropReplies(DefaultBench::serial(Rowan), 1);
    EXPECT_EQ(getADCValue(Rowan, &value), 31);
    EXPECT_EQ(value, 42);
    EXPECT_EQ(getADCValue(Rowan, &value), 0);
    EXPECT_NE(value, 42);
}
