#pragma once

#include "FtdiDeviceList.h"
#include "FtdiReceiver.h"

#include "FtdiD2xx.h"

#include <ftdi.h>
#include <libusb.h>

#include <atomic>
#include <memory>
#include <mutex>

// One open channel of a chip: a libftdi context on the claimed interface, its receive queue and
// its time-outs. Requests to the chip are serialised per handle; reads wait on the receive queue
// without holding them, so that one thread may read while another writes or configures, as with
// FTDI's library.
class FtdiHandle
{
public:
    static FT_STATUS open(const FtdiDeviceList::Entry& entry, std::shared_ptr<FtdiHandle>* handle);
    ~FtdiHandle();
    FtdiHandle(const FtdiHandle&) = delete;
    FtdiHandle& operator=(const FtdiHandle&) = delete;

    const libusb_device* device() const { return m_device.get(); }
    ftdi_interface interface() const { return m_interface; }
    const FT_DEVICE_LIST_INFO_NODE& node() const { return m_node; }

    // Runs a libftdi call on the channel's context under the handle's request lock; a negative
    // result becomes failure, FT_IO_ERROR unless given.
    template <typename Call> FT_STATUS request(Call call, FT_STATUS failure = FT_IO_ERROR)
    {
        std::lock_guard<std::mutex> lock(m_requests);
        return call(m_ftdi) < 0 ? failure : FT_OK;
    }
    // A vendor request as FTDI's library words it, to the channel's port.
    FT_STATUS vendorRequest(uint8_t request, uint16_t value);

    FT_STATUS read(void* buffer, DWORD count, DWORD* returned);
    FT_STATUS write(const void* buffer, DWORD count, DWORD* written);
    FT_STATUS purge(ULONG mask);
    DWORD queued() const { return m_receiver->queued(); }
    FT_STATUS setFlowControl(USHORT flowControl, UCHAR xon, UCHAR xoff);
    void setTimeouts(ULONG readMs, ULONG writeMs);
    void setTransferSize(ULONG inTransferSize) { m_receiver->setTransferSize(inTransferSize); }
    FT_STATUS cyclePort();

    // The EEPROM calls run on the context under the request lock.
    template <typename Call> FT_STATUS withContext(Call call)
    {
        std::lock_guard<std::mutex> lock(m_requests);
        return call(m_ftdi, FT_DEVICE(m_node.Type));
    }

private:
    FtdiHandle(const FtdiDeviceList::Entry& entry, ftdi_context* ftdi);

    ftdi_context* m_ftdi;
    std::shared_ptr<libusb_device> m_device;
    ftdi_interface m_interface;
    FT_DEVICE_LIST_INFO_NODE m_node;
    std::unique_ptr<FtdiReceiver> m_receiver;
    std::mutex m_requests;
    std::mutex m_writes;
    std::atomic<ULONG> m_readTimeout{0};
    std::atomic<ULONG> m_writeTimeout{0};
};
