#include "UnitHarness.h"

using namespace UnitHarness;

namespace {

// The host's reading of a 20-byte calibration record, with the model's defaults.
Words hostCalibration(const QByteArray& record, bool dual)
{
    if (record.size() != 20 || record.at(0) != 'm')
        return dual ? Words{18860, 0, 0, 1509, 0} : Words{7588, 0, 0, 3036, 0};
    return Words{wordAt(record, 1), signedWordAt(record, 3), wordAt(record, 9), wordAt(record, 5),
                 signedWordAt(record, 7)};
}

QByteArray hostSetting(const Words& words, int volts, int current)
{
    QByteArray data = words.encode(1, volts, current) + QByteArray(3, '\0');
    appendWord(data, 55000);
    return data;
}

struct RoundTrip
{
    const char* config;
    int polarity; // -1: the model has no polarity instruction
    int volts;
    int current;
    int flags;
    long readVolts;
    long readCurrent;
};

class GenericRoundTrip : public testing::TestWithParam<RoundTrip>
{
};

// The host's sequence: read polarity and calibration, set, switch on, read, switch off.
TEST_P(GenericRoundTrip, WhatTheHostSetsReadsBackThroughItsOwnConversions)
{
    const RoundTrip& c = GetParam();
    auto generic = unit(c.config);
    const bool dual = c.polarity >= 0;
    const int stateByte = dual ? 0x44 : 0x42;
    Words words = hostCalibration(exchange(*generic, 0x41).data, false);
    if (dual) {
        ASSERT_EQ(exchange(*generic, 0x21, QByteArray(1, static_cast<char>(c.polarity))).status, 0);
        EXPECT_EQ(exchange(*generic, 0x41).data.at(0), c.polarity);
        words = hostCalibration(exchange(*generic, c.polarity == 1 ? 0x43 : 0x42).data, true);
    }
    const QByteArray setting = hostSetting(words, c.volts, c.current);
    ASSERT_EQ(exchange(*generic, 0x20, setting).status, 0);
    EXPECT_EQ(exchange(*generic, 0x40).data, setting);
    ASSERT_EQ(exchange(*generic, dual ? 0x24 : 0x22).status, 0);
    const QByteArray state = exchange(*generic, stateByte).data;
    ASSERT_EQ(state.size(), 8);
    EXPECT_EQ(static_cast<quint8>(state.at(0)), c.flags);
    EXPECT_EQ(words.read(wordAt(state, 1), signedWordAt(state, 3), state.at(7) == 1),
              std::make_pair(c.readVolts, c.readCurrent));
    EXPECT_EQ(wordAt(state, 5), wordAt(setting, 0)); // the voltage code in effect

    ASSERT_EQ(exchange(*generic, dual ? 0x25 : 0x23).status, 0);
    EXPECT_EQ(exchange(*generic, stateByte).data.at(0), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GenericRoundTrip,
    testing::Values(
        RoundTrip{R"({"serial":"QZAH01901","loadOhms":5e7})", -1, 5000, 200, 0x01, 5000, 100},
        RoundTrip{R"({"serial":"QZAH01901","loadOhms":5e7,"calibration":{"voltageGain":7600,"voltageOffset":-35,
                   "currentGain":3000,"currentOffset":12,"currentCoupling":800}})",
                  -1, 1234, 150, 0x01, 1234, 25},
        RoundTrip{R"({"serial":"QZAH01901","polarity":1,"loadCurrent":20})", -1, 1000, 30, 0x01, -1000, -20},
        // A constant-current load beyond the limit pulls the output down.
        RoundTrip{R"({"serial":"QZAH01901","polarity":1,"loadCurrent":40})", -1, 1000, 30, 0x03, 0, -30},
        RoundTrip{R"({"serial":"QZAH02501","loadOhms":1e7})", 0, 2000, 500, 0x01, 2000, 200},
        // One record per polarity: the negative one has its own words.
        RoundTrip{R"({"serial":"QZAH02501","loadOhms":1e7,"calibration":[{"voltageGain":18000},
                   {"voltageGain":19500,"voltageOffset":100,"currentGain":1600}]})",
                  1, 1500, 500, 0x01, -1500, -150},
        RoundTrip{R"({"serial":"QZAH02501","shortCircuit":true})", 0, 1500, 120, 0x07, 0, 120}));

TEST(Generic, CalibrationRecordLayouts)
{
    auto single = unit(R"({"serial":"QZAH01901","calibration":{"voltageGain":7600,"voltageOffset":-35,
                          "currentGain":3000,"currentOffset":12,"currentCoupling":800}})");
    EXPECT_EQ(text(exchange(*single, 0x41).data), text(hex("6d b01d ddff b80b 0c00 2003 000000000000000000")));
    auto dual = unit(R"({"serial":"QZAH02501","calibration":[{"form":"none"},{"voltageGain":19500}]})");
    EXPECT_EQ(exchange(*dual, 0x42).data, QByteArray(20, '\xff'));
    EXPECT_EQ(text(exchange(*dual, 0x43).data.left(11)), text(hex("6d 2c4c 0000 e505 0000 0000")));
}

} // namespace
