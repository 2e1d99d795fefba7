#pragma once

// Type 5 packets as both sides frame them, for every suite: a request from the host carries an
// instruction code where a reply from the unit carries its status byte.

#include <QByteArray>

#include <cstdint>

namespace Packets {

// A little-endian word of the data.
inline int wordAt(const QByteArray& data, int i)
{
    return static_cast<uint8_t>(data.at(i)) | static_cast<uint8_t>(data.at(i + 1)) << 8;
}

// Type 5, the 32-bit id, the code, the 16-bit payload length, the payload; little-endian.
inline QByteArray packet(uint32_t id, int code, const QByteArray& payload = QByteArray())
{
    QByteArray out(1, char(0x05));
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>((id >> (8 * i)) & 0xFF));
    out.append(static_cast<char>(code));
    out.append(static_cast<char>(payload.size() & 0xFF));
    out.append(static_cast<char>((payload.size() >> 8) & 0xFF));
    return out + payload;
}

inline uint32_t packetId(const QByteArray& packet)
{
    return static_cast<uint32_t>(wordAt(packet, 1))
        | static_cast<uint32_t>(wordAt(packet, 3)) << 16;
}

} // namespace Packets
