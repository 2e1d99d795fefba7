#pragma once

#include "SimUnit.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <memory>

// Request packets as the host frames them and the unit's replies taken apart, so that the tests
// speak to the firmware in wire bytes only.
namespace UnitHarness {

struct Reply
{
    bool complete = false;
    quint32 id = 0;
    int status = -1;
    QByteArray data;
};

inline QByteArray hex(const char* text) { return QByteArray::fromHex(QByteArray(text)); }
inline std::string text(const QByteArray& bytes) { return bytes.toHex(' ').toStdString(); }

inline void appendWord(QByteArray& data, long value)
{
    data.append(static_cast<char>(value & 0xFF));
    data.append(static_cast<char>((value >> 8) & 0xFF));
}

inline int wordAt(const QByteArray& data, int i)
{
    return static_cast<quint8>(data.at(i)) | static_cast<quint8>(data.at(i + 1)) << 8;
}

inline QByteArray request(quint32 id, int instruction, const QByteArray& data = QByteArray())
{
    QByteArray packet(1, '\x05');
    appendWord(packet, id & 0xFFFF);
    appendWord(packet, id >> 16);
    packet.append(static_cast<char>(instruction));
    appendWord(packet, data.size());
    return packet + data;
}

inline Reply parse(const QByteArray& packet)
{
    Reply reply;
    if (packet.size() < 8 || packet.at(0) != 0x05)
        return reply;
    reply.id = static_cast<quint32>(wordAt(packet, 1)) | static_cast<quint32>(wordAt(packet, 3)) << 16;
    reply.status = static_cast<quint8>(packet.at(5));
    reply.data = packet.mid(8);
    reply.complete = reply.data.size() == wordAt(packet, 6);
    return reply;
}

inline std::unique_ptr<SimUnit> unit(const char* json)
{
    return SimUnit::create(QJsonDocument::fromJson(QByteArray(json)).object());
}

// One request; exactly one whole reply with the same id.
inline Reply exchange(SimUnit& unit, int instruction, const QByteArray& data = QByteArray())
{
    static quint32 nextId = 101;
    const quint32 id = nextId++;
    const QList<QByteArray> replies = unit.receive(0, request(id, instruction, data));
    EXPECT_EQ(replies.size(), 1) << "instruction " << instruction;
    const Reply reply = replies.size() == 1 ? parse(replies.first()) : Reply{};
    EXPECT_TRUE(reply.complete);
    EXPECT_EQ(reply.id, id);
    return reply;
}

} // namespace UnitHarness
