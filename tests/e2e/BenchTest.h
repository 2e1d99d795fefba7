#pragma once

#include "BenchControl.h"
#include "DefaultBench.h"
#include "KavraLib.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// Every end-to-end test starts from a fresh session on a freshly loaded bench.
class BenchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bench().isLoaded());
        initialiseSession();
        ASSERT_EQ(bench().reset(), 0);
    }

    void TearDown() override
    {
        closeSession();
        EXPECT_EQ(bench().openHandleCount(), 0);
    }

    // Replaces the bench; the session is emptied first so that no unit of the old bench stays open.
    void loadBench(const char* json)
    {
        initialiseSession();
        ASSERT_EQ(bench().loadBench(QByteArray(json)), 0) << json;
    }

    static BenchControl& bench() { return BenchControl::instance(); }
};

// The 16 unit functions with arguments every family that has them accepts, each with the bit
// getSupportedOperations gives it.
struct UnitFunction
{
    std::string name;
    unsigned bit;
    std::function<int(int index)> call;
};

inline const std::vector<UnitFunction>& unitFunctions()
{
    static bool flag, first, second;
    static char text[256];
    static double value;
    static const std::vector<UnitFunction> calls = {
        {"setPWMFunction", KAVRA_OPERATION_SET_PWM_FUNCTION,
            [](int i) { return setPWMFunction(i, 1, 1); }},
        {"setPWM", KAVRA_OPERATION_SET_PWM, [](int i) { return setPWM(i, 1, 50); }},
        {"setPWMFrequency", KAVRA_OPERATION_SET_PWM_FREQUENCY,
            [](int i) { return setPWMFrequency(i, 1000); }},
        {"setVoltage", KAVRA_OPERATION_SET_VOLTAGE, [](int i) { return setVoltage(i, 1, 50, 0); }},
        {"setAccurateVoltage", KAVRA_OPERATION_SET_ACCURATE_VOLTAGE,
            [](int i) { return setAccurateVoltage(i, 1, 100.9, 0.0015); }},
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
            [](int i) { return getSupplyStatus(i, &flag, text); }},
        {"getChannelStatus", KAVRA_OPERATION_GET_CHANNEL_STATUS,
            [](int i) { return getChannelStatus(i, 1, &first, &second); }},
        {"getChannelCurrent", KAVRA_OPERATION_GET_CHANNEL_CURRENT,
            [](int i) { return getChannelCurrent(i, 1, &value); }},
        {"clearError", KAVRA_OPERATION_CLEAR_ERROR, [](int i) { return clearError(i); }},
        {"getADCValue", KAVRA_OPERATION_GET_ADC_VALUE,
            [](int i) { return getADCValue(i, &value); }},
    };
    return calls;
}

// One call per unit of the default bench, in its order, that reaches the wire, with the code its
// family gives when the exchange fails (the unit away included).
struct Probe
{
    int index;
    std::function<int(int)> call;
    int failureCode;
};

inline const std::vector<Probe>& probes()
{
    static bool flag;
    static char text[256];
    static double value;
    static const auto supplyStatus = [](int i) { return getSupplyStatus(i, &flag, text); };
    static const std::vector<Probe> all = {
        {DefaultBench::Alder, supplyStatus, 31},
        {DefaultBench::Cedar, supplyStatus, 31},
        {DefaultBench::Generic19, supplyStatus, 31},
        {DefaultBench::Generic25, supplyStatus, 31},
        {DefaultBench::Birch, [](int i) { return setAccurateVoltage(i, 1, 100, 1); }, 21},
        {DefaultBench::Rowan, [](int i) { return getADCValue(i, &value); }, 31},
    };
    return all;
}
