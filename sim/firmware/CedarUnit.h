#pragma once

#include "FirmwareUnit.h"

// Firmware of the three-output units fed from an internal high-voltage bus, with two PWM
// outputs and voltage waveforms (17, 1). Units of hardware version 1 take a plain 2-byte
// voltage code; later ones take the 7-byte waveform setting.
class CedarUnit : public FirmwareUnit
{
public:
    explicit CedarUnit(const QJsonObject& config);

protected:
    // The family's instruction bytes; an instruction per output follows on from the one for
    // output 1. The auxiliary ones are accepted and only logged.
    enum Instruction : quint8 {
        SetBusLevel = 0x20, // and switch the bus on
        SetVoltage1 = 0x21, // outputs 1 to 3
        Auxiliary24 = 0x24,
        SetPwmFrequency = 0x25,
        SetPwm1 = 0x26, // PWM outputs 1 and 2
        Auxiliary28 = 0x28,
        Auxiliary29 = 0x29,
        OutputOn1 = 0x2A,
        OutputOff1 = 0x2D,
        ApplyPwm = 0x30, // PWM settings take effect with it
        ClearError = 0x31,
        BusOff = 0x32,
        Auxiliary33 = 0x33,
        ReadBusLevel = 0x40,
        ReadVoltageCode1 = 0x41,
        ReadSummary = 0x44,
        ReadPwmFrequency = 0x45,
        ReadPwm1 = 0x46,
        ReadUserData = 0x48,
        ReadSupplyState = 0x49,
        ReadBusState = 0x4A,
    };
    static constexpr int Outputs = 3;
    static constexpr int PwmOutputs = 2;

    Reply handleInstruction(quint8 instruction, const QByteArray& data) override;
    void addFamilyState(QJsonObject& state) const override;

private:
    struct Output
    {
        bool on = false;
        int code = 0; // voltage code of the first level
        int waveform = 0; // 0 constant, 1 to 3 the waveforms
        int periodMs = 1000; // waveform period, milliseconds
        int secondCode = 0; // voltage code of the second level
    };
    struct Pwm
    {
        int mode = 2;
        int duty = 50;
    };

    int settingSize() const;
    Reply setVoltage(int output, const QByteArray& data);
    Reply switchOn(int output);
    bool isOverloaded(int output) const;
    double busLimit() const;
    double outputVoltage(int output) const;
    int statusBits() const;
    int outputBits() const;
    QByteArray supplyState() const;

    int m_busLevel = 0;
    bool m_busOn = true;
    bool m_ready = true;
    bool m_outputs23Ready = true;
    bool m_shortCircuit = false;
    int m_errorWord = 0;
    Output m_outputs[Outputs];
    Pwm m_pwm[PwmOutputs];
    Pwm m_pendingPwm[PwmOutputs];
    quint32 m_pwmFrequency = 10000;
    quint32 m_pendingFrequency = 10000;
};
