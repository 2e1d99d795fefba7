#pragma once

#include "CalibrationWords.h"
#include "FirmwareUnit.h"
#include "SupplyOutput.h"

// Firmware of the single-output units with switchable polarity and one PWM output (15, 1).
class AlderUnit : public FirmwareUnit
{
public:
    explicit AlderUnit(const QJsonObject& config);

protected:
    // The family's instruction bytes. The auxiliary ones are accepted and only logged.
    enum Instruction : quint8 {
        SetVoltage = 0x20,
        SetPolarity = 0x21,
        Auxiliary22 = 0x22,
        SetPwmFrequency = 0x23,
        SetPwm = 0x24,
        Auxiliary25 = 0x25,
        OutputOn = 0x26,
        OutputOff = 0x27,
        ApplyPwm = 0x28, // PWM settings take effect with it
        Auxiliary29 = 0x29,
        ReadVoltageSetting = 0x40,
        ReadPolarity = 0x41,
        ReadVoltageAndFrequency = 0x42,
        ReadPwmFrequency = 0x43,
        ReadPwm = 0x44,
        ReadUserData = 0x45,
        ReadSupplyState = 0x46,
    };

    Reply handleInstruction(quint8 instruction, const QByteArray& data) override;
    void addFamilyState(QJsonObject& state) const override;

private:
    Reply setVoltage(const QByteArray& data);
    QByteArray supplyState() const;
    QByteArray pwmFrequencyBytes() const;
    void buildUserData(const QJsonObject& calibration);

    CalibrationWords m_calibration;
    QString m_calibrationForm;
    QByteArray m_userData;
    SupplyOutput m_output;
    int m_polarity = 0;
    QByteArray m_voltageSetting = QByteArray(10, '\0');
    // PWM settings wait for the follow-up instruction before they take effect.
    int m_pendingMode = 2;
    int m_pendingDuty = 50;
    quint32 m_pendingFrequency = 10000;
    int m_pwmMode = 2;
    int m_pwmDuty = 50;
    quint32 m_pwmFrequency = 10000;
};
