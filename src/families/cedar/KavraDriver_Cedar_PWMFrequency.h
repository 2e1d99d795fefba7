#pragma once

#include "KavraDriver_Cedar_PWMFrequencyTraits.h"

#include <Properties>

#include <QByteArray>

// The PWM frequency of a Cedar unit in hertz.
class KavraDriver_Cedar_PWMFrequency : public Properties<KavraDriver_Cedar_PWMFrequencyTraits>,
                                       public KavraDriver_Cedar_PWMFrequencyTraits
{
public:
    enum Index { Frequency = 0 };

    // 10000 Hz.
    KavraDriver_Cedar_PWMFrequency();
    KavraDriver_Cedar_PWMFrequency(const KavraDriver_Cedar_PWMFrequency&) = default;
    KavraDriver_Cedar_PWMFrequency& operator=(const KavraDriver_Cedar_PWMFrequency&) = default;
    ~KavraDriver_Cedar_PWMFrequency() override;

    // Four bytes, least significant first.
    QByteArray encode() const;
};
