#pragma once

#include "KavraDriver_Generic_VoltageTraits.h"

#include <Properties>

#include <QByteArray>

class KavraDriver_Generic_UserData;

// An output setting of a Generic unit: voltage, current limit and three setting values that the
// unit takes as they are.
class KavraDriver_Generic_Voltage : public Properties<KavraDriver_Generic_VoltageTraits>,
                                    public KavraDriver_Generic_VoltageTraits
{
public:
    enum Index {
        Voltage = 0,
        Current = 1,
        SettingByte = 2,
        SettingWord = 3,
        SecondSettingWord = 4
    };
    static constexpr int EncodedLength = 15;

    // Voltage 10, current 100, settings 0, 0 and 50000.
    KavraDriver_Generic_Voltage();
    KavraDriver_Generic_Voltage(const KavraDriver_Generic_Voltage&) = default;
    KavraDriver_Generic_Voltage& operator=(const KavraDriver_Generic_Voltage&) = default;
    ~KavraDriver_Generic_Voltage() override;

    // Fifteen bytes, words little-endian: voltage code, current code, voltage offset, current
    // offset, coupling, the setting byte and the two setting words. The requested values are cut
    // to whole numbers before the calibration applies.
    QByteArray encode(const KavraDriver_Generic_UserData& calibration) const;
    // The same bytes from plain values, without a record.
    static QByteArray encode(int voltage, int current, int settingByte, int settingWord,
        int secondSettingWord, const KavraDriver_Generic_UserData& calibration);
    // The setting word of a new record.
    static constexpr int DefaultSettingWord = 0;
};
