#pragma once

#include <cstdint>

// USB transfer settings of the FIFO links, one record per process, fixed after creation.
class FtdiTransferSettings
{
public:
    static const FtdiTransferSettings& instance();

    // Milliseconds the chip holds a short packet back before sending it.
    uint8_t latencyTimer() const { return m_latencyTimer; }
    // Bytes of one USB IN transfer.
    uint32_t transferSize() const { return m_transferSize; }

private:
    FtdiTransferSettings();

    uint8_t m_latencyTimer;
    uint32_t m_transferSize;
};
