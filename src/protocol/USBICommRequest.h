#pragma once

#include "USBResult.h"

#include <QByteArray>

#include <cstdint>
#include <memory>

class USBISocket;

// One instruction for a unit together with its outcome, as the packet protocol sees it.
class USBICommRequest
{
public:
    virtual ~USBICommRequest();

    // True: the instruction code and payload are written bare, and no reply is awaited.
    virtual bool isRaw() const = 0;
    virtual uint8_t instructionCode() const = 0;
    virtual QByteArray payload() const = 0;
    // Whether the request carries the given model-independent instruction number.
    virtual bool isInstruction(int instruction) const = 0;
    virtual void setReplyData(const QByteArray& data) = 0;
    virtual QByteArray replyData() const = 0;
    // Turns the status byte of the reply header into a success or the instruction's failure.
    virtual USBResult checkStatus(uint8_t status) const = 0;
    virtual int expectedReplyLength() const = 0;
    virtual bool hasVariableReply() const = 0;
    virtual USBResult processVariableReply(const QByteArray& data) = 0;
    // Lets a raw request read its own answer from a socket.
    virtual USBResult readRawReply(std::shared_ptr<USBISocket> socket) = 0;
    virtual int id() const = 0;
    // Stores the final outcome of an exchange; the request is finished from then on.
    virtual void setResult(const USBResult& result) = 0;
    virtual bool isFinished() const = 0;
    virtual USBResult result() const = 0;
    // Reserved for extensions; always empty.
    virtual std::shared_ptr<void> sharedExtension() const;

    // The next value of the process-wide request id counter (first 101).
    static int nextRequestId();
};
