#pragma once

#include "KavraDriver_Cedar_HVBusTraits.h"

#include <Properties>

#include <QByteArray>

// The level of a Cedar unit's internal high-voltage bus; it bounds the output voltages.
class KavraDriver_Cedar_HVBus : public Properties<KavraDriver_Cedar_HVBusTraits>,
                                public KavraDriver_Cedar_HVBusTraits
{
public:
    enum Index { Level = 0 };
    // The highest output voltage of the highest level.
    static constexpr double HighestVoltageOfAnyLevel = 125.0;

    // Level 0.
    KavraDriver_Cedar_HVBus();
    // From the one byte that the unit reports.
    explicit KavraDriver_Cedar_HVBus(const QByteArray& data);
    KavraDriver_Cedar_HVBus(const KavraDriver_Cedar_HVBus&) = default;
    KavraDriver_Cedar_HVBus& operator=(const KavraDriver_Cedar_HVBus&) = default;
    ~KavraDriver_Cedar_HVBus() override;

    // One byte: the value of index Level.
    QByteArray encode() const;

    // The highest output voltage the level allows: 75, 100 or 125; unknown levels give 75.
    double highestVoltage() const;
};
