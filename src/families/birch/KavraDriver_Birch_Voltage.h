#pragma once

#include "KavraDriver_Birch_VoltageTraits.h"

#include <Properties>

#include <QByteArray>

// The one precise output setting of a Birch unit: a voltage and a second value, sent together.
class KavraDriver_Birch_Voltage : public Properties<KavraDriver_Birch_VoltageTraits>,
                                  public KavraDriver_Birch_VoltageTraits
{
public:
    enum Index { Voltage = 0, Second = 1 };
    static constexpr int EncodedLength = 6;

    // Both values 0, which switches the output off.
    KavraDriver_Birch_Voltage();
    KavraDriver_Birch_Voltage(const KavraDriver_Birch_Voltage&) = default;
    KavraDriver_Birch_Voltage& operator=(const KavraDriver_Birch_Voltage&) = default;
    ~KavraDriver_Birch_Voltage() override;

    // Six bytes, least significant first: the voltage cut to a whole number (16 bits), then the
    // second value in thousandths, cut toward zero (signed 32 bits).
    QByteArray encode() const;
};
