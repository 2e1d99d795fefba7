#pragma once

#include <QByteArray>
#include <QString>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

// Number conversions shared by the family records. Doubles reach these from callers and from
// calibration arithmetic (a zero gain gives infinities), so every cast is guarded: a plain cast of
// a double that does not fit the target type is undefined behaviour.
namespace KavraDriver_Conversions {

// Truncates toward zero into 64 bits; NaN gives 0, values beyond the range saturate.
inline int64_t truncateToInt64(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 9223372036854775807.0)
        return std::numeric_limits<int64_t>::max();
    if (value <= -9223372036854775808.0)
        return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(value);
}

// Truncates toward zero and keeps the low 16 bits, as a word of an instruction carries it.
inline quint16 truncateToWord(double value)
{
    return static_cast<quint16>(static_cast<uint64_t>(truncateToInt64(value)) & 0xFFFFu);
}

// Saturating conversion of an already whole number to int.
inline int clampToInt(int64_t value)
{
    if (value > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (value < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

// Readings are rounded to the nearest whole number with halves toward positive infinity
// (-2.5 gives -2), so that a reading and its negation may differ by one at a half.
inline int roundHalfUp(double value)
{
    return clampToInt(truncateToInt64(std::floor(value + 0.5)));
}

// Writes a little-endian word at out, which must have room for two bytes; returns the byte after
// it. For records of a fixed length, which size their array once.
inline char* putWord(char* out, quint16 value)
{
    out[0] = static_cast<char>(value & 0xFF);
    out[1] = static_cast<char>((value >> 8) & 0xFF);
    return out + 2;
}

// A reply word read as the signed 16-bit number that the unit sent.
inline int signedWord(quint16 word)
{
    return word >= 0x8000u ? static_cast<int>(word) - 0x10000 : static_cast<int>(word);
}

// Copies a status text into a caller's buffer in Latin-1 with a closing zero byte. The caller
// promises room for the longest text its family reports; a null buffer is left alone.
inline void copyLatin1(const QString& text, char* buffer)
{
    if (!buffer)
        return;
    const QByteArray bytes = text.toLatin1();
    std::memcpy(buffer, bytes.constData(), static_cast<size_t>(bytes.size()));
    buffer[bytes.size()] = '\0';
}

// The voltage and current that raw converter readings stand for, through a unit's calibration
// words (the gains and offsets in the units the units store them).
struct Readings
{
    double voltage;
    double current;
};

inline Readings convertReadings(int rawVoltage, int rawCurrent, double voltageGain,
    double voltageOffset, double currentCoupling, double currentGain, double currentOffset)
{
    const double voltageScale = voltageGain / 1000.0;
    const double voltage = (rawVoltage - voltageOffset / 10.0) / voltageScale;
    const double current
        = (rawCurrent - currentOffset / 10.0 - voltageScale * voltage * currentCoupling / 16384.0)
        / (currentGain / 100.0);
    return {voltage, current};
}

// The status text of a single-output unit's error code.
inline QString supplyStatusText(int errorCode)
{
    switch (errorCode) {
    case 0:
        return QStringLiteral("No error");
    case 1:
        return QStringLiteral("Output short circuit");
    default:
        return QStringLiteral("Unknown error");
    }
}

// The two bytes of a PWM setting: the mode byte (bit 0 added when bit 2 is set and the alternate
// flag is true), then the low byte of the duty.
inline QByteArray encodePwm(int mode, bool alternate, int duty)
{
    if ((mode & 0x04) != 0 && alternate)
        mode |= 0x01;
    QByteArray data;
    data.append(static_cast<char>(mode & 0xFF));
    data.append(static_cast<char>(duty & 0xFF));
    return data;
}

} // namespace KavraDriver_Conversions
