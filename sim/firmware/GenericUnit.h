#pragma once

#include "CalibrationWords.h"
#include "FirmwareUnit.h"
#include "SupplyOutput.h"

#include <QHash>

// Firmware of the single-output Generic units: (19, 1) with a fixed polarity and one stored
// calibration, (25, 1) with switchable polarity and one calibration per polarity. The two
// models number their instructions differently; both are handled by model-independent codes.
class GenericUnit : public FirmwareUnit
{
public:
    explicit GenericUnit(const QJsonObject& config);

protected:
    Reply handleInstruction(quint8 instruction, const QByteArray& data) override;
    void addFamilyState(QJsonObject& state) const override;

private:
    bool isDualPolarity() const;
    const CalibrationWords& calibrationInUse() const;
    Reply setVoltage(const QByteArray& data);
    QByteArray supplyState() const;

    QHash<int, int> m_codeByInstruction;
    CalibrationWords m_calibration[2];
    QByteArray m_calibrationRecord[2];
    QString m_calibrationForm[2];
    SupplyOutput m_output;
    int m_polarity = 0;
    QByteArray m_voltageSetting = QByteArray(15, '\0');
};
