#include "UnitHarness.h"

#include <QJsonArray>

using namespace UnitHarness;

namespace {

const char* kVersion1 = R"({"serial":"QZBH01701","versionWords":[1,1,0,0,0]})";

// The host's voltage code, low byte first.
QByteArray code(double volts)
{
    QByteArray bytes;
    appendWord(bytes, static_cast<long>(std::trunc(qMin(volts / 40 * 65535 / 4.096, 65535.0))));
    return bytes;
}

TEST(Cedar, VoltagesReadBackPerOutputInTenthsOfAVolt)
{
    auto cedar = unit(kVersion1);
    ASSERT_EQ(exchange(*cedar, 0x20, hex("01")).status, 0);
    ASSERT_EQ(exchange(*cedar, 0x21, code(12.5)).status, 0);
    ASSERT_EQ(exchange(*cedar, 0x22, code(100)).status, 0);
    ASSERT_EQ(exchange(*cedar, 0x23, code(75)).status, 0);
    EXPECT_EQ(text(exchange(*cedar, 0x42).data), "3f 9c");
    exchange(*cedar, 0x2A);
    exchange(*cedar, 0x2B);
    // Ready bits, outputs 1 and 2 on; 12.5 V, 100 V, output 3 off; output bits 1 and 2.
    EXPECT_EQ(text(exchange(*cedar, 0x49).data), text(hex("0f 0000 7d00 e803 0000 03")));
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
    EXPECT_EQ(text(exchange(*cedar, 0x49).data), text(hex("07 0000 0000 0000 0000 00")));
    EXPECT_EQ(text(exchange(*cedar, 0x40).data), "00"); // bus off keeps the level
}

TEST(Cedar, WaveformSettingIsKeptPerOutput)
{
    auto cedar = unit(R"({"serial":"QZBH01701"})");
    ASSERT_EQ(exchange(*cedar, 0x23, code(50) + hex("03 e803") + code(20)).status, 0);
    const QJsonObject output = cedar->state().value("outputs").toArray().at(2).toObject();
    EXPECT_EQ(output.value("waveform").toInt(), 3);
    EXPECT_EQ(output.value("periodMs").toInt(), 1000);
    EXPECT_NEAR(output.value("setVoltage").toDouble(), 50, 0.01);
    EXPECT_NEAR(output.value("secondVoltage").toDouble(), 20, 0.01);
}

struct StatusCase
{
    const char* config;
    std::vector<int> instructions;
    int lastStatus;
    const char* state; // supply state after the instructions
};

class CedarStatus : public testing::TestWithParam<StatusCase>
{
};

TEST_P(CedarStatus, ReadyBitsErrorWordAndOverloads)
{
    auto cedar = unit(GetParam().config);
    int status = -1;
    for (int instruction : GetParam().instructions)
        status = exchange(*cedar, instruction).status;
    EXPECT_EQ(status, GetParam().lastStatus);
    EXPECT_EQ(text(exchange(*cedar, 0x49).data), text(hex(GetParam().state)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CedarStatus,
    testing::Values(StatusCase{R"({"serial":"QZBH01701"})", {0x2C}, 0, "13 0000 0000 0000 0000 04"},
                    StatusCase{R"({"serial":"QZBH01701","outputs23Ready":false})", {0x2B}, 2, "01 0000 0000 0000 0000 00"},
                    StatusCase{R"({"serial":"QZBH01701","outputs23Ready":false})", {0x2A}, 0, "05 0000 0000 0000 0000 01"},
                    StatusCase{R"({"serial":"QZBH01701","ready":false})", {0x2A}, 2, "02 0000 0000 0000 0000 00"},
                    StatusCase{R"({"serial":"QZBH01701","errorWord":257})", {0x2D}, 0, "23 0101 0000 0000 0000 00"},
                    StatusCase{R"({"serial":"QZBH01701","errorWord":257})", {0x31}, 0, "03 0000 0000 0000 0000 00"},
                    // A shorted output latches its over-load bit and stays down after clearing.
                    StatusCase{R"({"serial":"QZBH01701","shortCircuit":true})", {0x2B}, 0, "2b 1000 0000 0000 0000 00"},
                    StatusCase{R"({"serial":"QZBH01701","shortCircuit":true})", {0x2B, 0x31}, 0, "0b 0000 0000 0000 0000 00"}));

TEST(Cedar, PwmFunctionDutyAndFrequencyApplyWithTheFollowUp)
{
    auto cedar = unit(R"({"serial":"QZBH01701"})");
    exchange(*cedar, 0x26, hex("1632")); // function 1
    exchange(*cedar, 0x27, hex("0219"));
    exchange(*cedar, 0x25, hex("400d0300"));
    EXPECT_EQ(text(exchange(*cedar, 0x46).data), "02 32");
    ASSERT_EQ(exchange(*cedar, 0x30).status, 0);
    EXPECT_EQ(text(exchange(*cedar, 0x46).data + exchange(*cedar, 0x47).data + exchange(*cedar, 0x45).data),
              text(hex("1632 0219 400d0300")));
    EXPECT_EQ(cedar->state().value("pwm").toArray().at(0).toObject().value("function").toInt(), 1);
}

} // namespace
