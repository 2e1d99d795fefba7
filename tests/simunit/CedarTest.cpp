#include "UnitHarness.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cmath>

using namespace UnitHarness;

namespace {

// The host's voltage code, low byte first.
QByteArray code(double volts)
{
    const long value = static_cast<long>(std::trunc(qMin(volts / 40 * 65535 / 4.096, 65535.0)));
    QByteArray bytes;
    bytes.append(static_cast<char>(value & 0xFF));
    bytes.append(static_cast<char>((value >> 8) & 0xFF));
    return bytes;
}

int wordAt(const QByteArray& data, int i)
{
    return static_cast<quint8>(data.at(i)) | static_cast<quint8>(data.at(i + 1)) << 8;
}

TEST(Cedar, VoltagesReadBackPerOutputInTenthsOfAVolt)
{
    auto cedar = unit(R"({"serial":"QZBH01701","versionWords":[1,1,0,0,0]})");
    ASSERT_EQ(exchange(*cedar, 0x20, hex("01")).status, 0);
    ASSERT_EQ(exchange(*cedar, 0x21, code(12.5)).status, 0);
    ASSERT_EQ(exchange(*cedar, 0x22, code(100)).status, 0);
    ASSERT_EQ(exchange(*cedar, 0x23, code(75)).status, 0);
    EXPECT_EQ(text(exchange(*cedar, 0x42).data), "3f 9c");
    exchange(*cedar, 0x2A);
    exchange(*cedar, 0x2B);
    const QByteArray state = exchange(*cedar, 0x49).data;
    ASSERT_EQ(state.size(), 10);
    EXPECT_EQ(static_cast<quint8>(state.at(0)), 0x0F); // ready, outputs 2/3 ready, outputs 1 and 2 on
    EXPECT_EQ(wordAt(state, 1), 0);
    EXPECT_EQ(wordAt(state, 3), 125);
    EXPECT_EQ(wordAt(state, 5), 1000);
    EXPECT_EQ(wordAt(state, 7), 0); // output 3 is off
    EXPECT_EQ(state.at(9), 0x03);
}

TEST(Cedar, BusLevelLimitsAndBusOffDropsTheOutputs)
{
    auto cedar = unit(R"({"serial":"QZBH01701","versionWords":[1,1,0,0,0],"busLevel":1})");
    EXPECT_EQ(text(exchange(*cedar, 0x40).data), "01");
    exchange(*cedar, 0x21, code(100));
    exchange(*cedar, 0x2A);
    EXPECT_EQ(wordAt(exchange(*cedar, 0x49).data, 3), 1000);
    exchange(*cedar, 0x20, hex("00")); // level 0 holds at most 75 V
    EXPECT_EQ(wordAt(exchange(*cedar, 0x49).data, 3), 750);
    ASSERT_EQ(exchange(*cedar, 0x32).status, 0);
    const QByteArray state = exchange(*cedar, 0x49).data;
    EXPECT_EQ(wordAt(state, 3), 0);
    EXPECT_EQ(state.at(0) & 0x04, 0x04); // still switched on
    EXPECT_EQ(state.at(9), 0);           // but delivering nothing
    EXPECT_EQ(text(exchange(*cedar, 0x40).data), "00"); // bus off keeps the level
    EXPECT_FALSE(cedar->state().value("bus").toObject().value("on").toBool());
}

TEST(Cedar, WaveformSettingIsKeptPerOutput)
{
    auto cedar = unit(R"({"serial":"QZBH01701"})");
    EXPECT_EQ(cedar->state().value("settingSize").toInt(), 7);
    ASSERT_EQ(exchange(*cedar, 0x23, code(50) + hex("03") + hex("e803") + code(20)).status, 0);
    const QJsonObject output = cedar->state().value("outputs").toArray().at(2).toObject();
    EXPECT_EQ(output.value("waveform").toInt(), 3);
    EXPECT_EQ(output.value("periodMs").toInt(), 1000);
    EXPECT_NEAR(output.value("setVoltage").toDouble(), 50, 0.01);
    EXPECT_NEAR(output.value("secondVoltage").toDouble(), 20, 0.01);
}

struct ReadyCase
{
    const char* config;
    int instruction;
    int status;
    int statusBits;
};

class CedarReady : public testing::TestWithParam<ReadyCase>
{
};

TEST_P(CedarReady, SwitchOnFollowsTheReadyBits)
{
    auto cedar = unit(GetParam().config);
    EXPECT_EQ(exchange(*cedar, GetParam().instruction).status, GetParam().status);
    EXPECT_EQ(static_cast<quint8>(exchange(*cedar, 0x49).data.at(0)), GetParam().statusBits);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CedarReady,
    testing::Values(ReadyCase{R"({"serial":"QZBH01701"})", 0x2C, 0, 0x13},
                    ReadyCase{R"({"serial":"QZBH01701","outputs23Ready":false})", 0x2B, 2, 0x01},
                    ReadyCase{R"({"serial":"QZBH01701","outputs23Ready":false})", 0x2A, 0, 0x05},
                    ReadyCase{R"({"serial":"QZBH01701","ready":false})", 0x2A, 2, 0x02},
                    ReadyCase{R"({"serial":"QZBH01701","errorWord":257})", 0x2D, 0, 0x23}));

TEST(Cedar, ErrorWordAndClearError)
{
    auto cedar = unit(R"({"serial":"QZBH01701","errorWord":257})");
    QByteArray state = exchange(*cedar, 0x49).data;
    EXPECT_EQ(text(state), text(hex("23 0101 0000 0000 0000 00")));
    ASSERT_EQ(exchange(*cedar, 0x31).status, 0);
    state = exchange(*cedar, 0x49).data;
    EXPECT_EQ(text(state), text(hex("03 0000 0000 0000 0000 00")));
}

TEST(Cedar, ShortedOutputLatchesItsOverloadBit)
{
    auto cedar = unit(R"({"serial":"QZBH01701","versionWords":[1,1,0,0,0],"shortCircuit":true})");
    exchange(*cedar, 0x22, code(50));
    exchange(*cedar, 0x2B);
    const QByteArray state = exchange(*cedar, 0x49).data;
    EXPECT_EQ(text(state), text(hex("2b 1000 0000 0000 0000 00")));
    exchange(*cedar, 0x31);
    EXPECT_EQ(text(exchange(*cedar, 0x49).data), text(hex("0b 0000 0000 0000 0000 00")));
}

TEST(Cedar, PwmFunctionDutyAndFrequencyApplyWithTheFollowUp)
{
    auto cedar = unit(R"({"serial":"QZBH01701"})");
    exchange(*cedar, 0x26, hex("1632")); // function 1
    exchange(*cedar, 0x27, hex("0219"));
    exchange(*cedar, 0x25, hex("400d0300"));
    EXPECT_EQ(text(exchange(*cedar, 0x46).data), "02 32");
    ASSERT_EQ(exchange(*cedar, 0x30).status, 0);
    EXPECT_EQ(text(exchange(*cedar, 0x46).data), "16 32");
    EXPECT_EQ(text(exchange(*cedar, 0x47).data), "02 19");
    EXPECT_EQ(text(exchange(*cedar, 0x45).data), "40 0d 03 00");
    const QJsonArray pwm = cedar->state().value("pwm").toArray();
    EXPECT_EQ(pwm.at(0).toObject().value("function").toInt(), 1);
    EXPECT_EQ(pwm.at(1).toObject().value("function").toInt(), -1);
    EXPECT_EQ(pwm.at(1).toObject().value("duty").toInt(), 25);
}

} // namespace
