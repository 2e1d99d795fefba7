#pragma once

#include "KavraDriver_Cedar_VoltageTraits.h"

#include <Properties>

#include <QByteArray>

// An output setting of a Cedar unit: a constant voltage, or a waveform between two levels.
class KavraDriver_Cedar_Voltage : public Properties<KavraDriver_Cedar_VoltageTraits>,
                                  public KavraDriver_Cedar_VoltageTraits
{
public:
    // Waveform 0 is a constant output; 1 to 3 select the unit's waveforms.
    enum Index { Voltage = 0, Waveform = 1, SecondLevel = 2, Period = 3 };
    // Firmware of this version takes the voltage code alone; later firmware the waveform too.
    static constexpr int PlainFirmwareVersion = 1;

    // Voltage 0, constant, second level 0, period 1.
    KavraDriver_Cedar_Voltage();
    KavraDriver_Cedar_Voltage(const KavraDriver_Cedar_Voltage&) = default;
    KavraDriver_Cedar_Voltage& operator=(const KavraDriver_Cedar_Voltage&) = default;
    ~KavraDriver_Cedar_Voltage() override;

    // For firmware version 1 the two bytes of the voltage code; for any other version seven:
    // voltage code, waveform byte, period in milliseconds (word), code of the second level.
    QByteArray encode(int firmwareVersion) const;
    // The same bytes from plain values, without a record.
    static QByteArray encode(
        double voltage, int waveform, double secondLevel, double period, int firmwareVersion);
    // The second level and period of a new record.
    static constexpr double DefaultSecondLevel = 0.0;
    static constexpr double DefaultPeriod = 1.0;

    // The converter code of a voltage: x / 40 * 65535 / 4.096, at most 65535, cut toward zero
    // and kept to its low 16 bits.
    static quint16 voltageCode(double voltage);
};
