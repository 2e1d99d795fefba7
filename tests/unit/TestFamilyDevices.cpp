// Family devices without an open unit: the failure code of each operation whose exchange cannot
// happen, out-parameters left alone, and the state a device keeps although its exchange failed.
// Argument checks and instruction bytes on a working unit are the end-to-end tests' part, and so
// are the codes of a failed supply-status or converter read (Recovery.NoiseCostsOnlyTheCallItHits).

#include "KavraDriver_Alder_Device.h"
#include "KavraDriver_Birch_Device.h"
#include "KavraDriver_Cedar_Device.h"
#include "KavraDriver_Generic_Device.h"
#include "KavraDriver_Rowan_Device.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <memory>

namespace {

using D = KavraDriver_AbstractDevice;
const double NaN = std::numeric_limits<double>::quiet_NaN();

} // namespace

TEST(FamilyDevices, FailedExchangesGiveTheOperationsOwnCodeAndTouchNoOutput)
{
    struct Case
    {
        const char* what;
        std::function<int(D&)> call;
        int status;
    };
    struct Family
    {
        const char* name;
        std::function<std::unique_ptr<D>()> make;
        std::vector<Case> cases;
    };
    const Family families[] = {
        {"Alder", [] { return std::make_unique<KavraDriver_Alder_Device>(); },
            {{"pwm", [](D& d) { return d.setPWM(1, 100); }, 15},
                {"frequency", [](D& d) { return d.setPWMFrequency(200000); }, 17},
                {"voltage", [](D& d) { return d.setVoltage(1, 2000, 1000); }, 21},
                {"polarity", [](D& d) { return d.setPolarity(1, 0); }, 23},
                {"on", [](D& d) { return d.turnVoltageOn(1); }, 24},
                {"off", [](D& d) { return d.turnVoltageOff(1); }, 24},
                {"channel status", [](D& d) { return d.getChannelStatus(1, nullptr, nullptr); },
                    31},
                {"current", [](D& d) { return d.getChannelCurrent(1, nullptr); }, 32},
                {"clear error", [](D& d) { return d.clearError(); }, 33},
                {"initialise", [](D& d) { return d.initialiseDevice(); }, 11}}},
        {"Birch", [] { return std::make_unique<KavraDriver_Birch_Device>(); },
            {{"limits inclusive", [](D& d) { return d.setAccurateVoltage(1, 52000, -2500); }, 21},
                {"off", [](D& d) { return d.turnVoltageOff(1); }, 21},
                {"clear error", [](D& d) { return d.clearError(); }, 0},
                {"initialise", [](D& d) { return d.initialiseDevice(); }, 0}}},
        {"Cedar", [] { return std::make_unique<KavraDriver_Cedar_Device>(); },
            {{"function", [](D& d) { return d.setPWMFunction(2, 2); }, 15},
                {"pwm", [](D& d) { return d.setPWM(2, 100); }, 15},
                {"frequency", [](D& d) { return d.setPWMFrequency(200000); }, 17},
                {"current is not used", [](D& d) { return d.setVoltage(3, 75, NaN); }, 21},
                {"waveform limits", [](D& d) { return d.setVoltageWaveform(1, 2, 75, 75, 0.1); },
                    21},
                {"waveform period 50", [](D& d) { return d.setVoltageWaveform(3, 0, 0, 0, 50); },
                    21},
                {"period 50.01", [](D& d) { return d.setVoltageWaveform(1, 0, 10, 20, 50.01); },
                    36},
                {"on reads the status first", [](D& d) { return d.turnVoltageOn(2); }, 31},
                {"off", [](D& d) { return d.turnVoltageOff(3); }, 24},
                {"bus off", [](D& d) { return d.disableInternalVoltageBus(); }, 28},
                {"channel status", [](D& d) { return d.getChannelStatus(3, nullptr, nullptr); },
                    31},
                {"clear error", [](D& d) { return d.clearError(); }, 33},
                {"initialise", [](D& d) { return d.initialiseDevice(); }, 31}}},
        // No unit: the model is unknown and allows no voltage above zero. (The codes of the other
        // Generic operations: FamilyBehaviour.AFailedExchangeLeavesOutputsAloneAndTheUnitUsable.)
        {"Generic", [] { return std::make_unique<KavraDriver_Generic_Device>(); },
            {{"voltage above the unknown model's limit", [](D& d) { return d.setVoltage(1, 1, 0); },
                 19},
                {"off", [](D& d) { return d.turnVoltageOff(1); }, 24},
                {"initialise", [](D& d) { return d.initialiseDevice(); }, 11}}},
        {"Rowan", [] { return std::make_unique<KavraDriver_Rowan_Device>(); },
            {{"clear error", [](D& d) { return d.clearError(); }, 0},
                {"initialise", [](D& d) { return d.initialiseDevice(); }, 0}}},
    };
    for (const Family& family : families) {
        SCOPED_TRACE(family.name);
        const auto device = family.make();
        for (const Case& c : family.cases)
            EXPECT_EQ(c.call(*device), c.status) << c.what;

        bool flag = true, first = true, second = false;
        char text[32];
        std::memset(text, 'x', sizeof(text));
        double value = 12.5;
        device->getSupplyStatus(&flag, text);
        device->getChannelStatus(1, &first, &second);
        device->getChannelCurrent(1, &value);
        device->getADCValue(&value);
        EXPECT_TRUE(flag);
        EXPECT_EQ(text[0], 'x');
        EXPECT_TRUE(first);
        EXPECT_FALSE(second);
        EXPECT_EQ(value, 12.5);
    }
}

TEST(FamilyDevices, AlderPolarityIsStoredEvenWhenTheExchangeFails)
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

TEST(FamilyDevices, CedarStoredBusLevelSetsTheVoltageLimit)
{
    KavraDriver_Cedar_Device device;
    EXPECT_EQ(device.setVoltage(1, 75, 0), 21);
    EXPECT_EQ(device.setVoltage(1, 100, 0), 19);
    // The level is stored before it is sent, so it holds although the exchange failed.
    EXPECT_EQ(device.enableInternalVoltageBus(1), 27);
    EXPECT_EQ(device.setVoltage(1, 100, 0), 21);
    EXPECT_EQ(device.setVoltageWaveform(1, 0, 100, 100, 1), 21);
    EXPECT_EQ(device.setVoltage(1, 100.5, 0), 19);
    // Switching the bus off keeps the level; a rejected level and a failed initialisation too.
    EXPECT_EQ(device.disableInternalVoltageBus(), 28);
    EXPECT_EQ(device.enableInternalVoltageBus(2), 26);
    EXPECT_EQ(device.initialiseDevice(), 31);
    EXPECT_EQ(device.bus().value(KavraDriver_Cedar_HVBus::Level).toInt(), 1);
}
