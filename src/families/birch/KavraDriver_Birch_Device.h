#pragma once

#include "KavraDriver_AbstractDevice.h"

#include <cstdint>

// Units of model (40, 1): one output set precisely by two values in one instruction and switched
// off by setting both to zero. The device keeps no state of its own.
class KavraDriver_Birch_Device : public KavraDriver_AbstractDevice
{
public:
    // Outputs that the channel parameters accept: output 1.
    static constexpr int ChannelCount = 1;
    // No PWM output.
    static constexpr int PwmChannelCount = 0;
    // The highest voltage an accurate voltage setting takes.
    static constexpr double HighestVoltage = 52000.0;
    enum Instruction : uint32_t { SetOutput = 0x20 };

    // The factory hands the model's row (see KavraDriver_AbstractDevice).
    explicit KavraDriver_Birch_Device(const KavraModel* model = nullptr);
    ~KavraDriver_Birch_Device() override;

    int setAccurateVoltage(int channel, double voltage, double second) override;
    // The same as setAccurateVoltage(channel, 0, 0), through the virtual operation.
    int turnVoltageOff(int channel) override;
    // Nothing to clear or load: both succeed without a word to the unit.
    int clearError() override;
    int initialiseDevice() override;
};
