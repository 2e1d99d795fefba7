#pragma once

#include <ftdi.h>
#include <libusb.h>

#include <thread>

// The process's one libusb context, owned by a libftdi context that also serves for listing, and
// the thread that handles its events: every open channel's receive transfer completes there.
// Created on first use and never destroyed, so that a D2XX call from a static destructor at exit
// still finds it.
class FtdiUsbContext
{
public:
    static FtdiUsbContext& instance();

    // Null when libusb could not be initialised.
    libusb_context* usb() const { return m_ftdi ? m_ftdi->usb_ctx : nullptr; }
    ftdi_context* lister() const { return m_ftdi; }

private:
    FtdiUsbContext();
    void handleEvents();

    ftdi_context* m_ftdi = nullptr;
    std::thread m_events;
};
