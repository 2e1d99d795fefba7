#include "KavraDriver_Cedar_HVBus.h"

#include <QtGlobal>

KavraDriver_Cedar_HVBus::KavraDriver_Cedar_HVBus()
{
    setValue(Level, 0);
}

KavraDriver_Cedar_HVBus::KavraDriver_Cedar_HVBus(const QByteArray& data) : KavraDriver_Cedar_HVBus()
{
    Q_ASSERT_X(data.count() == 1, "src/KavraDriver_Cedar_HVBus", "data.count() == 1");
    // A release build keeps the default rather than reading past a short reply.
    if (data.count() == 1)
        setValue(Level, static_cast<int>(static_cast<quint8>(data.at(0))));
}

KavraDriver_Cedar_HVBus::~KavraDriver_Cedar_HVBus() = default;

QByteArray KavraDriver_Cedar_HVBus::encode() const
{
    return QByteArray(1, static_cast<char>(variantToInt(value(Level)) & 0xFF));
}

double KavraDriver_Cedar_HVBus::highestVoltage() const
{
    switch (variantToInt(value(Level))) {
    case 1:
        return 100.0;
    case 2:
        return HighestVoltageOfAnyLevel;
    default:
        return 75.0;
    }
}
