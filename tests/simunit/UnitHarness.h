#pragma once

#include "SimUnit.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

// Request packets as the host frames them, the unit's replies taken apart, and the host's own
// calibration arithmetic, so that the tests speak to the firmware in wire bytes only.
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

inline int signedWordAt(const QByteArray& data, int i) { return static_cast<qint16>(wordAt(data, i)); }

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

// Calibration words as the host holds them, with its encoding and decoding.
struct Words
{
    int voltageGain, voltageOffset, currentCoupling, currentGain, currentOffset;

    // The first five words of a voltage setting; sign -1 for a reversed output.
    QByteArray encode(int sign, int volts, int current) const
    {
        QByteArray data;
        appendWord(data, static_cast<long>(std::trunc(voltageGain / 1000.0 * sign * volts + voltageOffset / 10.0)));
        appendWord(data, static_cast<long>(std::trunc(currentGain / 100.0 * sign * current)));
        appendWord(data, voltageOffset / 10);
        appendWord(data, currentOffset / 10);
        appendWord(data, currentCoupling);
        return data;
    }

    // Raw readings back to whole volts and current units, halves rounded upward.
    std::pair<long, long> read(int rv, int ri, bool negate = false) const
    {
        const double v = (rv - voltageOffset / 10.0) / (voltageGain / 1000.0);
        const double i = (ri - currentOffset / 10.0 - (voltageGain / 1000.0) * v * currentCoupling / 16384.0)
            / (currentGain / 100.0);
        const double s = negate ? -1 : 1;
        return {static_cast<long>(std::floor(s * v + 0.5)), static_cast<long>(std::floor(s * i + 0.5))};
    }
};

} // namespace UnitHarness
