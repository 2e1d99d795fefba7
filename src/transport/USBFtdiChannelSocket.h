#pragma once

#include "FtdiD2xx.h"
#include "USBISocket.h"

// What the direct and the buffered socket share: the channel's D2XX list position, its handle,
// the worker priority its link asks for, and the calls that act on the handle alike.
class USBFtdiChannelSocket : public USBISocket
{
public:
    // Always a success; closing a closed socket does nothing.
    USBResult close() override;
    void cyclePortAndClose() override;
    void setThreadPriority(int priority) override;
    int threadPriority() const override;
    uint32_t deviceIndex() const override;
    bool isOpen() const override;
    USBResult status() override;
    uint32_t purge() override;
    void writeByte(uint8_t byte) override;
    int write(QByteArray data) override;
    // Purges the receive queue, then reads away what arrives until the link is quiet.
    void discardReceived() override;
    // Both set the socket's read and write time-out.
    uint32_t applyTimeouts() override;
    uint32_t applyTimeoutsAgain() override;

protected:
    USBFtdiChannelSocket(uint32_t deviceIndex, uint32_t timeoutMs);

    uint32_t m_deviceIndex;
    FT_HANDLE m_handle;
    int m_threadPriority;
    // Read and write time-out of the link, milliseconds.
    uint32_t m_timeoutMs;
};
