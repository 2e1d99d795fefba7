#include "FtdiHandle.h"

namespace {

constexpr uint8_t kOut = LIBUSB_REQUEST_TYPE_VENDOR | LIBUSB_RECIPIENT_DEVICE | LIBUSB_ENDPOINT_OUT;
constexpr uint8_t kResetRequest = 0x00;
constexpr int kControlTimeoutMs = 5000;

ftdi_chip_type chipTypeOf(FT_DEVICE type)
{
    switch (type) {
    case FT_DEVICE_AM:
        return TYPE_AM;
    case FT_DEVICE_2232C:
        return TYPE_2232C;
    case FT_DEVICE_232R:
        return TYPE_R;
    case FT_DEVICE_2232H:
        return TYPE_2232H;
    case FT_DEVICE_4232H:
        return TYPE_4232H;
    case FT_DEVICE_232H:
        return TYPE_232H;
    case FT_DEVICE_X_SERIES:
        return TYPE_230X;
    default:
        return TYPE_BM;
    }
}

} // namespace

FtdiHandle::FtdiHandle(const FtdiDeviceList::Entry& entry, ftdi_context* ftdi)
    : m_ftdi(ftdi), m_device(entry.device), m_interface(entry.interface), m_node(entry.node)
{ }

FT_STATUS FtdiHandle::open(const FtdiDeviceList::Entry& entry, std::shared_ptr<FtdiHandle>* handle)
{
    ftdi_context* ftdi = ftdi_new();
    if (!ftdi)
        return FT_INSUFFICIENT_RESOURCES;
    std::shared_ptr<FtdiHandle> opened(new FtdiHandle(entry, ftdi));
    ftdi_set_interface(ftdi, entry.interface);
    libusb_device_handle* usb = nullptr;
    if (libusb_open(entry.device.get(), &usb) != 0)
        return FT_DEVICE_NOT_OPENED;
    // libusb gives the kernel's serial driver its interface back when we release it.
    libusb_set_auto_detach_kernel_driver(usb, 1);
    if (libusb_claim_interface(usb, ftdi->interface) != 0) {
        libusb_close(usb);
        return FT_DEVICE_NOT_OPENED;
    }
    ftdi_set_usbdev(ftdi, usb);
    ftdi->type = chipTypeOf(FT_DEVICE(entry.node.Type));
    const int packet = libusb_get_max_packet_size(entry.device.get(), ftdi->out_ep);
    ftdi->max_packet_size = packet > 0 ? unsigned(packet) : 64;
    // A single-channel chip takes its requests at port 0, as FTDI's library sends them; libftdi
    // would say port 1, which the chip treats alike.
    if (entry.interface == INTERFACE_ANY)
        ftdi->index = 0;
    opened->m_receiver
        = std::make_unique<FtdiReceiver>(usb, uint8_t(ftdi->out_ep), int(ftdi->max_packet_size));
    if (!opened->m_receiver->start())
        return FT_DEVICE_NOT_OPENED;
    *handle = std::move(opened);
    return FT_OK;
}

FtdiHandle::~FtdiHandle()
{
    if (m_receiver && !m_receiver->stop()) {
        // libusb still owns the transfer: the receiver must outlive it, so it is left behind.
        static_cast<void>(m_receiver.release());
    }
    // The interface is released before the device closes, as a chip expects of a host.
    if (m_ftdi->usb_dev)
        ftdi_usb_close(m_ftdi);
    ftdi_free(m_ftdi);
}

FT_STATUS FtdiHandle::vendorRequest(uint8_t request, uint16_t value)
{
    std::lock_guard<std::mutex> lock(m_requests);
    return libusb_control_transfer(m_ftdi->usb_dev, kOut, request, value, uint16_t(m_ftdi->index),
               nullptr, 0, kControlTimeoutMs)
            < 0
        ? FT_IO_ERROR
        : FT_OK;
}

FT_STATUS FtdiHandle::read(void* buffer, DWORD count, DWORD* returned)
{
    return m_receiver->read(buffer, count, returned, m_readTimeout);
}

FT_STATUS FtdiHandle::write(const void* buffer, DWORD count, DWORD* written)
{
    if (m_receiver->isGone())
        return FT_IO_ERROR;
    std::lock_guard<std::mutex> lock(m_writes);
    int sent = 0;
    const int result = libusb_bulk_transfer(m_ftdi->usb_dev, uint8_t(m_ftdi->in_ep),
        static_cast<unsigned char*>(const_cast<void*>(buffer)), int(count), &sent,
        unsigned(m_writeTimeout));
    *written = DWORD(sent);
    // A write time-out is no failure: the count tells the caller what went out.
    return result == 0 || result == LIBUSB_ERROR_TIMEOUT ? FT_OK : FT_IO_ERROR;
}

FT_STATUS FtdiHandle::purge(ULONG mask)
{
    // The chip's own meaning of the request, as FTDI's library uses it: 1 empties what the chip
    // holds for the host, 2 what the host sent it.
    if ((mask & FT_PURGE_RX) && vendorRequest(kResetRequest, 1) != FT_OK)
        return FT_IO_ERROR;
    if ((mask & FT_PURGE_TX) && vendorRequest(kResetRequest, 2) != FT_OK)
        return FT_IO_ERROR;
    if (mask & FT_PURGE_RX)
        m_receiver->clear();
    return FT_OK;
}

FT_STATUS FtdiHandle::setFlowControl(USHORT flowControl, UCHAR xon, UCHAR xoff)
{
    std::lock_guard<std::mutex> lock(m_requests);
    const int result = flowControl == FT_FLOW_XON_XOFF ? ftdi_setflowctrl_xonxoff(m_ftdi, xon, xoff)
                                                       : ftdi_setflowctrl(m_ftdi, flowControl);
    if (result < 0)
        return FT_IO_ERROR;
    // With RTS/CTS handshaking the host raises RTS at once, so that the device may send, as
    // FTDI's library does.
    if (flowControl == FT_FLOW_RTS_CTS && ftdi_setrts(m_ftdi, 1) < 0)
        return FT_IO_ERROR;
    return FT_OK;
}

void FtdiHandle::setTimeouts(ULONG readMs, ULONG writeMs)
{
    m_readTimeout = readMs;
    m_writeTimeout = writeMs;
}

FT_STATUS FtdiHandle::cyclePort()
{
    std::lock_guard<std::mutex> lock(m_requests);
    // The chip enumerates again; this handle is gone afterwards and only good for closing.
    const int result = libusb_reset_device(m_ftdi->usb_dev);
    return result == 0 || result == LIBUSB_ERROR_NOT_FOUND ? FT_OK : FT_IO_ERROR;
}
