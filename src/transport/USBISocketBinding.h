#pragma once

#include "USBResult.h"

#include <memory>

class USBICommRequest;
class USBISocket;

// What the driver binds each socket of an open device to (a packet protocol): the driver hands
// it the socket, sends requests through it and unbinds it again. Declared here, below the
// protocols that implement it, so that the driver never reaches up into them.
class USBISocketBinding
{
public:
    virtual ~USBISocketBinding();

    // The synchronous exchange: never throws; the result is also stored in the request.
    virtual USBResult sendRequest(std::shared_ptr<USBICommRequest> request) = 0;
    virtual void clearRequests() = 0;
    // Installs a clone of the socket, or with an empty reference removes it and ends the worker.
    virtual void setSocket(std::shared_ptr<USBISocket> socket) = 0;
};
