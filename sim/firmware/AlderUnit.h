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
