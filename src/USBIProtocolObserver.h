#pragma once

#include "QueuedRequest.h"
#include "USBResult.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>

// Replaces the protocol's event posting for code that wants direct calls from the worker.
class USBIProtocolObserver
{
public:
    virtual ~USBIProtocolObserver();

    virtual void requestFinished(const QueuedRequest& entry, const USBResult& result) = 0;
    // The polling step failed; the worker ends after this call.
    virtual void workerFailed(const USBResult& result, QPointer<QObject>& errorReceiver) = 0;
    virtual void packetReceived(int id, QByteArray& data) = 0;
    // Whether packets of the id go to packetReceived rather than to a pending request.
    virtual bool acceptsPacket(int id) = 0;
};
