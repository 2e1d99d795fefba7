#pragma once

#include "USBResult.h"

#include <QByteArray>

#include <cstdint>
#include <memory>

// The byte channel to one FTDI chip channel. Reads and writes either move exactly the requested
// number of bytes or throw a USBResult. A socket has no lock of its own: one thread at a time.
class USBISocket
{
public:
    virtual ~USBISocket();

    // A new socket of the same class with copies of all members; it shares the D2XX handle.
    virtual std::shared_ptr<USBISocket> clone() const = 0;
    virtual USBResult open(int baudRate) = 0;
    // Always a success; closing a closed socket does nothing.
    virtual USBResult close() = 0;
    virtual void cyclePortAndClose() = 0;
    virtual void setThreadPriority(int priority) = 0;
    // A QThread::Priority value for a worker reading this socket.
    virtual int threadPriority() const = 0;
    // The D2XX list position that open() passes to FT_Open.
    virtual uint32_t deviceIndex() const = 0;
    virtual bool isOpen() const = 0;
    // On success: category = bytes in the receive queue, code = bytes in the transmit queue.
    virtual USBResult status() = 0;
    virtual uint32_t purge() = 0;
    virtual void writeByte(uint8_t byte) = 0;
    virtual int write(QByteArray data) = 0;
    virtual QByteArray read(int count) = 0;
    virtual void readInto(char* buffer, int count) = 0;
    // Appends what is waiting, up to a total array size of wanted; returns the bytes appended.
    virtual int readAvailable(QByteArray& array, int wanted) = 0;
    virtual int bytesAvailable() = 0;
    // Waits up to timeoutMs for one byte and reads it; false when none arrived in time. Throws a
    // USBResult when the link fails. This default asks for the queue and, when it is empty, waits
    // in steps of 1 ms; sockets on D2XX block in the read instead.
    virtual bool waitForByte(char* byte, int timeoutMs);
    // Drops every byte received and not yet read, and then what still arrives until the link has
    // been quiet for DrainQuietMs (DrainLimitMs at most), so that the next read starts afresh
    // even when the rest of a broken packet was still on the line. Failures are ignored: the next
    // exchange reports a dead link itself.
    virtual void discardReceived();

    // A byte on the line reaches the host within the latency timer the library sets (2 ms) and
    // the next USB frame.
    static constexpr int DrainQuietMs = 3;
    static constexpr int DrainLimitMs = 10;
    virtual uint32_t applyTimeouts() = 0;
    virtual uint32_t applyTimeoutsAgain() = 0;
    virtual void setBlockSize(uint32_t size) = 0;
};
