// Every family against all 16 unit functions: what a supported operation puts on the wire, that
// an unsupported one answers 10 and sends nothing, and that the family exports say the same
// before and after the unit is opened.

#include "BenchTest.h"

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using Call = std::function<int(int index)>;

struct Function
{
    std::string name;
    unsigned bit;
    Call call;
};

bool g_flag, g_first, g_second;
char g_text[256];
double g_value;

const std::vector<Function>& allFunctions()
{
    static const std::vector<Function> calls = {
        {"setPWMFunction", KAVRA_OPERATION_SET_PWM_FUNCTION,
            [](int i) { return setPWMFunction(i, 1, 1); }},
        {"setPWM", KAVRA_OPERATION_SET_PWM, [](int i) { return setPWM(i, 1, 50); }},
        {"setPWMFrequency", KAVRA_OPERATION_SET_PWM_FREQUENCY,
            [](int i) { return setPWMFrequency(i, 1000); }},
        {"setVoltage", KAVRA_OPERATION_SET_VOLTAGE,
            [](int i) { return setVoltage(i, 1, 50, 100); }},
        {"setAccurateVoltage", KAVRA_OPERATION_SET_ACCURATE_VOLTAGE,
            [](int i) { return setAccurateVoltage(i, 1, 100, 1); }},
        {"setVoltageWaveform", KAVRA_OPERATION_SET_VOLTAGE_WAVEFORM,
            [](int i) { return setVoltageWaveform(i, 3, 1, 10, 20, 1); }},
        {"setPolarity", KAVRA_OPERATION_SET_POLARITY, [](int i) { return setPolarity(i, 1, 0); }},
        {"turnVoltageOn", KAVRA_OPERATION_TURN_VOLTAGE_ON,
            [](int i) { return turnVoltageOn(i, 1); }},
        {"turnVoltageOff", KAVRA_OPERATION_TURN_VOLTAGE_OFF,
            [](int i) { return turnVoltageOff(i, 1); }},
        {"enableInternalVoltageBus", KAVRA_OPERATION_ENABLE_INTERNAL_VOLTAGE_BUS,
            [](int i) { return enableInternalVoltageBus(i, 1); }},
        {"disableInternalVoltageBus", KAVRA_OPERATION_DISABLE_INTERNAL_VOLTAGE_BUS,
            [](int i) { return disableInternalVoltageBus(i); }},
        {"getSupplyStatus", KAVRA_OPERATION_GET_SUPPLY_STATUS,
            [](int i) { return getSupplyStatus(i, &g_flag, g_text); }},
        {"getChannelStatus", KAVRA_OPERATION_GET_CHANNEL_STATUS,
            [](int i) { return getChannelStatus(i, 1, &g_first, &g_second); }},
        {"getChannelCurrent", KAVRA_OPERATION_GET_CHANNEL_CURRENT,
            [](int i) { return getChannelCurrent(i, 1, &g_value); }},
        {"clearError", KAVRA_OPERATION_CLEAR_ERROR, [](int i) { return clearError(i); }},
        {"getADCValue", KAVRA_OPERATION_GET_ADC_VALUE,
            [](int i) { return getADCValue(i, &g_value); }},
    };
    return calls;
}

// What the family exports say of a unit.
struct Description
{
    std::string family;
    int channels;
    int pwmChannels;
    double highestCurrent;
    unsigned operations = 0;
    bool operator==(const Description& other) const
    {
        return family == other.family && channels == other.channels
            && pwmChannels == other.pwmChannels && highestCurrent == other.highestCurrent
            && operations == other.operations;
    }
};

Description describe(int index)
{
    char family[16] = "x";
    Description description{"", -1, -1, -1.0, 0xFFFFFFFFu};
    EXPECT_EQ(getFamilyName(index, family, sizeof family), 0);
    EXPECT_EQ(getChannelCount(index, &description.channels), 0);
    EXPECT_EQ(getPwmChannelCount(index, &description.pwmChannels), 0);
    EXPECT_EQ(getHighestCurrent(index, &description.highestCurrent), 0);
    EXPECT_EQ(getSupportedOperations(index, &description.operations), 0);
    description.family = family;
    return description;
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
                {"setVoltage", {{0x20, nullptr}}}, {"setPolarity", {{0x21, "00"}}},
                {"turnVoltageOn", {{0x26, ""}}}, {"turnVoltageOff", {{0x27, ""}}},
                {"getSupplyStatus", {{0x46, ""}}}, {"getChannelStatus", {{0x46, ""}}},
                {"getChannelCurrent", {{0x46, ""}}}, {"clearError", {{0x27, ""}}}}},
        {DefaultBench::Birch,
            {{"setAccurateVoltage", {{0x20, "6400e8030000"}}},
                {"turnVoltageOff", {{0x20, "000000000000"}}}, {"clearError", {}}}},
        {DefaultBench::Cedar,
            {{"setPWMFunction", {{0x26, "1632"}, {0x30, ""}}},
                {"setPWM", {{0x26, "0232"}, {0x30, ""}}},
                {"setPWMFrequency", {{0x25, "e8030000"}, {0x30, ""}}},
                {"setVoltage", {{0x21, nullptr}}}, {"setVoltageWaveform", {{0x23, nullptr}}},
                {"turnVoltageOn", {{0x49, ""}, {0x2A, ""}}}, {"turnVoltageOff", {{0x2D, ""}}},
                {"enableInternalVoltageBus", {{0x20, "01"}}},
                {"disableInternalVoltageBus", {{0x32, ""}}}, {"getSupplyStatus", {{0x49, ""}}},
                {"getChannelStatus", {{0x49, ""}}}, {"clearError", {{0x31, ""}}}}},
        {DefaultBench::Generic19,
            {{"setVoltage", {{0x20, nullptr}}}, {"turnVoltageOn", {{0x22, ""}}},
                {"turnVoltageOff", {{0x23, ""}}}, {"getSupplyStatus", {{0x42, ""}}},
                {"getChannelStatus", {{0x42, ""}}}, {"getChannelCurrent", {{0x42, ""}}},
                {"clearError", {{0x23, ""}}}}},
        {DefaultBench::Generic25,
            {{"setVoltage", {{0x20, nullptr}}}, {"setPolarity", {{0x21, "00"}}},
                {"turnVoltageOn", {{0x24, ""}}}, {"turnVoltageOff", {{0x25, ""}}},
                {"getSupplyStatus", {{0x44, ""}}}, {"getChannelStatus", {{0x44, ""}}},
                {"getChannelCurrent", {{0x44, ""}}}, {"clearError", {{0x25, ""}}}}},
        {DefaultBench::Rowan, {{"getADCValue", {{0x40, ""}}}, {"clearError", {}}}},
    };
    return table;
}

// Family, outputs, PWM outputs and largest current limit; the operations follow from the map above.
const std::map<int, Description>& descriptions()
{
    static const std::map<int, Description> table = {
        {DefaultBench::Alder, {"Alder", 1, 1, 1000.0}},
        {DefaultBench::Cedar, {"Cedar", 3, 2, 0.0}},
        {DefaultBench::Generic19, {"Generic", 1, 0, 200.0}},
        {DefaultBench::Generic25, {"Generic", 1, 0, 500.0}},
        {DefaultBench::Birch, {"Birch", 1, 0, 0.0}},
        {DefaultBench::Rowan, {"Rowan", 0, 0, 0.0}},
    };
    return table;
}

} // namespace

class UnitOperations : public BenchTest
{ };

TEST_F(UnitOperations, EveryFamilyAgainstEveryFunction)
{
    for (const auto& family : expectations()) {
        const int index = family.first;
        const char* serial = DefaultBench::serial(index);
        SCOPED_TRACE(serial);
        unsigned supported = 0;
        for (const Function& function : allFunctions())
            supported |= family.second.count(function.name) ? function.bit : 0u;
        const int openBefore = bench().openHandleCount();
        Description expected = descriptions().at(index);
        expected.operations = supported;
        const Description listed = describe(index);
        EXPECT_TRUE(listed == expected) << listed.family << " " << listed.channels << " "
                                        << listed.pwmChannels << " " << listed.highestCurrent;
        EXPECT_EQ(bench().openHandleCount(), openBefore); // described without opening

        ASSERT_EQ(clearError(index), 0); // opens the unit
        EXPECT_TRUE(describe(index) == listed);
        // The range checks accept exactly what the exports say.
        if (supported & KAVRA_OPERATION_SET_PWM) {
            EXPECT_EQ(setPWM(index, listed.pwmChannels, 50), 0);
            EXPECT_EQ(setPWM(index, listed.pwmChannels + 1, 50), 13);
        }
        if (listed.highestCurrent > 0) {
            EXPECT_EQ(setVoltage(index, 1, 0, listed.highestCurrent), 0);
            EXPECT_EQ(setVoltage(index, 1, 0, listed.highestCurrent * 1.0001), 20);
        }
        bench().takeHostPackets(serial);
        for (const Function& function : allFunctions()) {
            SCOPED_TRACE(function.name);
            const auto expected = family.second.find(function.name);
            const int status = function.call(index);
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

TEST_F(UnitOperations, FamilyExportsRefuseWhatTheyCannotAnswer)
{
    char family[16];
    int channels = -1;
    double current = -1;
    unsigned operations = 1;
    for (int index : {0, 100, DefaultBench::Count + 1}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(getFamilyName(index, family, sizeof family), 1);
        EXPECT_EQ(getChannelCount(index, &channels), 1);
        EXPECT_EQ(getPwmChannelCount(index, &channels), 1);
        EXPECT_EQ(getHighestCurrent(index, &current), 1);
        EXPECT_EQ(getSupportedOperations(index, &operations), 1);
    }
    EXPECT_EQ(channels, -1);
    EXPECT_EQ(current, -1);
    EXPECT_EQ(operations, 1u);
    std::memset(family, 'x', sizeof family);
    EXPECT_EQ(getFamilyName(DefaultBench::Cedar, family, 5), 38); // "Cedar" needs 6 bytes
    EXPECT_EQ(family[0], 'x');
    EXPECT_EQ(getFamilyName(DefaultBench::Cedar, nullptr, 16), 38);
    EXPECT_EQ(getFamilyName(DefaultBench::Cedar, family, 6), 0);
    EXPECT_EQ(getChannelCount(DefaultBench::Cedar, nullptr), 0);
    EXPECT_EQ(getPwmChannelCount(DefaultBench::Cedar, nullptr), 0);
    EXPECT_EQ(getHighestCurrent(DefaultBench::Cedar, nullptr), 0);
    EXPECT_EQ(getSupportedOperations(DefaultBench::Cedar, nullptr), 0);
}
