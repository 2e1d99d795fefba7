#pragma once

#include "FirmwareFactory.h"
#include "Packets.h"

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

inline QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text));
}
inline std::string text(const QByteArray& bytes)
{
    return bytes.toHex(' ').toStdString();
}

using Packets::wordAt;

inline Reply parse(const QByteArray& packet)
{
    Reply reply;
    if (packet.size() < 8 || packet.at(0) != 0x05)
        return reply;
    reply.id = Packets::packetId(packet);
    reply.status = static_cast<quint8>(packet.at(5));
    reply.data = packet.mid(8);
    reply.complete = reply.data.size() == wordAt(packet, 6);
    return reply;
}

inline std::unique_ptr<SimUnit> unit(const char* json)
{
    return FirmwareFactory::create(QJsonDocument::fromJson(QByteArray(json)).object());
}

// One request; exactly one whole reply with the same id.
inline Reply exchange(SimUnit& unit, int instruction, const QByteArray& data = QByteArray())
{
    static quint32 nextId = 101;
    const quint32 id = nextId++;
    const QList<QByteArray> replies = unit.receive(0, Packets::packet(id, instruction, data));
    EXPECT_EQ(replies.size(), 1) << "instruction " << instruction;
    const Reply reply = replies.size() == 1 ? parse(replies.first()) : Reply{};
    EXPECT_TRUE(reply.complete);
    EXPECT_EQ(reply.id, id);
    return reply;
}

// A reply of a configured unit: its data size, and the bytes it carries at an offset (negative:
// from the end).
struct ReplyCase
{
    const char* name;
    const char* config;
    int instruction;
    int size;
    int offset;
    QByteArray bytes;
};

inline void expectReply(const ReplyCase& c)
{
    SCOPED_TRACE(c.name);
    const Reply reply = exchange(*unit(c.config), c.instruction);
    EXPECT_EQ(reply.status, 0);
    ASSERT_EQ(reply.data.size(), c.size);
    EXPECT_EQ(text(reply.data.mid(c.offset < 0 ? c.size + c.offset : c.offset, c.bytes.size())),
        text(c.bytes));
}

} // namespace UnitHarness
