#pragma once

#include "FirmwareUnit.h"

// Firmware of the precisely set single-output units (40, 1): one setting instruction carrying a
// voltage and a second value, switched off by setting both to zero.
class BirchUnit : public FirmwareUnit
{
public:
    explicit BirchUnit(const QJsonObject& config);

protected:
    Reply handleInstruction(quint8 instruction, const QByteArray& data) override;
    void addFamilyState(QJsonObject& state) const override;

private:
    QByteArray m_setting = QByteArray(6, '\0');
};
