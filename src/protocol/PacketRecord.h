#pragma once

#include <QByteArray>

#include <cstdint>

// One packet received from a unit: a reply (type 5) or a stream packet (types 7 and 8).
struct PacketRecord
{
    uint8_t type = 0;
    // The request id of a reply; 0 for stream packets.
    int id = 0;
    // The unit's status byte of a reply; 0 for stream packets.
    uint8_t status = 0;
    // The payload length announced by the header.
    int length = 0;
    QByteArray data;
};
