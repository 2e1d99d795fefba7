#pragma once

#include "KavraDriver_Cedar_PWMTraits.h"

#include <Properties>

#include <QByteArray>

// A PWM output setting of a Cedar unit: the mode byte and the duty in percent.
class KavraDriver_Cedar_PWM : public Properties<KavraDriver_Cedar_PWMTraits>,
                              public KavraDriver_Cedar_PWMTraits
{
public:
    // Alternate only matters in modes with bit 2 set, where it adds bit 0 to the mode byte.
    enum Index { Mode = 0, Duty = 1, Alternate = 2 };

    // Mode 2 (plain duty), duty 50.
    KavraDriver_Cedar_PWM();
    KavraDriver_Cedar_PWM(const KavraDriver_Cedar_PWM&) = default;
    KavraDriver_Cedar_PWM& operator=(const KavraDriver_Cedar_PWM&) = default;
    ~KavraDriver_Cedar_PWM() override;

    // Two bytes: the mode byte, then the low byte of the duty.
    QByteArray encode() const;
};
