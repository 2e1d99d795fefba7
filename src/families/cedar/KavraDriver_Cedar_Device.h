#pragma once

#include "KavraDriver_AbstractDevice.h"
#include "KavraDriver_Cedar_HVBus.h"

#include <QByteArray>

#include <cstdint>

// Units of model (17, 1): three outputs fed from an internal high-voltage bus whose level bounds
// their voltage, two PWM outputs with a selectable function, and voltage waveforms.
class KavraDriver_Cedar_Device : public KavraDriver_AbstractDevice
{
public:
    // Outputs that the channel parameters accept: outputs 1 to 3.
    static constexpr int ChannelCount = 3;
    // PWM outputs that the PWM channel parameters accept: 1 and 2.
    static constexpr int PwmChannelCount = 2;
    // Instruction bytes of the family; per-output instructions add the output number.
    enum Instruction : uint32_t {
        SetBusLevel = 0x20,
        SetVoltageBase = 0x20, // + output 1..3
        SetPWMFrequency = 0x25,
        SetPWMBase = 0x25, // + PWM output 1..2
        OutputOnBase = 0x29, // + output 1..3
        OutputOffBase = 0x2C, // + output 1..3
        ApplyPWM = 0x30, // follows every PWM setting
        ClearError = 0x31,
        BusOff = 0x32,
        ReadBusLevel = 0x40,
        ReadSupplyState = 0x49
    };

    // The factory hands the model's row (see KavraDriver_AbstractDevice).
    explicit KavraDriver_Cedar_Device(const KavraModel* model = nullptr);
    ~KavraDriver_Cedar_Device() override;

    int setPWMFunction(uint32_t channel, int function) override;
    int setPWM(int channel, int duty) override;
    int setPWMFrequency(int frequency) override;
    // The current is not used: the outputs have no current setting.
    int setVoltage(int channel, double voltage, double current) override;
    int setVoltageWaveform(
        int channel, uint32_t waveform, double level1, double level2, double period) override;
    int turnVoltageOn(int channel) override;
    int turnVoltageOff(int channel) override;
    int enableInternalVoltageBus(int level) override;
    int disableInternalVoltageBus() override;
    int getSupplyStatus(bool* flag, char* text) override;
    int getChannelStatus(int channel, bool* first, bool* second) override;
    int clearError() override;
    int initialiseDevice() override;

    const KavraDriver_Cedar_HVBus& bus() const { return m_bus; }

private:
    // One instruction through the driver; on success the reply bytes go to *reply when given.
    bool exchange(uint32_t instruction, const QByteArray& payload = QByteArray(),
        QByteArray* reply = nullptr);
    // A PWM output setting followed by the instruction that applies it.
    bool sendPWM(int channel, int mode, int duty);
    // The first number of the unit's firmware version, which decides the voltage encoding.
    int firmwareVersion() const;

    // The bus level last read or sent; it bounds every later voltage setting.
    KavraDriver_Cedar_HVBus m_bus;
};
