#pragma once

#include "KavraDriver_Alder_VoltageTraits.h"

#include <Properties>

#include <QByteArray>

class KavraDriver_Alder_Polarity;
class KavraDriver_Alder_UserData;

// An output setting of an Alder unit: voltage and current limit.
class KavraDriver_Alder_Voltage : public Properties<KavraDriver_Alder_VoltageTraits>,
                                  public KavraDriver_Alder_VoltageTraits
{
public:
    enum Index { Voltage = 0, Current = 1 };
    static constexpr int EncodedLength = 10;

    // Voltage 10, current 1000.
    KavraDriver_Alder_Voltage();
    KavraDriver_Alder_Voltage(const KavraDriver_Alder_Voltage&) = default;
    KavraDriver_Alder_Voltage& operator=(const KavraDriver_Alder_Voltage&) = default;
    ~KavraDriver_Alder_Voltage() override;

    // Five little-endian words: voltage code, current code, voltage offset, current offset and
    // coupling. The requested values are cut to whole numbers first; polarity 1 negates them.
    QByteArray encode(const KavraDriver_Alder_UserData& calibration,
        const KavraDriver_Alder_Polarity& polarity) const;
    // The same bytes from whole-number values, without a record.
    static QByteArray encode(int voltage, int current,
        const KavraDriver_Alder_UserData& calibration, const KavraDriver_Alder_Polarity& polarity);
};
