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

// What the host sends for a voltage setting with its stored calibration and polarity.
QByteArray hostEncoding(const Words& w, int polarity, int volts, int current)
{
    const int s = polarity == 1 ? -1 : 1;
    QByteArray data;
    appendWord(data, std::trunc(w.voltageGain / 1000.0 * s * volts + w.voltageOffset / 10.0));
    appendWord(data, std::trunc(w.currentGain / 100.0 * s * current));
    appendWord(data, w.voltageOffset / 10);
    appendWord(data, w.currentOffset / 10);
    appendWord(data, w.currentCoupling);
    return data;
}

// How the host reads a supply-state reply back into whole volts and current units.
std::pair<long, long> hostReading(const Words& w, const QByteArray& reply)
{
    const auto word = [&reply](int i) {
        return static_cast<qint16>(static_cast<quint8>(reply.at(i)) | static_cast<quint8>(reply.at(i + 1)) << 8);
    };
    const double v = (word(1) - w.voltageOffset / 10.0) / (w.voltageGain / 1000.0);
    const double i = (word(3) - w.currentOffset / 10.0 - (w.voltageGain / 1000.0) * v * w.currentCoupling / 16384.0)
        / (w.currentGain / 100.0);
    return {static_cast<long>(std::floor(v + 0.5)), static_cast<long>(std::floor(i + 0.5))};
}

// The words the host takes from a 150-byte user-data record.
Words hostCalibration(const QByteArray& record)
{
    const auto word = [&record](int i) {
        return static_cast<int>(static_cast<quint8>(record.at(i)) | static_cast<quint8>(record.at(i + 1)) << 8);
    };
    const auto signedWord = [&word](int i) { return static_cast<int>(static_cast<qint16>(word(i))); };
    Words w{10560, 0, 0, 22400, 0};
    if (record.at(0) == 'O') {
        w.voltageGain = word(65);
        w.voltageOffset = signedWord(67);
    } else if (record.at(0) == 'g') {
        w = Words{word(33), signedWord(35), word(41), word(37), signedWord(39)};
    }
    return w;
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

TEST_P(AlderRoundTrip, WhatTheHostSetsReadsBackThroughItsOwnConversions)
{
    const RoundTrip& c = GetParam();
    auto alder = unit(c.config);
    const Words words = hostCalibration(exchange(*alder, 0x45).data);
    ASSERT_EQ(exchange(*alder, 0x21, QByteArray(1, static_cast<char>(c.polarity))).status, 0);
    ASSERT_EQ(exchange(*alder, 0x20, hostEncoding(words, c.polarity, c.volts, c.current)).status, 0);
    if (c.switchOn) {
        ASSERT_EQ(exchange(*alder, 0x26).status, 0);
    }
    const Reply state = exchange(*alder, 0x46);
    ASSERT_EQ(state.data.size(), 5);
    EXPECT_EQ(static_cast<quint8>(state.data.at(0)), c.flags);
    const auto [volts, current] = hostReading(words, state.data);
    EXPECT_EQ(volts, c.readVolts);
    EXPECT_EQ(current, c.readCurrent);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AlderRoundTrip,
    testing::Values(
        // Default calibration, 1000 V into 10 MΩ: 100 µA.
        RoundTrip{R"({"serial":"QZAH01501","loadOhms":1e7})", 0, 1000, 500, true, 0x01, 1000, 100},
        // Full 'g' record with offsets and coupling.
        RoundTrip{R"({"serial":"QZAH01501","loadOhms":2e7,"calibration":{"form":"g","voltageGain":12000,
                   "voltageOffset":-50,"currentGain":10000,"currentOffset":30,"currentCoupling":1638}})",
                  0, 1500, 100, true, 0x01, 1500, 75},
        // 'O' record: voltage words only; reversed polarity reads negative.
        RoundTrip{R"({"serial":"QZAH01501","loadCurrent":50,"calibration":{"form":"O","voltageGain":9000,
                   "voltageOffset":20,"currentGain":1}})",
                  1, 800, 100, true, 0x01, -800, -50},
        // The limit holds the current; the voltage falls to what it drives through the load.
        RoundTrip{R"({"serial":"QZAH01501","loadOhms":1e7})", 0, 1000, 50, true, 0x03, 500, 50},
        // A shorted output: error 1, no voltage, the current at its limit.
        RoundTrip{R"({"serial":"QZAH01501","shortCircuit":true})", 0, 1000, 80, true, 0x07, 0, 80},
        RoundTrip{R"({"serial":"QZAH01501","loadOhms":1e7})", 0, 1000, 500, false, 0x00, 0, 0}));

struct RecordCase
{
    const char* config;
    const char* head; // the record's first bytes
    int wordsAt;      // where the calibration words start
    const char* words;
};

class AlderUserData : public testing::TestWithParam<RecordCase>
{
};

TEST_P(AlderUserData, RecordCarriesTheConfiguredForm)
{
    auto alder = unit(GetParam().config);
    const QByteArray record = exchange(*alder, 0x45).data;
    ASSERT_EQ(record.size(), 150);
    EXPECT_EQ(text(record.left(QByteArray::fromHex(GetParam().head).size())), text(hex(GetParam().head)));
    const QByteArray words = hex(GetParam().words);
    EXPECT_EQ(text(record.mid(GetParam().wordsAt, words.size())), text(words));
}

INSTANTIATE_TEST_SUITE_P(
    Forms, AlderUserData,
    testing::Values(
        RecordCase{R"({"serial":"QZAH01501"})", "ffff", 140, "ffffffffffffffffffff"},
        RecordCase{R"({"serial":"QZAH01501","calibration":{"form":"none","voltageGain":5}})", "ff", 1, "ffff"},
        RecordCase{R"({"serial":"QZAH01501","calibration":{"form":"g","voltageGain":12000,"voltageOffset":-50,
                   "currentGain":10000,"currentOffset":30,"currentCoupling":1638,"pairs":[[1,2]]}})",
                   "67 0100 0200 0000 3075", 33, "e02e ceff 1027 1e00 6606 0000"},
        RecordCase{R"({"serial":"QZAH01501","calibration":{"form":"O","voltageGain":9000,"voltageOffset":20}})",
                   "4f 0000 3075", 61, "0000 3075 2823 1400 0000"}));

TEST(Alder, PwmSettingsTakeEffectOnlyWithTheFollowUp)
{
    auto alder = unit(R"({"serial":"QZAH01501"})");
    ASSERT_EQ(exchange(*alder, 0x23, hex("400d0300")).status, 0);
    ASSERT_EQ(exchange(*alder, 0x24, hex("0219")).status, 0);
    EXPECT_EQ(text(exchange(*alder, 0x44).data), text(hex("0232")));
    EXPECT_EQ(text(exchange(*alder, 0x43).data), text(hex("10270000")));
    ASSERT_EQ(exchange(*alder, 0x28).status, 0);
    EXPECT_EQ(text(exchange(*alder, 0x44).data), text(hex("0219")));
    EXPECT_EQ(text(exchange(*alder, 0x43).data), text(hex("400d0300")));
    const QJsonObject pwm = alder->state().value("pwm").toObject();
    EXPECT_EQ(pwm.value("duty").toInt(), 25);
    EXPECT_EQ(pwm.value("frequency").toInt(), 200000);
}

TEST(Alder, SettingPolarityAndVoltageReadBackAsSent)
{
    auto alder = unit(R"({"serial":"QZAH01501","polarity":1})");
    EXPECT_EQ(text(exchange(*alder, 0x41).data), "01");
    ASSERT_EQ(exchange(*alder, 0x21, hex("00")).status, 0);
    EXPECT_EQ(text(exchange(*alder, 0x41).data), "00");
    const QByteArray setting = hex("4029 8057 0000 0000 0000");
    ASSERT_EQ(exchange(*alder, 0x20, setting).status, 0);
    EXPECT_EQ(text(exchange(*alder, 0x40).data), text(setting));
    EXPECT_EQ(text(exchange(*alder, 0x42).data), text(setting + hex("10270000")));
    const QJsonObject output = alder->state().value("output").toObject();
    EXPECT_DOUBLE_EQ(output.value("setVoltage").toDouble(), 1000.0);
    EXPECT_DOUBLE_EQ(output.value("currentLimit").toDouble(), 100.0);
    EXPECT_FALSE(output.value("on").toBool());
}

TEST(Alder, SupplyStateBytesAndClearingAShortByOutputOff)
{
    auto alder = unit(R"({"serial":"QZAH01501","shortCircuit":true})");
    exchange(*alder, 0x20, hex("4029 8057 0000 0000 0000"));
    exchange(*alder, 0x26);
    EXPECT_EQ(text(exchange(*alder, 0x46).data), text(hex("07 0000 8057")));
    exchange(*alder, 0x27);
    EXPECT_EQ(text(exchange(*alder, 0x46).data), text(hex("00 0000 0000")));
    EXPECT_EQ(alder->state().value("output").toObject().value("error").toInt(), 0);
}

} // namespace
