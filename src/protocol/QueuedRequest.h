#pragma once

#include "USBICommRequest.h"

#include <QObject>
#include <QPointer>

#include <memory>

// One entry of the protocol's request queue.
struct QueuedRequest
{
    // The request's id at the time of posting.
    int id = 0;
    std::shared_ptr<USBICommRequest> request;
    // Gets the request event; a destroyed receiver gets nothing.
    QPointer<QObject> receiver;
};
