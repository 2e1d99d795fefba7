#pragma once

#include "FtdiD2xx.h"

#include <libusb.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

// The receive side of one open channel, as FTDI's driver keeps it: a bulk IN transfer is always
// pending, the two status bytes that begin every packet are taken off, and the data waits in a
// queue that FT_Read, FT_GetQueueStatus and FT_Purge see. Completions arrive on the event thread
// of FtdiUsbContext. Thread-safe.
class FtdiReceiver
{
public:
    FtdiReceiver(libusb_device_handle* usb, unsigned char endpoint, int packetSize);
    ~FtdiReceiver();
    FtdiReceiver(const FtdiReceiver&) = delete;
    FtdiReceiver& operator=(const FtdiReceiver&) = delete;

    bool start();
    // Cancels the pending transfer and waits for it to end; false when it did not end in time,
    // and then the object must never be destroyed (libusb still holds it).
    bool stop();

    // Waits until count bytes are queued, the time-out (0: none) ends or the device is gone, and
    // hands over what is there.
    FT_STATUS read(void* buffer, DWORD count, DWORD* returned, ULONG timeoutMs);
    DWORD queued() const;
    void clear();
    // The size of the next IN transfers, a multiple of 64 bytes up to 64 KiB.
    void setTransferSize(ULONG size);
    bool isGone() const;
    // The modem and line status bytes of the last packet.
    uint16_t lineStatus() const;

private:
    static void LIBUSB_CALL completed(libusb_transfer* transfer);
    void take(const libusb_transfer& transfer);

    libusb_device_handle* const m_usb;
    const unsigned char m_endpoint;
    const int m_packetSize;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<unsigned char> m_queue;
    std::vector<unsigned char> m_buffer;
    libusb_transfer* m_transfer = nullptr;
    int m_transferSize = 4096;
    bool m_pending = false;
    bool m_stopping = false;
    bool m_gone = false;
    uint16_t m_lineStatus = 0;
};
