#include "KavraDriver_Cedar_Voltage.h"

#include "KavraDriver_Conversions.h"

#include <algorithm>

using namespace KavraDriver_Conversions;

KavraDriver_Cedar_Voltage::KavraDriver_Cedar_Voltage()
{
    setValue(Voltage, 0.0);
    setValue(Waveform, 0);
    setValue(SecondLevel, DefaultSecondLevel);
    setValue(Period, DefaultPeriod);
}

KavraDriver_Cedar_Voltage::~KavraDriver_Cedar_Voltage() = default;

quint16 KavraDriver_Cedar_Voltage::voltageCode(double voltage)
{
    // Evaluated in this order so that the code matches the unit's own arithmetic bit for bit.
    const double code = voltage / 40.0 * 65535.0 / 4.096;
    return truncateToWord(std::min(code, 65535.0));
}

QByteArray KavraDriver_Cedar_Voltage::encode(int firmwareVersion) const
{
    return encode(variantToDouble(value(Voltage)), variantToInt(value(Waveform)),
        variantToDouble(value(SecondLevel)), variantToDouble(value(Period)), firmwareVersion);
}

QByteArray KavraDriver_Cedar_Voltage::encode(
    double voltage, int waveform, double secondLevel, double period, int firmwareVersion)
{
    const bool plain = firmwareVersion == PlainFirmwareVersion;
    QByteArray data(plain ? 2 : 7, Qt::Uninitialized);
    char* out = putWord(data.data(), voltageCode(voltage));
    if (plain)
        return data;
    *out++ = static_cast<char>(waveform & 0xFF);
    out = putWord(out, truncateToWord(period * 1000.0));
    putWord(out, voltageCode(secondLevel));
    return data;
}
