#include "KavraDriver_Generic_Voltage.h"

#include "KavraDriver_Conversions.h"
#include "KavraDriver_Generic_UserData.h"

using namespace KavraDriver_Conversions;

KavraDriver_Generic_Voltage::KavraDriver_Generic_Voltage()
{
    setValue(Voltage, 10.0);
    setValue(Current, 100.0);
    setValue(SettingByte, 0);
    setValue(SettingWord, DefaultSettingWord);
    setValue(SecondSettingWord, 50000);
}

KavraDriver_Generic_Voltage::~KavraDriver_Generic_Voltage() = default;

QByteArray KavraDriver_Generic_Voltage::encode(
    const KavraDriver_Generic_UserData& calibration) const
{
    return encode(variantToInt(value(Voltage)), variantToInt(value(Current)),
        variantToInt(value(SettingByte)), variantToInt(value(SettingWord)),
        variantToInt(value(SecondSettingWord)), calibration);
}

QByteArray KavraDriver_Generic_Voltage::encode(int voltage, int current, int settingByte,
    int settingWord, int secondSettingWord, const KavraDriver_Generic_UserData& calibration)
{
    QByteArray data(EncodedLength, Qt::Uninitialized);
    char* out = data.data();
    out = putWord(out,
        truncateToWord(
            calibration.voltageGain() / 1000.0 * voltage + calibration.voltageOffset() / 10.0));
    out = putWord(out, truncateToWord(calibration.currentGain() / 100.0 * current));
    out = putWord(out, static_cast<quint16>(calibration.voltageOffset() / 10));
    out = putWord(out, static_cast<quint16>(calibration.currentOffset() / 10));
    out = putWord(out, calibration.currentCoupling());
    *out++ = static_cast<char>(settingByte & 0xFF);
    out = putWord(out, static_cast<quint16>(settingWord & 0xFFFF));
    putWord(out, static_cast<quint16>(secondSettingWord & 0xFFFF));
    return data;
}
