#pragma once

#include "KavraDriver_Alder_PWMFrequencyTraits.h"

#include <Properties>

#include <QByteArray>

// The PWM frequency of a Alder unit in hertz.
class KavraDriver_Alder_PWMFrequency : public Properties<KavraDriver_Alder_PWMFrequencyTraits>,
                                       public KavraDriver_Alder_PWMFrequencyTraits
{
public:
    enum Index { Frequency = 0 };

    // 10000 Hz.
    KavraDriver_Alder_PWMFrequency();
    KavraDriver_Alder_PWMFrequency(const KavraDriver_Alder_PWMFrequency&) = default;
    KavraDriver_Alder_PWMFrequency& operator=(const KavraDriver_Alder_PWMFrequency&) = default;
    ~KavraDriver_Alder_PWMFrequency() override;

    // Four bytes, least significant first.
    QByteArray encode() const;
};
