#pragma once

#include "USBISocketBinding.h"

#include <cstdint>
#include <memory>

class QObject;
class USBICommRequest;
class USBISocket;
class USBIProtocolObserver;
class USBISocketPoller;

// Carries requests to a unit over a socket: synchronously on the caller's thread, or queued to a
// worker thread that reports through Qt events. The driver sees only its socket binding.
class USBIProtocol : public USBISocketBinding
{
public:
    ~USBIProtocol() override;

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
    virtual void postRequest(std::shared_ptr<USBICommRequest> request, QObject* receiver) = 0;
    virtual bool isIdle() = 0;
    virtual void waitForIdle() = 0;
};
