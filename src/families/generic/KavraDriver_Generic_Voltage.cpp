#include "KavraDriver_Generic_Voltage.h"

#include "KavraDriver_Conversions.h"
#include "KavraDriver_Generic_UserData.h"

using namespace KavraDriver_Conversions;

KavraDriver_Generic_Voltage::KavraDriver_Generic_Voltage()
{
    setValue(Voltage, 10.0);
    setValue(Current, 100.0);
    setValue(SettingByte, 0);
    setValue(SettingWord, 0);
    setValue(SecondSettingWord, 50000);
}

KavraDriver_Generic_Voltage::~KavraDriver_Generic_Voltage() = default;

QByteArray KavraDriver_Generic_Voltage::encode(
    const KavraDriver_Generic_UserData& calibration) const
{
    const int voltage = variantToInt(value(Voltage));
    const int current = variantToInt(value(Current));

    QByteArray data;
    appendWord(data,
        truncateToWord(
            calibration.voltageGain() / 1000.0 * voltage + calibration.voltageOffset() / 10.0));
    appendWord(data, truncateToWord(calibration.currentGain() / 100.0 * current));
    appendWord(data, static_cast<quint16>(calibration.voltageOffset() / 10));
    appendWord(data, static_cast<quint16>(calibration.currentOffset() / 10));
    appendWord(data, calibration.currentCoupling());
    data.append(static_cast<char>(variantToInt(value(SettingByte)) & 0xFF));
    appendWord(data, static_cast<quint16>(variantToInt(value(SettingWord)) & 0xFFFF));
    appendWord(data, static_cast<quint16>(variantToInt(value(SecondSettingWord)) & 0xFFFF));
    return data;
}
