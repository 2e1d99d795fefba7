#pragma once

#include <QByteArray>
#include <QtGlobal>

// Little-endian field access for packet headers and instruction data. Readers take the offset
// from the caller after a length check; they never look past the end of the array.
namespace WireBytes {

inline quint8 byteAt(const QByteArray& data, int offset)
{
    return offset >= 0 && offset < data.size() ? static_cast<quint8>(data.at(offset)) : 0;
}

inline quint16 word(const QByteArray& data, int offset)
{
    return static_cast<quint16>(byteAt(data, offset) | (byteAt(data, offset + 1) << 8));
}

inline qint16 signedWord(const QByteArray& data, int offset)
{
    return static_cast<qint16>(word(data, offset));
}

inline quint32 dword(const QByteArray& data, int offset)
{
    return static_cast<quint32>(word(data, offset))
        | (static_cast<quint32>(word(data, offset + 2)) << 16);
}

inline void appendWord(QByteArray& data, int value)
{
    data.append(static_cast<char>(value & 0xFF));
    data.append(static_cast<char>((value >> 8) & 0xFF));
}

inline void appendDword(QByteArray& data, qint64 value)
{
    for (int shift = 0; shift < 32; shift += 8)
        data.append(static_cast<char>((value >> shift) & 0xFF));
}

// Big-endian, as the identification page carries its words.
inline void appendBigWord(QByteArray& data, int value)
{
    data.append(static_cast<char>((value >> 8) & 0xFF));
    data.append(static_cast<char>(value & 0xFF));
}

// A reading clamped into the signed 16-bit range of a converter word.
inline int clampSigned16(double value)
{
    return static_cast<int>(qBound(-32768.0, value, 32767.0));
}

inline int clampUnsigned16(double value)
{
    return static_cast<int>(qBound(0.0, value, 65535.0));
}

} // namespace WireBytes
