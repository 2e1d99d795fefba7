#include "UnitHarness.h"

#include <QJsonObject>

#include <cmath>

using namespace UnitHarness;

namespace {

struct Words
{
    int voltageGain, voltageOffset, currentCoupling, currentGain, currentOffset;
};

void appendWord(QByteArray& data, long value)
{
    data.append(static_cast<char>(value & 0xFF));
    data.append(static_cast<char>((value >> 8) & 0xFF));
}

int wordAt(const QByteArray& data, int i)
{
    return static_cast<quint8>(data.at(i)) | static_cast<quint8>(data.at(i + 1)) << 8;
}

// The host's reading of a 20-byte calibration record, with its model defaults.
Words hostCalibration(const QByteArray& record, bool dual)
{
    if (record.size() != 20 || record.at(0) != 'm')
        return dual ? Words{18860, 0, 0, 1509, 0} : Words{7588, 0, 0, 3036, 0};
    return Words{wordAt(record, 1), static_cast<qint16>(wordAt(record, 3)), wordAt(record, 9), wordAt(record, 5),
                 static_cast<qint16>(wordAt(record, 7))};
}

QByteArray hostEncoding(const Words& w, int volts, int current)
{
    QByteArray data;
    appendWord(data, std::trunc(w.voltageGain / 1000.0 * volts + w.voltageOffset / 10.0));
    appendWord(data, std::trunc(w.currentGain / 100.0 * current));
    appendWord(data, w.voltageOffset / 10);
    appendWord(data, w.currentOffset / 10);
    appendWord(data, w.currentCoupling);
    data.append('\0');
    appendWord(data, 0);
    appendWord(data, 55000);
    return data;
}

std::pair<long, long> hostReading(const Words& w, const QByteArray& reply)
{
    double v = (wordAt(reply, 1) - w.voltageOffset / 10.0) / (w.voltageGain / 1000.0);
    double i = (static_cast<qint16>(wordAt(reply, 3)) - w.currentOffset / 10.0
                - (w.voltageGain / 1000.0) * v * w.currentCoupling / 16384.0)
        / (w.currentGain / 100.0);
    if (reply.at(7) == 1) {
        v = -v;
        i = -i;
    }
    return {static_cast<long>(std::floor(v + 0.5)), static_cast<long>(std::floor(i + 0.5))};
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

// The host's whole sequence: read calibration (and polarity), set, switch on, read the state.
TEST_P(GenericRoundTrip, WhatTheHostSetsReadsBackThroughItsOwnConversions)
{
    const RoundTrip& c = GetParam();
    auto generic = unit(c.config);
    const bool dual = c.polarity >= 0;
    Words words;
    int stateByte = 0x42;
    if (dual) {
        stateByte = 0x44;
        ASSERT_EQ(exchange(*generic, 0x21, QByteArray(1, static_cast<char>(c.polarity))).status, 0);
        EXPECT_EQ(exchange(*generic, 0x41).data.at(0), c.polarity);
        words = hostCalibration(exchange(*generic, c.polarity == 1 ? 0x43 : 0x42).data, true);
    } else {
        words = hostCalibration(exchange(*generic, 0x41).data, false);
    }
    ASSERT_EQ(exchange(*generic, 0x20, hostEncoding(words, c.volts, c.current)).status, 0);
    ASSERT_EQ(exchange(*generic, dual ? 0x24 : 0x22).status, 0);
    const Reply state = exchange(*generic, stateByte);
    ASSERT_EQ(state.data.size(), 8);
    EXPECT_EQ(static_cast<quint8>(state.data.at(0)), c.flags);
    const auto [volts, current] = hostReading(words, state.data);
    EXPECT_EQ(volts, c.readVolts);
    EXPECT_EQ(current, c.readCurrent);
    // Word 5 carries the voltage code in effect.
    EXPECT_EQ(wordAt(state.data, 5), wordAt(hostEncoding(words, c.volts, c.current), 0));

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
        // One record per polarity: the negative one has its own gain.
        RoundTrip{R"({"serial":"QZAH02501","loadOhms":1e7,"calibration":[{"voltageGain":18000},
                   {"voltageGain":19500,"voltageOffset":100,"currentGain":1600}]})",
                  1, 1500, 500, 0x01, -1500, -150},
        RoundTrip{R"({"serial":"QZAH02501","shortCircuit":true})", 0, 1500, 120, 0x07, 0, 120}));

TEST(Generic, CalibrationRecordsPerModelAndPolarity)
{
    auto single = unit(R"({"serial":"QZAH01901","calibration":{"voltageGain":7600,"voltageOffset":-35,
                          "currentGain":3000,"currentOffset":12,"currentCoupling":800}})");
    EXPECT_EQ(text(exchange(*single, 0x41).data), text(hex("6d b01d ddff b80b 0c00 2003 000000000000000000")));

    auto dual = unit(R"({"serial":"QZAH02501","calibration":[{"form":"none"},{"voltageGain":19500}]})");
    EXPECT_EQ(text(exchange(*dual, 0x42).data), text(QByteArray(20, '\xff')));
    EXPECT_EQ(text(exchange(*dual, 0x43).data.left(11)), text(hex("6d 2c4c 0000 e505 0000 0000")));

    auto none = unit(R"({"serial":"QZAH01901"})");
    EXPECT_EQ(text(exchange(*none, 0x41).data), text(QByteArray(20, '\xff')));
}

TEST(Generic, VoltageSettingReadsBackWhole)
{
    auto generic = unit(R"({"serial":"QZAH01901"})");
    EXPECT_EQ(exchange(*generic, 0x40).data, QByteArray(15, '\0'));
    const QByteArray setting = hex("a41d 2c01 0000 0000 0000 07 3412 d8d6");
    ASSERT_EQ(exchange(*generic, 0x20, setting).status, 0);
    EXPECT_EQ(text(exchange(*generic, 0x40).data), text(setting));
    EXPECT_DOUBLE_EQ(generic->state().value("output").toObject().value("setVoltage").toDouble(), 1000.0);
}

TEST(Generic, SwitchingPolarityKeepsTheVoltageAndReportsTheNewSign)
{
    auto generic = unit(R"({"serial":"QZAH02501","loadOhms":1e7})");
    exchange(*generic, 0x20, hostEncoding(Words{18860, 0, 0, 1509, 0}, 1000, 500));
    exchange(*generic, 0x24);
    exchange(*generic, 0x21, hex("01"));
    const QByteArray state = exchange(*generic, 0x44).data;
    EXPECT_EQ(state.at(7), 1);
    const auto [volts, current] = hostReading(Words{18860, 0, 0, 1509, 0}, state);
    EXPECT_EQ(volts, -1000);
    EXPECT_EQ(current, -100);
}

} // namespace
