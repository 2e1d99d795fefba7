#pragma once

#include "KavraDriver_AbstractDevice.h"
#include "KavraDriver_Alder_Polarity.h"
#include "KavraDriver_Alder_UserData.h"

#include <QByteArray>

#include <cstdint>

// Units of model (15, 1): one output with switchable polarity and a PWM output.
class KavraDriver_Alder_Device : public KavraDriver_AbstractDevice
{
public:
    // Outputs that the channel parameters accept: output 1.
    static constexpr int ChannelCount = 1;
    // PWM outputs that the PWM channel parameter accepts: output 1.
    static constexpr int PwmChannelCount = 1;
    // The largest current limit a voltage setting takes, in microamps.
    static constexpr double HighestCurrent = 1000.0;
    // The highest voltage a voltage setting takes.
    static constexpr double HighestVoltage = 2000.0;
    // Instruction bytes of the family.
    enum Instruction : uint32_t {
        SetVoltage = 0x20,
        SetPolarity = 0x21,
        SetPWMFrequency = 0x23,
        SetPWM = 0x24,
        OutputOn = 0x26,
        OutputOff = 0x27,
        ApplyPWM = 0x28, // follows every PWM setting
        ReadPolarity = 0x41,
        ReadUserData = 0x45,
        ReadSupplyState = 0x46
    };

    // The factory hands the model's row (see KavraDriver_AbstractDevice).
    explicit KavraDriver_Alder_Device(const KavraModel* model = nullptr);
    ~KavraDriver_Alder_Device() override;

    int setPWM(int channel, int duty) override;
    int setPWMFrequency(int frequency) override;
    int setVoltage(int channel, double voltage, double current) override;
    int setPolarity(int channel, int polarity) override;
    int turnVoltageOn(int channel) override;
    int turnVoltageOff(int channel) override;
    int getSupplyStatus(bool* flag, char* text) override;
    int getChannelStatus(int channel, bool* first, bool* second) override;
    int getChannelCurrent(int channel, double* current) override;
    int clearError() override;
    int initialiseDevice() override;

    const KavraDriver_Alder_Polarity& polarity() const { return m_polarity; }
    const KavraDriver_Alder_UserData& userData() const { return m_userData; }

private:
    // One instruction through the driver; on success the reply bytes go to *reply when given.
    bool exchange(uint32_t instruction, const QByteArray& payload = QByteArray(),
        QByteArray* reply = nullptr);

    // The polarity decides the sign of every voltage sent; the calibration converts both ways.
    KavraDriver_Alder_Polarity m_polarity;
    KavraDriver_Alder_UserData m_userData;
};
