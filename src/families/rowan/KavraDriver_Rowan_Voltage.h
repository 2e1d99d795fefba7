#pragma once

#include <QByteArray>

// A converter reading of a Rowan unit: the signed count it reports, in units of 1/200.
class KavraDriver_Rowan_Voltage
{
public:
    static constexpr int ReplyLength = 4;

    // From the 4-byte reply: a signed 32-bit count, least significant byte first.
    explicit KavraDriver_Rowan_Voltage(const QByteArray& data);

    double value() const { return m_value; }

private:
    double m_value = 0.0;
};
