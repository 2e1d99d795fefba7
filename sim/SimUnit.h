#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

// The firmware of one supply unit behind an emulated FTDI chip.
//
// The chip side (D2XX emulation) owns the unit (FirmwareFactory builds it), feeds it every byte
// the host writes and queues what it answers in the host's receive queue. The unit never blocks
// and never sleeps: timing, dropped, delayed and corrupted replies are the chip side's business,
// applied per reply.
//
// Links: channel 0 is the command link (the only channel of a single-channel chip, channel B of
// an FT2232H); channel 1 is the stream link (channel A of an FT2232H).
//
// Thread-safety: the chip side serialises all calls on one unit.
class SimUnit
{
public:
    virtual ~SimUnit() = default;

    // Bytes written by the host on a channel. Bytes may arrive split anywhere: the unit keeps a
    // partial packet until it is complete. Returns the replies in order, each one whole reply
    // (a type 5 packet, or the bytes of one stream block on channel 1).
    virtual QList<QByteArray> receive(int channel, const QByteArray& bytes) = 0;

    // Answers every later request with this instruction byte with the given status byte and no
    // data. A status below 0 removes the override.
    virtual void setStatusOverride(int instruction, int status) = 0;

    // Everything the unit holds (settings, outputs, readings, calibration), as JSON.
    virtual QJsonObject state() const = 0;

    // The unit's serial number text as its identification page carries it.
    virtual QString serialNumber() const = 0;
};
