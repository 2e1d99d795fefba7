#pragma once

#include "USBResult.h"

#include <cstdint>
#include <memory>

class QObject;
class USBICommRequest;
class USBISocket;
class USBIProtocolObserver;
class USBISocketPoller;

// Carries requests to a unit over a socket: synchronously on the caller's thread, or queued to a
// worker thread that reports through Qt events.
class USBIProtocol
{
public:
    virtual ~USBIProtocol();

    // The worker's pause after each pass, in microseconds.
    virtual void setPollInterval(uint32_t microseconds) = 0;
    virtual bool isRunning() const = 0;
    // Unsolicited packets of the id are posted to the receiver as stream events.
    virtual void addStreamReceiver(int id, QObject* receiver) = 0;
    virtual void removeStreamReceiver(int id) = 0;
    virtual void setErrorReceiver(QObject* receiver) = 0;
    // Only while the worker is not running. Not owned.
    virtual void setObserver(USBIProtocolObserver* observer) = 0;
    // Not owned.
    virtual void setPoller(USBISocketPoller* poller) = 0;
    virtual void startWorker() = 0;
    virtual void stopWorker() = 0;
    virtual std::shared_ptr<USBISocket> socket() = 0;
    // The synchronous exchange: never throws; the result is also stored in the request.
    virtual USBResult sendRequest(std::shared_ptr<USBICommRequest> request) = 0;
    virtual void postRequest(std::shared_ptr<USBICommRequest> request, QObject* receiver) = 0;
    virtual void clearRequests() = 0;
    virtual bool isIdle() = 0;
    virtual void waitForIdle() = 0;
    // Installs a clone of the socket, or with an empty reference removes it and ends the worker.
    virtual void setSocket(std::shared_ptr<USBISocket> socket) = 0;
};
