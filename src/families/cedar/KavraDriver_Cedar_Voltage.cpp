#include "KavraDriver_Cedar_Voltage.h"

#include "KavraDriver_Conversions.h"

#include <algorithm>

using namespace KavraDriver_Conversions;

KavraDriver_Cedar_Voltage::KavraDriver_Cedar_Voltage()
{
    setValue(Voltage, 0.0);
    setValue(Waveform, 0);
    setValue(SecondLevel, 0.0);
    setValue(Period, 1.0);
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
    QByteArray data;
    appendWord(data, voltageCode(variantToDouble(value(Voltage))));
    if (firmwareVersion == PlainFirmwareVersion)
        return data;
    data.append(static_cast<char>(variantToInt(value(Waveform)) & 0xFF));
    appendWord(data, truncateToWord(variantToDouble(value(Period)) * 1000.0));
    appendWord(data, voltageCode(variantToDouble(value(SecondLevel))));
    return data;
}
