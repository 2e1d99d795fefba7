#include "KavraDriver_Cedar_PWM.h"

KavraDriver_Cedar_PWM::KavraDriver_Cedar_PWM()
{
    setValue(Mode, 2);
    setValue(Duty, 50);
}

KavraDriver_Cedar_PWM::~KavraDriver_Cedar_PWM() = default;

QByteArray KavraDriver_Cedar_PWM::encode() const
{
    int mode = variantToInt(value(Mode));
    if ((mode & 0x04) != 0 && value(Alternate).toBool())
        mode |= 0x01;
    QByteArray data;
    data.append(static_cast<char>(mode & 0xFF));
    data.append(static_cast<char>(variantToInt(value(Duty)) & 0xFF));
    return data;
}
