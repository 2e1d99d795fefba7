#include "KavraDriver_Cedar_PWMFrequency.h"

KavraDriver_Cedar_PWMFrequency::KavraDriver_Cedar_PWMFrequency()
{
    setValue(Frequency, 10000);
}

KavraDriver_Cedar_PWMFrequency::~KavraDriver_Cedar_PWMFrequency() = default;

QByteArray KavraDriver_Cedar_PWMFrequency::encode() const
{
    QByteArray data;
    appendDword(data, static_cast<quint32>(variantToInt(value(Frequency))));
    return data;
}
