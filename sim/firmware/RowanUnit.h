#pragma once

#include "FirmwareUnit.h"

// Firmware of the read-only converter units (41, 1): one instruction that reports the
// converter's value for the input the bench applies.
class RowanUnit : public FirmwareUnit
{
public:
    explicit RowanUnit(const QJsonObject& config);

protected:
    // The family's only instruction byte.
    enum Instruction : quint8 { ReadConverter = 0x40 };

    Reply handleInstruction(quint8 instruction, const QByteArray& data) override;
    void addFamilyState(QJsonObject& state) const override;

private:
    qint32 converterValue() const;

    double m_input = 12.5;
};
