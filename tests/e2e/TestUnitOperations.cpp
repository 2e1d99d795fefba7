// Every family against all 16 unit functions: what a supported operation puts on the wire, and
// that an unsupported one answers 10 and sends nothing.

#include "BenchTest.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using Call = std::function<int(int index)>;

bool g_flag, g_first, g_second;
char g_text[256];
double g_value;

const std::vector<std::pair<std::string, Call>>& allFunctions()
{
    static const std::vector<std::pair<std::string, Call>> calls = {
        {"setPWMFunction", [](int i) { return setPWMFunction(i, 1, 1); }},
        {"setPWM", [](int i) { return setPWM(i, 1, 50); }},
        {"setPWMFrequency", [](int i) { return setPWMFrequency(i, 1000); }},
        {"setVoltage", [](int i) { return setVoltage(i, 1, 50, 100); }},
        {"setAccurateVoltage", [](int i) { return setAccurateVoltage(i, 1, 100, 1); }},
        {"setVoltageWaveform", [](int i) { return setVoltageWaveform(i, 3, 1, 10, 20, 1); }},
        {"setPolarity", [](int i) { return setPolarity(i, 1, 0); }},
        {"turnVoltageOn", [](int i) { return turnVoltageOn(i, 1); }},
        {"turnVoltageOff", [](int i) { return turnVoltageOff(i, 1); }},
        {"enableInternalVoltageBus", [](int i) { return enableInternalVoltageBus(i, 1); }},
        {"disableInternalVoltageBus", [](int i) { return disableInternalVoltageBus(i); }},
        {"getSupplyStatus", [](int i) { return getSupplyStatus(i, &g_flag, g_text); }},
        {"getChannelStatus", [](int i) { return getChannelStatus(i, 1, &g_first, &g_second); }},
        {"getChannelCurrent", [](int i) { return getChannelCurrent(i, 1, &g_value); }},
        {"clearError", [](int i) { return clearError(i); }},
        {"getADCValue", [](int i) { return getADCValue(i, &g_value); }},
    };
    return calls;
}

// Instruction bytes (with the payload in hex where it is fixed) that a supported call sends;
// a function missing from a family's map is unsupported there.
using Expected = std::map<std::string, std::vector<std::pair<int, const char*>>>;

const std::map<int, Expected>& expectations()
{
    static const std::map<int, Expected> table = {
        {DefaultBench::Alder,
         {{"setPWM", {{0x24, "0232"}, {0x28, ""}}},
          {"setPWMFrequency", {{0x23, "e8030000"}, {0x28, ""}}},
          {"setVoltage", {{0x20, nullptr}}},
          {"setPolarity", {{0x21, "00"}}},
          {"turnVoltageOn", {{0x26, ""}}},
          {"turnVoltageOff", {{0x27, ""}}},
          {"getSupplyStatus", {{0x46, ""}}},
          {"getChannelStatus", {{0x46, ""}}},
          {"getChannelCurrent", {{0x46, ""}}},
          {"clearError", {{0x27, ""}}}}},
        {DefaultBench::Birch,
         {{"setAccurateVoltage", {{0x20, "6400e8030000"}}},
          {"turnVoltageOff", {{0x20, "000000000000"}}},
          {"clearError", {}}}},
        {DefaultBench::Cedar,
         {{"setPWMFunction", {{0x26, "1632"}, {0x30, ""}}},
          {"setPWM", {{0x26, "0232"}, {0x30, ""}}},
          {"setPWMFrequency", {{0x25, "e8030000"}, {0x30, ""}}},
          {"setVoltage", {{0x21, nullptr}}},
          {"setVoltageWaveform", {{0x23, nullptr}}},
          {"turnVoltageOn", {{0x49, ""}, {0x2A, ""}}},
          {"turnVoltageOff", {{0x2D, ""}}},
          {"enableInternalVoltageBus", {{0x20, "01"}}},
          {"disableInternalVoltageBus", {{0x32, ""}}},
          {"getSupplyStatus", {{0x49, ""}}},
          {"getChannelStatus", {{0x49, ""}}},
          {"clearError", {{0x31, ""}}}}},
        {DefaultBench::Generic19,
         {{"setVoltage", {{0x20, nullptr}}},
          {"turnVoltageOn", {{0x22, ""}}},
          {"turnVoltageOff", {{0x23, ""}}},
          {"getSupplyStatus", {{0x42, ""}}},
          {"getChannelStatus", {{0x42, ""}}},
          {"getChannelCurrent", {{0x42, ""}}},
          {"clearError", {{0x23, ""}}}}},
        {DefaultBench::Generic25,
         {{"setVoltage", {{0x20, nullptr}}},
          {"setPolarity", {{0x21, "00"}}},
          {"turnVoltageOn", {{0x24, ""}}},
          {"turnVoltageOff", {{0x25, ""}}},
          {"getSupplyStatus", {{0x44, ""}}},
          {"getChannelStatus", {{0x44, ""}}},
          {"getChannelCurrent", {{0x44, ""}}},
          {"clearError", {{0x25, ""}}}}},
        {DefaultBench::Rowan, {{"getADCValue", {{0x40, ""}}}, {"clearError", {}}}},
    };
    return table;
}

} // namespace

class UnitOperations : public BenchTest {};

TEST_F(UnitOperations, EveryFamilyAgainstEveryFunction)
{
    for (const auto& family : expectations()) {
        const int index = family.first;
        const char* serial = DefaultBench::serial(index);
        SCOPED_TRACE(serial);
        ASSERT_EQ(clearError(index), 0); // opens the unit
        bench().takeHostPackets(serial);
        for (const auto& function : allFunctions()) {
            SCOPED_TRACE(function.first);
            const auto expected = family.second.find(function.first);
            const int status = function.second(index);
            const auto sent = bench().takeHostPackets(serial);
            if (expected == family.second.end()) {
                EXPECT_EQ(status, 10);
                EXPECT_TRUE(sent.isEmpty());
                continue;
            }
            EXPECT_EQ(status, 0);
            ASSERT_EQ(sent.size(), static_cast<int>(expected->second.size()));
            for (int k = 0; k < sent.size(); ++k) {
                EXPECT_EQ(sent[k].first, expected->second[k].first);
                if (expected->second[k].second) {
                    EXPECT_EQ(sent[k].second.toHex(), QByteArray(expected->second[k].second));
                }
            }
        }
    }
}
