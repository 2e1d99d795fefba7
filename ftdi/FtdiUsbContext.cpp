#include "FtdiUsbContext.h"

FtdiUsbContext& FtdiUsbContext::instance()
{
    static FtdiUsbContext* const context = new FtdiUsbContext();
    return *context;
}

FtdiUsbContext::FtdiUsbContext() : m_ftdi(ftdi_new())
{
    if (!m_ftdi)
        return;
    m_events = std::thread([this] { handleEvents(); });
    // The thread lives as long as the process; nothing ever joins it.
    m_events.detach();
}

void FtdiUsbContext::handleEvents()
{
    // Completions are delivered here while no caller waits in a synchronous transfer; libusb
    // hands the event lock between the threads that need it.
    for (;;)
        libusb_handle_events(m_ftdi->usb_ctx);
}
