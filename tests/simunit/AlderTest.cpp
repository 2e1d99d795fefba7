#include "UnitHarness.h"

using namespace UnitHarness;

namespace {

// The words the host takes from a 150-byte user-data record.
Words hostCalibration(const QByteArray& record)
{
    if (record.at(0) == 'O')
        return Words{wordAt(record, 65), signedWordAt(record, 67), 0, 22400, 0};
    if (record.at(0) == 'g')
        return Words{wordAt(record, 33), signedWordAt(record, 35), wordAt(record, 41), wordAt(record, 37),
                     signedWordAt(record, 39)};
    return Words{10560, 0, 0, 22400, 0};
}

struct RoundTrip
{
    const char* config;
    int polarity;
    int volts;
    int current;
    bool switchOn;
    int flags;
    long readVolts;
    long readCurrent;
};

class AlderRoundTrip : public testing::TestWithParam<RoundTrip>
{
};

// The host's sequence: read the record, set polarity and voltage, switch on, read the state.
TEST_P(AlderRoundTrip, WhatTheHostSetsReadsBackThroughItsOwnConversions)
{
    const RoundTrip& c = GetParam();
    auto alder = unit(c.config);
    const Words words = hostCalibration(exchange(*alder, 0x45).data);
    ASSERT_EQ(exchange(*alder, 0x21, QByteArray(1, static_cast<char>(c.polarity))).status, 0);
    ASSERT_EQ(exchange(*alder, 0x20, words.encode(c.polarity == 1 ? -1 : 1, c.volts, c.current)).status, 0);
    if (c.switchOn) {
        ASSERT_EQ(exchange(*alder, 0x26).status, 0);
    }
    const QByteArray state = exchange(*alder, 0x46).data;
    ASSERT_EQ(state.size(), 5);
    EXPECT_EQ(static_cast<quint8>(state.at(0)), c.flags);
    EXPECT_EQ(words.read(signedWordAt(state, 1), signedWordAt(state, 3)), std::make_pair(c.readVolts, c.readCurrent));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AlderRoundTrip,
    testing::Values(
        // No record: the defaults on both sides. 1000 V into 10 MΩ draws 100 µA.
        RoundTrip{R"({"serial":"QZAH01501","loadOhms":1e7})", 0, 1000, 500, true, 0x01, 1000, 100},
        RoundTrip{R"({"serial":"QZAH01501","loadOhms":2e7,"calibration":{"form":"g","voltageGain":12000,
                   "voltageOffset":-50,"currentGain":10000,"currentOffset":30,"currentCoupling":1638}})",
                  0, 1500, 100, true, 0x01, 1500, 75},
        // An 'O' record carries only the voltage words; a reversed output reads negative.
        RoundTrip{R"({"serial":"QZAH01501","loadCurrent":50,"calibration":{"form":"O","voltageGain":9000,
                   "voltageOffset":20,"currentGain":1}})",
                  1, 800, 100, true, 0x01, -800, -50},
        // Current-limited: the voltage falls to what the limit drives through the load.
        RoundTrip{R"({"serial":"QZAH01501","loadOhms":1e7})", 0, 1000, 50, true, 0x03, 500, 50},
        RoundTrip{R"({"serial":"QZAH01501","shortCircuit":true})", 0, 1000, 80, true, 0x07, 0, 80},
        RoundTrip{R"({"serial":"QZAH01501","loadOhms":1e7})", 0, 1000, 500, false, 0x00, 0, 0}));

TEST(Alder, UserDataRecordLayouts)
{
    const QByteArray g = exchange(*unit(R"({"serial":"QZAH01501","calibration":{"voltageGain":12000,
        "voltageOffset":-50,"currentGain":10000,"currentOffset":30,"currentCoupling":1638,"pairs":[[1,2]]}})"), 0x45)
                             .data;
    ASSERT_EQ(g.size(), 150);
    EXPECT_EQ(text(g.left(9)), text(hex("67 0100 0200 0000 3075")));
    EXPECT_EQ(text(g.mid(29, 16)), text(hex("0000 3075 e02e ceff 1027 1e00 6606 0000")));
    const QByteArray o =
        exchange(*unit(R"({"serial":"QZAH01501","calibration":{"form":"O","voltageGain":9000}})"), 0x45).data;
    EXPECT_EQ(text(o.mid(61, 10)), text(hex("0000 3075 2823 0000 0000")));
    EXPECT_EQ(exchange(*unit(R"({"serial":"QZAH01501"})"), 0x45).data, QByteArray(150, '\xff'));
}

TEST(Alder, PwmSettingsTakeEffectOnlyWithTheFollowUp)
{
    auto alder = unit(R"({"serial":"QZAH01501"})");
    ASSERT_EQ(exchange(*alder, 0x23, hex("400d0300")).status, 0);
    ASSERT_EQ(exchange(*alder, 0x24, hex("0219")).status, 0);
    EXPECT_EQ(text(exchange(*alder, 0x44).data + exchange(*alder, 0x43).data), text(hex("0232 10270000")));
    ASSERT_EQ(exchange(*alder, 0x28).status, 0);
    EXPECT_EQ(text(exchange(*alder, 0x44).data + exchange(*alder, 0x43).data), text(hex("0219 400d0300")));
}

TEST(Alder, ShortedOutputStateBytesAndClearingByOutputOff)
{
    auto alder = unit(R"({"serial":"QZAH01501","shortCircuit":true})");
    const QByteArray setting = hex("4029 8057 0000 0000 0000");
    exchange(*alder, 0x20, setting);
    exchange(*alder, 0x26);
    EXPECT_EQ(text(exchange(*alder, 0x46).data), text(hex("07 0000 8057")));
    exchange(*alder, 0x27);
    EXPECT_EQ(text(exchange(*alder, 0x46).data), text(hex("00 0000 0000")));
    EXPECT_EQ(text(exchange(*alder, 0x42).data), text(setting + hex("10270000")));
}

} // namespace
