#pragma once

#include "KavraDriver_AbstractDevice.h"

#include <cstdint>

// Units of model (41, 1), which are only read: one converter value. No state of its own.
class KavraDriver_Rowan_Device : public KavraDriver_AbstractDevice
{
public:
    // No operation takes a channel.
    static constexpr int ChannelCount = 0;
    // No PWM output.
    static constexpr int PwmChannelCount = 0;
    enum Instruction : uint32_t { ReadConverter = 0x40 };

    // The factory hands the model's row (see KavraDriver_AbstractDevice).
    explicit KavraDriver_Rowan_Device(const KavraModel* model = nullptr);
    ~KavraDriver_Rowan_Device() override;

    int getADCValue(double* value) override;
    // Nothing to clear or load: both succeed without a word to the unit.
    int clearError() override;
    int initialiseDevice() override;
};
