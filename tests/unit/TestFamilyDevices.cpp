// Family devices without an open unit: every argument code comes before any exchange, and an
// exchange that cannot happen gives the operation's own failure code with out-parameters untouched.

#include "KavraDriver_Alder_Device.h"
#include "KavraDriver_Birch_Device.h"
#include "KavraDriver_Cedar_Device.h"
#include "KavraDriver_Generic_Device.h"
#include "KavraDriver_Rowan_Device.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();
const double Inf = std::numeric_limits<double>::infinity();

struct Call
{
    const char* what;
    std::function<int(KavraDriver_AbstractDevice&)> run;
    int expected;
};

void expectCalls(KavraDriver_AbstractDevice& device, const std::vector<Call>& calls)
{
    for (const Call& call : calls)
        EXPECT_EQ(call.run(device), call.expected) << call.what;
}

// Every out-parameter operation on a failed exchange: the caller's values stay as they were.
void expectOutputsUntouched(KavraDriver_AbstractDevice& device)
{
    bool flag = true;
    char text[32];
    std::memset(text, 'x', sizeof(text));
    device.getSupplyStatus(&flag, text);
    EXPECT_TRUE(flag);
    EXPECT_EQ(text[0], 'x');
    bool first = true;
    bool second = false;
    device.getChannelStatus(1, &first, &second);
    EXPECT_TRUE(first);
    EXPECT_FALSE(second);
    double value = 12.5;
    device.getChannelCurrent(1, &value);
    device.getADCValue(&value);
    EXPECT_EQ(value, 12.5);
}

// The operations that a family leaves to the default body.
std::vector<Call> unsupported(std::initializer_list<const char*> names)
{
    static const std::vector<Call> all = {
        {"setPWMFunction", [](KavraDriver_AbstractDevice& d) { return d.setPWMFunction(1, 0); }, 10},
        {"setPWM", [](KavraDriver_AbstractDevice& d) { return d.setPWM(1, 50); }, 10},
        {"setPWMFrequency", [](KavraDriver_AbstractDevice& d) { return d.setPWMFrequency(1000); }, 10},
        {"setVoltage", [](KavraDriver_AbstractDevice& d) { return d.setVoltage(1, 0, 0); }, 10},
        {"setAccurateVoltage",
         [](KavraDriver_AbstractDevice& d) { return d.setAccurateVoltage(1, 0, 0); }, 10},
        {"setVoltageWaveform",
         [](KavraDriver_AbstractDevice& d) { return d.setVoltageWaveform(1, 0, 1, 1, 1); }, 10},
        {"setPolarity", [](KavraDriver_AbstractDevice& d) { return d.setPolarity(1, 0); }, 10},
        {"turnVoltageOn", [](KavraDriver_AbstractDevice& d) { return d.turnVoltageOn(1); }, 10},
        {"turnVoltageOff", [](KavraDriver_AbstractDevice& d) { return d.turnVoltageOff(1); }, 10},
        {"enableInternalVoltageBus",
         [](KavraDriver_AbstractDevice& d) { return d.enableInternalVoltageBus(0); }, 10},
        {"disableInternalVoltageBus",
         [](KavraDriver_AbstractDevice& d) { return d.disableInternalVoltageBus(); }, 10},
        {"getSupplyStatus",
         [](KavraDriver_AbstractDevice& d) { return d.getSupplyStatus(nullptr, nullptr); }, 10},
        {"getChannelStatus",
         [](KavraDriver_AbstractDevice& d) { return d.getChannelStatus(1, nullptr, nullptr); }, 10},
        {"getChannelCurrent",
         [](KavraDriver_AbstractDevice& d) { return d.getChannelCurrent(1, nullptr); }, 10},
        {"getADCValue", [](KavraDriver_AbstractDevice& d) { return d.getADCValue(nullptr); }, 10},
    };
    std::vector<Call> chosen;
    for (const char* name : names) {
        for (const Call& call : all) {
            if (std::strcmp(call.what, name) == 0)
                chosen.push_back(call);
        }
    }
    EXPECT_EQ(chosen.size(), names.size());
    return chosen;
}

using D = KavraDriver_AbstractDevice;

} // namespace

TEST(AlderDevice, ChecksInOrderThenFailsTheExchange)
{
    KavraDriver_Alder_Device device;
    expectCalls(device, {
        {"duty before channel", [](D& d) { return d.setPWM(2, 101); }, 14},
        {"negative duty", [](D& d) { return d.setPWM(1, -1); }, 14},
        {"channel 2", [](D& d) { return d.setPWM(2, 50); }, 13},
        {"pwm limits inclusive", [](D& d) { return d.setPWM(1, 100); }, 15},
        {"pwm zero", [](D& d) { return d.setPWM(1, 0); }, 15},
        {"frequency 0", [](D& d) { return d.setPWMFrequency(0); }, 16},
        {"frequency 200001", [](D& d) { return d.setPWMFrequency(200001); }, 16},
        {"frequency 200000", [](D& d) { return d.setPWMFrequency(200000); }, 17},
        {"frequency 1", [](D& d) { return d.setPWMFrequency(1); }, 17},
        {"channel before voltage", [](D& d) { return d.setVoltage(2, NaN, NaN); }, 18},
        {"voltage NaN", [](D& d) { return d.setVoltage(1, NaN, 0); }, 19},
        {"voltage infinite", [](D& d) { return d.setVoltage(1, Inf, 0); }, 19},
        {"voltage 2000.5", [](D& d) { return d.setVoltage(1, 2000.5, 0); }, 19},
        {"voltage negative", [](D& d) { return d.setVoltage(1, -0.1, 0); }, 19},
        {"current NaN", [](D& d) { return d.setVoltage(1, 2000, NaN); }, 20},
        {"current 1000.5", [](D& d) { return d.setVoltage(1, 2000, 1000.5); }, 20},
        {"voltage limits inclusive", [](D& d) { return d.setVoltage(1, 2000, 1000); }, 21},
        {"polarity channel", [](D& d) { return d.setPolarity(0, 7); }, 18},
        {"polarity 2", [](D& d) { return d.setPolarity(1, 2); }, 22},
        {"polarity -1", [](D& d) { return d.setPolarity(1, -1); }, 22},
        {"on channel", [](D& d) { return d.turnVoltageOn(2); }, 18},
        {"on", [](D& d) { return d.turnVoltageOn(1); }, 24},
        {"off channel", [](D& d) { return d.turnVoltageOff(0); }, 18},
        {"off", [](D& d) { return d.turnVoltageOff(1); }, 24},
        {"supply status", [](D& d) { return d.getSupplyStatus(nullptr, nullptr); }, 31},
        {"channel status channel", [](D& d) { return d.getChannelStatus(2, nullptr, nullptr); }, 18},
        {"channel status", [](D& d) { return d.getChannelStatus(1, nullptr, nullptr); }, 31},
        {"current channel", [](D& d) { return d.getChannelCurrent(2, nullptr); }, 18},
        {"current", [](D& d) { return d.getChannelCurrent(1, nullptr); }, 32},
        {"clear error", [](D& d) { return d.clearError(); }, 33},
        {"initialise", [](D& d) { return d.initialiseDevice(); }, 11},
    });
    expectCalls(device, unsupported({"setPWMFunction", "setAccurateVoltage", "setVoltageWaveform",
                                     "enableInternalVoltageBus", "disableInternalVoltageBus",
                                     "getADCValue"}));
    expectOutputsUntouched(device);
}

TEST(AlderDevice, PolarityIsStoredEvenWhenTheExchangeFails)
{
    KavraDriver_Alder_Device device;
    EXPECT_EQ(device.setPolarity(1, 1), 23);
    EXPECT_EQ(device.polarity().value(KavraDriver_Alder_Polarity::Polarity).toInt(), 1);
    // A rejected argument changes nothing.
    EXPECT_EQ(device.setPolarity(1, 5), 22);
    EXPECT_EQ(device.polarity().value(KavraDriver_Alder_Polarity::Polarity).toInt(), 1);
    // A failed initialisation keeps the defaults.
    EXPECT_EQ(device.initialiseDevice(), 11);
    EXPECT_EQ(device.userData().voltageGain(), 10560);
    EXPECT_EQ(device.polarity().value(KavraDriver_Alder_Polarity::Polarity).toInt(), 1);
}

TEST(BirchDevice, ChecksInOrderThenFailsTheExchange)
{
    KavraDriver_Birch_Device device;
    expectCalls(device, {
        {"channel 2", [](D& d) { return d.setAccurateVoltage(2, 1, 1); }, 18},
        {"channel before NaN", [](D& d) { return d.setAccurateVoltage(0, NaN, NaN); }, 18},
        {"voltage -1", [](D& d) { return d.setAccurateVoltage(1, -1, 0); }, 19},
        {"voltage 52000.5", [](D& d) { return d.setAccurateVoltage(1, 52000.5, 0); }, 19},
        {"voltage NaN", [](D& d) { return d.setAccurateVoltage(1, NaN, 0); }, 19},
        {"second NaN", [](D& d) { return d.setAccurateVoltage(1, 0, NaN); }, 19},
        {"second 2500.1", [](D& d) { return d.setAccurateVoltage(1, 0, 2500.1); }, 19},
        {"second -infinity", [](D& d) { return d.setAccurateVoltage(1, 0, -Inf); }, 19},
        {"limits inclusive", [](D& d) { return d.setAccurateVoltage(1, 52000, -2500); }, 21},
        {"off channel", [](D& d) { return d.turnVoltageOff(2); }, 18},
        {"off", [](D& d) { return d.turnVoltageOff(1); }, 21},
        {"clear error", [](D& d) { return d.clearError(); }, 0},
        {"initialise", [](D& d) { return d.initialiseDevice(); }, 0},
    });
    expectCalls(device, unsupported({"setPWMFunction", "setPWM", "setPWMFrequency", "setVoltage",
                                     "setVoltageWaveform", "setPolarity", "turnVoltageOn",
                                     "enableInternalVoltageBus", "disableInternalVoltageBus",
                                     "getSupplyStatus", "getChannelStatus", "getChannelCurrent",
                                     "getADCValue"}));
    expectOutputsUntouched(device);
}

TEST(BirchDevice, TurningOffGoesThroughTheVirtualSetting)
{
    // A subclass that overrides the precise setting changes switching off too.
    class Recording : public KavraDriver_Birch_Device
    {
    public:
        int setAccurateVoltage(int channel, double voltage, double second) override
        {
            calls.push_back({static_cast<double>(channel), voltage, second});
            return 77;
        }
        std::vector<std::vector<double>> calls;
    };
    Recording device;
    EXPECT_EQ(device.turnVoltageOff(3), 77);
    ASSERT_EQ(device.calls.size(), 1u);
    EXPECT_EQ(device.calls[0], (std::vector<double>{3, 0, 0}));
}

TEST(CedarDevice, ChecksInOrderThenFailsTheExchange)
{
    KavraDriver_Cedar_Device device;
    expectCalls(device, {
        {"function before channel", [](D& d) { return d.setPWMFunction(3, 3); }, 34},
        {"function -1", [](D& d) { return d.setPWMFunction(1, -1); }, 34},
        {"function channel 0", [](D& d) { return d.setPWMFunction(0, 0); }, 13},
        {"function channel 3", [](D& d) { return d.setPWMFunction(3, 2); }, 13},
        {"function", [](D& d) { return d.setPWMFunction(2, 2); }, 15},
        {"duty before channel", [](D& d) { return d.setPWM(3, 101); }, 14},
        {"pwm channel 3", [](D& d) { return d.setPWM(3, 50); }, 13},
        {"pwm", [](D& d) { return d.setPWM(2, 100); }, 15},
        {"frequency 0", [](D& d) { return d.setPWMFrequency(0); }, 16},
        {"frequency", [](D& d) { return d.setPWMFrequency(200000); }, 17},
        {"voltage channel 0", [](D& d) { return d.setVoltage(0, 1, 0); }, 18},
        {"voltage channel 4", [](D& d) { return d.setVoltage(4, 1, 0); }, 18},
        {"voltage 75.5 at level 0", [](D& d) { return d.setVoltage(1, 75.5, 0); }, 19},
        {"voltage NaN", [](D& d) { return d.setVoltage(1, NaN, 0); }, 19},
        {"current is not used", [](D& d) { return d.setVoltage(3, 75, NaN); }, 21},
        {"waveform channel", [](D& d) { return d.setVoltageWaveform(4, 9, NaN, NaN, NaN); }, 18},
        {"first level", [](D& d) { return d.setVoltageWaveform(1, 9, 76, NaN, NaN); }, 19},
        {"second level", [](D& d) { return d.setVoltageWaveform(1, 9, 10, 76, NaN); }, 35},
        {"second level NaN", [](D& d) { return d.setVoltageWaveform(1, 0, 10, NaN, 1); }, 35},
        {"period before waveform", [](D& d) { return d.setVoltageWaveform(1, 3, 10, 20, 0.05); }, 36},
        {"period 50.01", [](D& d) { return d.setVoltageWaveform(1, 0, 10, 20, 50.01); }, 36},
        {"period NaN", [](D& d) { return d.setVoltageWaveform(1, 0, 10, 20, NaN); }, 36},
        {"waveform 3", [](D& d) { return d.setVoltageWaveform(1, 3, 10, 20, 1); }, 37},
        {"waveform limits", [](D& d) { return d.setVoltageWaveform(1, 2, 75, 75, 0.1); }, 21},
        {"waveform period 50", [](D& d) { return d.setVoltageWaveform(3, 0, 0, 0, 50); }, 21},
        {"on channel", [](D& d) { return d.turnVoltageOn(4); }, 18},
        {"on reads the status first", [](D& d) { return d.turnVoltageOn(2); }, 31},
        {"off channel", [](D& d) { return d.turnVoltageOff(0); }, 18},
        {"off", [](D& d) { return d.turnVoltageOff(3); }, 24},
        {"bus level 2", [](D& d) { return d.enableInternalVoltageBus(2); }, 26},
        {"bus level -1", [](D& d) { return d.enableInternalVoltageBus(-1); }, 26},
        {"bus off", [](D& d) { return d.disableInternalVoltageBus(); }, 28},
        {"supply status", [](D& d) { return d.getSupplyStatus(nullptr, nullptr); }, 31},
        {"channel status channel", [](D& d) { return d.getChannelStatus(4, nullptr, nullptr); }, 18},
        {"channel status", [](D& d) { return d.getChannelStatus(3, nullptr, nullptr); }, 31},
        {"clear error", [](D& d) { return d.clearError(); }, 33},
        {"initialise", [](D& d) { return d.initialiseDevice(); }, 31},
    });
    expectCalls(device, unsupported({"setAccurateVoltage", "setPolarity", "getChannelCurrent",
                                     "getADCValue"}));
    expectOutputsUntouched(device);
}

TEST(CedarDevice, StoredBusLevelSetsTheVoltageLimit)
{
    KavraDriver_Cedar_Device device;
    EXPECT_EQ(device.setVoltage(1, 75, 0), 21);
    EXPECT_EQ(device.setVoltage(1, 100, 0), 19);
    // The level is stored before it is sent, so it holds although the exchange failed.
    EXPECT_EQ(device.enableInternalVoltageBus(1), 27);
    EXPECT_EQ(device.setVoltage(1, 100, 0), 21);
    EXPECT_EQ(device.setVoltageWaveform(1, 0, 100, 100, 1), 21);
    EXPECT_EQ(device.setVoltage(1, 100.5, 0), 19);
    // Switching the bus off keeps the level.
    EXPECT_EQ(device.disableInternalVoltageBus(), 28);
    EXPECT_EQ(device.bus().value(KavraDriver_Cedar_HVBus::Level).toInt(), 1);
    // A rejected level changes nothing.
    EXPECT_EQ(device.enableInternalVoltageBus(2), 26);
    EXPECT_EQ(device.bus().value(KavraDriver_Cedar_HVBus::Level).toInt(), 1);
    // A failed initialisation keeps the level it had.
    EXPECT_EQ(device.initialiseDevice(), 31);
    EXPECT_EQ(device.bus().value(KavraDriver_Cedar_HVBus::Level).toInt(), 1);
}

TEST(GenericDevice, WithoutAUnitNothingCanBeSent)
{
    // No unit open: the model is unknown, single-polarity, and allows no voltage above zero.
    KavraDriver_Generic_Device device;
    expectCalls(device, {
        {"polarity on a single-polarity unit", [](D& d) { return d.setPolarity(2, 7); }, 10},
        {"voltage channel", [](D& d) { return d.setVoltage(2, 1, 1); }, 18},
        {"voltage NaN", [](D& d) { return d.setVoltage(1, NaN, 0); }, 19},
        {"voltage above the limit", [](D& d) { return d.setVoltage(1, 1, 0); }, 19},
        {"current negative", [](D& d) { return d.setVoltage(1, 0, -1); }, 20},
        {"voltage", [](D& d) { return d.setVoltage(1, 0, 0); }, 21},
        {"on channel", [](D& d) { return d.turnVoltageOn(0); }, 18},
        {"on", [](D& d) { return d.turnVoltageOn(1); }, 24},
        {"off channel", [](D& d) { return d.turnVoltageOff(2); }, 18},
        {"off", [](D& d) { return d.turnVoltageOff(1); }, 24},
        {"supply status", [](D& d) { return d.getSupplyStatus(nullptr, nullptr); }, 31},
        {"channel status channel", [](D& d) { return d.getChannelStatus(2, nullptr, nullptr); }, 18},
        {"channel status", [](D& d) { return d.getChannelStatus(1, nullptr, nullptr); }, 31},
        {"current channel", [](D& d) { return d.getChannelCurrent(0, nullptr); }, 18},
        {"current", [](D& d) { return d.getChannelCurrent(1, nullptr); }, 32},
        {"clear error", [](D& d) { return d.clearError(); }, 33},
        {"initialise", [](D& d) { return d.initialiseDevice(); }, 11},
    });
    expectCalls(device, unsupported({"setPWMFunction", "setPWM", "setPWMFrequency",
                                     "setAccurateVoltage", "setVoltageWaveform",
                                     "enableInternalVoltageBus", "disableInternalVoltageBus",
                                     "getADCValue"}));
    expectOutputsUntouched(device);
}

TEST(GenericDevice, CalibrationFollowsTheStoredPolarityOnDualUnitsOnly)
{
    const KavraDriver_Generic_Device device;
    EXPECT_TRUE(KavraDriver_Generic_Device::isDualPolarity(ModelId(25, 1)));
    EXPECT_FALSE(KavraDriver_Generic_Device::isDualPolarity(ModelId(19, 1)));
    // Before initialisation both calibrations are an unknown model's defaults.
    EXPECT_EQ(device.calibrationInUse(ModelId(25, 1)).voltageGain(), 1000);
    EXPECT_EQ(&device.calibrationInUse(ModelId(19, 1)), &device.calibrationInUse(ModelId(25, 1)));
}

TEST(RowanDevice, ReadsOnly)
{
    KavraDriver_Rowan_Device device;
    expectCalls(device, {
        {"converter", [](D& d) { return d.getADCValue(nullptr); }, 31},
        {"clear error", [](D& d) { return d.clearError(); }, 0},
        {"initialise", [](D& d) { return d.initialiseDevice(); }, 0},
    });
    expectCalls(device, unsupported({"setPWMFunction", "setPWM", "setPWMFrequency", "setVoltage",
                                     "setAccurateVoltage", "setVoltageWaveform", "setPolarity",
                                     "turnVoltageOn", "turnVoltageOff", "enableInternalVoltageBus",
                                     "disableInternalVoltageBus", "getSupplyStatus",
                                     "getChannelStatus", "getChannelCurrent"}));
    expectOutputsUntouched(device);
}
