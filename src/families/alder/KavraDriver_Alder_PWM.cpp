#include "KavraDriver_Alder_PWM.h"

#include "KavraDriver_Conversions.h"

KavraDriver_Alder_PWM::KavraDriver_Alder_PWM()
{
    setValue(Mode, 2);
    setValue(Duty, 50);
}

KavraDriver_Alder_PWM::~KavraDriver_Alder_PWM() = default;

QByteArray KavraDriver_Alder_PWM::encode() const
{
    return KavraDriver_Conversions::encodePwm(
        variantToInt(value(Mode)), value(Alternate).toBool(), variantToInt(value(Duty)));
}
