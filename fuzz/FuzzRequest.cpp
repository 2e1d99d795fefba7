#include "FuzzRequest.h"

FuzzRequest::FuzzRequest(int id, int replyLength, bool variableReply)
    : m_id(id), m_replyLength(replyLength), m_variableReply(variableReply)
{ }

FuzzRequest::~FuzzRequest() = default;

bool FuzzRequest::isRaw() const
{
    return false;
}

uint8_t FuzzRequest::instructionCode() const
{
    return 0x12;
}

QByteArray FuzzRequest::payload() const
{
    return QByteArray();
}

USBResult FuzzRequest::checkStatus(uint8_t status) const
{
    return status == 0 ? USBResult() : USBResult::failure(QStringLiteral("Status %1").arg(status));
}

int FuzzRequest::expectedReplyLength() const
{
    return m_replyLength;
}

bool FuzzRequest::hasVariableReply() const
{
    return m_variableReply;
}

int FuzzRequest::id() const
{
    return m_id;
}
