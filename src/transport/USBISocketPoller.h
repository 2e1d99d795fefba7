#pragma once

#include <memory>

class USBISocket;

// Replaces the worker's own packet reading between queued requests.
class USBISocketPoller
{
public:
    virtual ~USBISocketPoller();

    // Throws a USBResult to end the worker.
    virtual void poll(std::shared_ptr<USBISocket> socket) = 0;
};
