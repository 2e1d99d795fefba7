#pragma once

#include "QueuedRequest.h"
#include "USBResult.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>

// Replaces the protocol's event posting for code that wants direct calls from the worker. The
// calls come from the worker thread, except requestFinished for a request that was never sent
// (no socket installed, or the protocol destroyed), which comes from that caller's thread.
class USBIProtocolObserver
{
public:
    virtual ~USBIProtocolObserver();

    virtual void requestFinished(const QueuedRequest& entry, const USBResult& result) = 0;
    // The polling step failed; the worker ends after this call. The protocol's lock is held, so
    // this must not call back into the protocol. The socket is left open for the observer to
    // decide about.
    virtual void workerFailed(const USBResult& result, QPointer<QObject>& errorReceiver) = 0;
    virtual void packetReceived(int id, QByteArray& data) = 0;
    // Whether packets of the id go to packetReceived rather than to a pending request.
    virtual bool acceptsPacket(int id) = 0;
};
