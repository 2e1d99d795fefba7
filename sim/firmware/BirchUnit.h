#pragma once

#include "FirmwareUnit.h"

// Firmware of the precisely set single-output units (40, 1): one setting instruction carrying a
// voltage and a second value, switched off by setting both to zero.
class BirchUnit : public FirmwareUnit
{
public:
    explicit BirchUnit(const QJsonObject& config);

protected:
    // The family's instruction bytes.
    enum Instruction : quint8 {
        SetOutput = 0x20, // voltage and second value
        ReadSetting = 0x40,
        ReadSecond = 0x41,
    };

    Reply handleInstruction(quint8 instruction, const QByteArray& data) override;
    void addFamilyState(QJsonObject& state) const override;

private:
    QByteArray m_setting = QByteArray(6, '\0');
};
