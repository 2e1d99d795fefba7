#include "UnitHarness.h"

#include <QJsonObject>

using namespace UnitHarness;

namespace {

TEST(BirchRowan, BirchSettingReadsBackAndSwitchesByValue)
{
    auto birch = unit(R"({"serial":"QZAH04001"})");
    ASSERT_EQ(exchange(*birch, 0x20, hex("20cb 60dad9ff")).status, 0);
    EXPECT_EQ(text(exchange(*birch, 0x40).data), text(hex("20cb 60dad9ff")));
    EXPECT_EQ(text(exchange(*birch, 0x41).data), text(hex("60dad9ff")));
    QJsonObject state = birch->state();
    EXPECT_EQ(state.value("voltage").toInt(), 52000);
    EXPECT_DOUBLE_EQ(state.value("second").toDouble(), -2500.0);
    EXPECT_TRUE(state.value("outputOn").toBool());
    exchange(*birch, 0x20, QByteArray(6, '\0'));
    EXPECT_FALSE(birch->state().value("outputOn").toBool());
}

struct RowanCase
{
    double input;
    const char* reply;
};

class RowanValue : public testing::TestWithParam<RowanCase>
{
};

TEST_P(RowanValue, ConverterValueIsTheInputTimes200)
{
    auto rowan = SimUnit::create(QJsonObject{{"serial", "QZAH04101"}, {"adcInput", GetParam().input}});
    EXPECT_EQ(text(exchange(*rowan, 0x40).data), text(hex(GetParam().reply)));
}

INSTANTIATE_TEST_SUITE_P(Inputs, RowanValue,
                         testing::Values(RowanCase{1.0, "c8000000"}, RowanCase{-1.0, "38ffffff"},
                                         RowanCase{0.005, "01000000"}, RowanCase{12.5, "c4090000"},
                                         RowanCase{1e12, "ffffff7f"}));

TEST(BirchRowan, RowanDefaultInput)
{
    auto rowan = unit(R"({"serial":"QZAH04101"})");
    EXPECT_EQ(text(exchange(*rowan, 0x40).data), text(hex("c4090000")));
}

} // namespace
