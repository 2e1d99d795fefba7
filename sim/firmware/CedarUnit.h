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
    Reply handleInstruction(quint8 instruction, const QByteArray& data) override;
    void addFamilyState(QJsonObject& state) const override;

private:
    struct Output
    {
        bool on = false;
        int code = 0;          // voltage code of the first level
        int waveform = 0;      // 0 constant, 1 to 3 the waveforms
        int periodMs = 1000;   // waveform period, milliseconds
        int secondCode = 0;    // voltage code of the second level
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
    Output m_outputs[3];
    Pwm m_pwm[2];
    Pwm m_pendingPwm[2];
    quint32 m_pwmFrequency = 10000;
    quint32 m_pendingFrequency = 10000;
};
