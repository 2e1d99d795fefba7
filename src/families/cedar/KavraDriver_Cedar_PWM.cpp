#include "KavraDriver_Cedar_PWM.h"

#include "KavraDriver_Conversions.h"

KavraDriver_Cedar_PWM::KavraDriver_Cedar_PWM()
{
    setValue(Mode, 2);
    setValue(Duty, 50);
}

KavraDriver_Cedar_PWM::~KavraDriver_Cedar_PWM() = default;

QByteArray KavraDriver_Cedar_PWM::encode() const
{
    return KavraDriver_Conversions::encodePwm(
        variantToInt(value(Mode)), value(Alternate).toBool(), variantToInt(value(Duty)));
}
