#pragma once

#include "FtdiD2xx.h"
#include "USBResult.h"

#include <QByteArray>
#include <QString>

// The D2XX operations that the direct and the buffered socket perform alike on their handle.
class FtdiHandleOperations
{
public:
    // The serial number in the chip's EEPROM; empty for a chip type without one we can read, or
    // when the read fails.
    static QString readEepromSerialNumber(FT_HANDLE handle, FT_DEVICE type);

    // Configures channel A of an FT2232H as a 245 FIFO: bit-mode reset, the transfer settings'
    // latency and USB transfer size, RTS/CTS flow control.
    static FT_STATUS configureFifo(FT_HANDLE handle);

    // Closes and forgets the handle; nothing happens without one.
    static void close(FT_HANDLE& handle);
    static void cyclePortAndClose(FT_HANDLE& handle);
    // No outcome without a handle; otherwise the receive and transmit queue counts as category
    // and code.
    static USBResult status(FT_HANDLE handle);
    static uint32_t purge(FT_HANDLE handle);
    // These throw a USBResult: "Device not open", the D2XX status, or "Communication timed out".
    static void writeByte(FT_HANDLE handle, uint8_t byte);
    static int write(FT_HANDLE handle, QByteArray data);
    // Reads exactly count bytes; fewer throw failure(shortReadMessage).
    static void readExactly(
        FT_HANDLE handle, char* buffer, int count, const QString& shortReadMessage);
    static int queueStatus(FT_HANDLE handle);

    static const QString& deviceNotOpen();
    static const QString& communicationTimedOut();
};
