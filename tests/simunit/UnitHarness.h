#pragma once

#include "SimUnit.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <memory>

// Request packets as the host frames them, and the unit's replies taken apart, so that the
// tests below speak to the firmware in wire bytes only.
namespace UnitHarness {

struct Reply
{
    bool complete = false;
    quint32 id = 0;
    int status = -1;
    QByteArray data;
};

inline QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text));
}

inline QByteArray request(quint32 id, int instruction, const QByteArray& data = QByteArray())
{
    QByteArray packet;
    packet.append('\x05');
    for (int shift = 0; shift < 32; shift += 8)
        packet.append(static_cast<char>((id >> shift) & 0xFF));
    packet.append(static_cast<char>(instruction));
    packet.append(static_cast<char>(data.size() & 0xFF));
    packet.append(static_cast<char>((data.size() >> 8) & 0xFF));
    packet.append(data);
    return packet;
}

// A reply packet checked for its frame: type 5 and a length field that matches the payload.
inline Reply parse(const QByteArray& packet)
{
    Reply reply;
    if (packet.size() < 8 || packet.at(0) != 0x05)
        return reply;
    const auto byte = [&packet](int i) { return static_cast<quint32>(static_cast<quint8>(packet.at(i))); };
    reply.id = byte(1) | byte(2) << 8 | byte(3) << 16 | byte(4) << 24;
    reply.status = static_cast<int>(byte(5));
    const int length = static_cast<int>(byte(6) | byte(7) << 8);
    reply.data = packet.mid(8);
    reply.complete = reply.data.size() == length;
    return reply;
}

inline std::unique_ptr<SimUnit> unit(const char* json)
{
    return SimUnit::create(QJsonDocument::fromJson(QByteArray(json)).object());
}

// One request, exactly one whole reply with the same id.
inline Reply exchange(SimUnit& unit, int instruction, const QByteArray& data = QByteArray())
{
    static quint32 nextId = 101;
    const quint32 id = nextId++;
    const QList<QByteArray> replies = unit.receive(0, request(id, instruction, data));
    EXPECT_EQ(replies.size(), 1) << "instruction " << instruction;
    if (replies.size() != 1)
        return Reply{};
    const Reply reply = parse(replies.first());
    EXPECT_TRUE(reply.complete);
    EXPECT_EQ(reply.id, id);
    return reply;
}

inline std::string text(const QByteArray& bytes)
{
    return bytes.toHex(' ').toStdString();
}

} // namespace UnitHarness
