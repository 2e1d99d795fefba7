#include "KavraDriver_Alder_PWMFrequency.h"

KavraDriver_Alder_PWMFrequency::KavraDriver_Alder_PWMFrequency()
{
    setValue(Frequency, 10000);
}

KavraDriver_Alder_PWMFrequency::~KavraDriver_Alder_PWMFrequency() = default;

QByteArray KavraDriver_Alder_PWMFrequency::encode() const
{
    QByteArray data;
    appendDword(data, static_cast<quint32>(variantToInt(value(Frequency))));
    return data;
}
