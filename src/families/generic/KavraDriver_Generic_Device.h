#pragma once

#include "KavraDriver_AbstractDevice.h"
#include "KavraDriver_Generic_Polarity.h"
#include "KavraDriver_Generic_UserData.h"

#include "ModelId.h"

#include <QByteArray>

#include <cstdint>

// The single-output units of the Generic models: (19, 1) with one fixed polarity, and (25, 1)
// whose polarity can be switched and which stores one calibration per polarity. Instructions are
// named by Generic codes; the request finds the byte that the unit's model uses.
class KavraDriver_Generic_Device : public KavraDriver_AbstractDevice
{
public:
    // Outputs that the channel parameters accept: output 1.
    static constexpr int ChannelCount = 1;
    // No PWM output.
    static constexpr int PwmChannelCount = 0;
    // Generic instruction codes.
    enum Instruction : uint32_t {
        SetVoltage = 0,
        SetPolarity = 1, // dual-polarity units only
        OutputOn = 5,
        OutputOff = 6,
        ReadPolarity = 8, // dual-polarity units only
        ReadCalibration = 9, // single-polarity units
        ReadCalibrationPolarity0 = 10,
        ReadCalibrationPolarity1 = 11,
        ReadSupplyState = 12
    };

    // The factory hands the model's row (see KavraDriver_AbstractDevice).
    explicit KavraDriver_Generic_Device(const KavraModel* model = nullptr);
    ~KavraDriver_Generic_Device() override;

    int setVoltage(int channel, double voltage, double current) override;
    int setPolarity(int channel, int polarity) override;
    int turnVoltageOn(int channel) override;
    int turnVoltageOff(int channel) override;
    int getSupplyStatus(bool* flag, char* text) override;
    int getChannelStatus(int channel, bool* first, bool* second) override;
    int getChannelCurrent(int channel, double* current) override;
    int clearError() override;
    int initialiseDevice() override;

    // Whether the unit can switch its output polarity (its model's row has setPolarity).
    bool isDualPolarity() const;

    const KavraDriver_Generic_Polarity& polarity() const { return m_polarity; }
    // The calibration that voltages and readings go through, chosen by the stored polarity.
    const KavraDriver_Generic_UserData& calibrationInUse() const;

private:
    // One instruction through the driver; on success the reply bytes go to *reply when given.
    // A model without the code (no unit open) cannot be asked and fails like an exchange.
    bool exchange(uint32_t code, const ModelId& model, const QByteArray& payload = QByteArray(),
        QByteArray* reply = nullptr);

    KavraDriver_Generic_Polarity m_polarity;
    KavraDriver_Generic_UserData m_calibrationPolarity0;
    KavraDriver_Generic_UserData m_calibrationPolarity1;
};
