#pragma once

#include "USBDefaultCommRequest.h"

// A request whose id and reply form the fuzz input chooses, so that scripted replies can match it.
// Status 0 succeeds, any other fails.
class FuzzRequest : public USBDefaultCommRequest
{
public:
    FuzzRequest(int id, int replyLength, bool variableReply);
    ~FuzzRequest() override;

    bool isRaw() const override;
    uint8_t instructionCode() const override;
    QByteArray payload() const override;
    USBResult checkStatus(uint8_t status) const override;
    int expectedReplyLength() const override;
    bool hasVariableReply() const override;
    int id() const override;

private:
    int m_id;
    int m_replyLength;
    bool m_variableReply;
};
