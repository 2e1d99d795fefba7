#pragma once

#include "USBICommRequest.h"

#include <QMutex>

// Base of the device families' requests: id, reply data, result and finished flag.
// The result and the finished flag are guarded so that a thread may poll a queued request.
class USBDefaultCommRequest : public USBICommRequest
{
public:
    USBDefaultCommRequest();
    ~USBDefaultCommRequest() override;

    bool isInstruction(int instruction) const override;
    void setReplyData(const QByteArray& data) override;
    QByteArray replyData() const override;
    bool hasVariableReply() const override;
    USBResult processVariableReply(const QByteArray& data) override;
    USBResult readRawReply(std::shared_ptr<USBISocket> socket) override;
    int id() const override;
    void setResult(const USBResult& result) override;
    bool isFinished() const override;
    USBResult result() const override;

private:
    mutable QMutex m_mutex;
    int m_id;
    QByteArray m_replyData;
    USBResult m_result;
    bool m_finished;
};
