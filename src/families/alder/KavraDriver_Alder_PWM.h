#pragma once

#include "KavraDriver_Alder_PWMTraits.h"

#include <Properties>

#include <QByteArray>

// A PWM output setting of a Alder unit: the mode byte and the duty in percent.
class KavraDriver_Alder_PWM : public Properties<KavraDriver_Alder_PWMTraits>,
                              public KavraDriver_Alder_PWMTraits
{
public:
    // Alternate only matters in modes with bit 2 set, where it adds bit 0 to the mode byte.
    enum Index { Mode = 0, Duty = 1, Alternate = 2 };

    // Mode 2 (plain duty), duty 50.
    KavraDriver_Alder_PWM();
    KavraDriver_Alder_PWM(const KavraDriver_Alder_PWM&) = default;
    KavraDriver_Alder_PWM& operator=(const KavraDriver_Alder_PWM&) = default;
    ~KavraDriver_Alder_PWM() override;

    // Two bytes: the mode byte, then the low byte of the duty.
    QByteArray encode() const;
};
