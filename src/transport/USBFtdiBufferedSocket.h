#pragma once

#include "FtdiD2xx.h"
#include "USBFtdiChannelSocket.h"

// The socket on channel A of a dual-channel FT2232H, a 245 FIFO that answers each zero byte
// written to it with one block of its unit's stream. Reads request blocks as they need them;
// callers see plain counted reads.
class USBFtdiBufferedSocket : public USBFtdiChannelSocket
{
public:
    // Read and write time-outs, milliseconds: a block is either there at once or not at all.
    static constexpr uint32_t Timeout = 200;

    explicit USBFtdiBufferedSocket(uint32_t deviceIndex);
    ~USBFtdiBufferedSocket() override;

    std::shared_ptr<USBISocket> clone() const override;
    // The baud rate means nothing to a FIFO and is ignored.
    USBResult open(int baudRate) override;
    // Not supported: the stream is read in blocks through readInto.
    QByteArray read(int count) override;
    void readInto(char* buffer, int count) override;
    // Not supported.
    int readAvailable(QByteArray& array, int wanted) override;
    // Requests a block if none is pending, then reports the receive queue.
    int bytesAvailable() override;
    // The block pending is dropped with the rest: the next read requests a new one.
    void discardReceived() override;
    void setBlockSize(uint32_t size) override;

    uint32_t blockSize() const { return m_blockSize; }
    // Bytes of the last requested block not yet read.
    uint32_t blockRemaining() const { return m_blockRemaining; }

private:
    // Writes the zero byte that asks the unit for the next block, unless one is still pending.
    void requestBlock();

    uint32_t m_blockSize;
    uint32_t m_blockRemaining;
};
