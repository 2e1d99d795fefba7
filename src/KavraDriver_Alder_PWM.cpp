#include "KavraDriver_Alder_PWM.h"

KavraDriver_Alder_PWM::KavraDriver_Alder_PWM()
{
    setValue(Mode, 2);
    setValue(Duty, 50);
}

KavraDriver_Alder_PWM::~KavraDriver_Alder_PWM() = default;

QByteArray KavraDriver_Alder_PWM::encode() const
{
    int mode = variantToInt(value(Mode));
    if ((mode & 0x04) != 0 && value(Alternate).toBool())
        mode |= 0x01;
    QByteArray data;
    data.append(static_cast<char>(mode & 0xFF));
    data.append(static_cast<char>(variantToInt(value(Duty)) & 0xFF));
    return data;
}
