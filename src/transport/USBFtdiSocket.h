#pragma once

#include "FtdiD2xx.h"
#include "USBFtdiChannelSocket.h"

// The direct socket: every read and write goes straight to the D2XX library. Opens a serial-port
// link (FT232R, FT-X, channel B of an FT2232H) or a FIFO link (FT232H, channel A of an FT2232H).
class USBFtdiSocket : public USBFtdiChannelSocket
{
public:
    // Flag bit 0: UART mode, for channel B of a dual-channel chip.
    static constexpr uint32_t UartMode = 0x1;
    // Read and write time-outs, milliseconds.
    static constexpr uint32_t Timeout = 1000;
    // read() takes fewer bytes than this.
    static constexpr int MaxReadCount = 4096;
    // readAvailable() appends at most this many bytes per call.
    static constexpr int MaxAvailableChunk = 10000;

    explicit USBFtdiSocket(uint32_t deviceIndex, uint32_t flags = 0);
    ~USBFtdiSocket() override;

    std::shared_ptr<USBISocket> clone() const override;
    USBResult open(int baudRate) override;
    QByteArray read(int count) override;
    void readInto(char* buffer, int count) override;
    int readAvailable(QByteArray& array, int wanted) override;
    int bytesAvailable() override;
    // Blocks in FT_Read, which returns as soon as the byte arrives.
    bool waitForByte(char* byte, int timeoutMs) override;
    // Not supported by the direct socket.
    void setBlockSize(uint32_t size) override;

    uint32_t flags() const { return m_flags; }

private:
    // Configures the open handle for the chip type and the serial number's flow code.
    FT_STATUS configure(FT_DEVICE type, int baudRate, int flowCode);
    // The serial link the units use: 8 data bits, 1 stop bit, even parity.
    FT_STATUS configureSerialPort(int baudRate, USHORT flowControl);

    uint32_t m_flags;
};
