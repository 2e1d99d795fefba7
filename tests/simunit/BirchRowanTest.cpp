#include "UnitHarness.h"

using namespace UnitHarness;

namespace {

TEST(Birch, SettingReadsBackAndSwitchesByValue)
{
    auto birch = unit(R"({"serial":"QZAH04001"})");
    ASSERT_EQ(exchange(*birch, 0x20, hex("20cb 60dad9ff")).status, 0);
    EXPECT_EQ(text(exchange(*birch, 0x40).data + exchange(*birch, 0x41).data), text(hex("20cb60dad9ff 60dad9ff")));
    EXPECT_EQ(birch->state().value("voltage").toInt(), 52000);
    EXPECT_DOUBLE_EQ(birch->state().value("second").toDouble(), -2500.0);
    EXPECT_TRUE(birch->state().value("outputOn").toBool());
    exchange(*birch, 0x20, QByteArray(6, '\0'));
    EXPECT_FALSE(birch->state().value("outputOn").toBool());
}

class RowanValue : public testing::TestWithParam<std::pair<const char*, const char*>>
{
};

TEST_P(RowanValue, ConverterValueIsTheInputTimes200)
{
    EXPECT_EQ(text(exchange(*unit(GetParam().first), 0x40).data), text(hex(GetParam().second)));
}

INSTANTIATE_TEST_SUITE_P(Inputs, RowanValue,
                         testing::Values(std::make_pair(R"({"serial":"QZAH04101","adcInput":1})", "c8000000"),
                                         std::make_pair(R"({"serial":"QZAH04101","adcInput":-1})", "38ffffff"),
                                         std::make_pair(R"({"serial":"QZAH04101","adcInput":0.005})", "01000000"),
                                         std::make_pair(R"({"serial":"QZAH04101","adcInput":1e12})", "ffffff7f"),
                                         std::make_pair(R"({"serial":"QZAH04101"})", "c4090000")));

} // namespace
