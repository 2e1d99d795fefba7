#include "USBDefaultCommRequest.h"

#include <QMutexLocker>

USBDefaultCommRequest::USBDefaultCommRequest() : m_id(nextRequestId()), m_finished(false) { }

USBDefaultCommRequest::~USBDefaultCommRequest() = default;

bool USBDefaultCommRequest::isInstruction(int) const
{
    return false;
}

void USBDefaultCommRequest::setReplyData(const QByteArray& data)
{
    m_replyData = data;
}

QByteArray USBDefaultCommRequest::replyData() const
{
    return m_replyData;
}

bool USBDefaultCommRequest::hasVariableReply() const
{
    return false;
}

USBResult USBDefaultCommRequest::processVariableReply(const QByteArray&)
{
    return USBResult();
}

USBResult USBDefaultCommRequest::readRawReply(std::shared_ptr<USBISocket>)
{
    return USBResult();
}

int USBDefaultCommRequest::id() const
{
    return m_id;
}

void USBDefaultCommRequest::setResult(const USBResult& result)
{
    QMutexLocker locker(&m_mutex);
    m_result = result;
    m_finished = true;
}

bool USBDefaultCommRequest::isFinished() const
{
    QMutexLocker locker(&m_mutex);
    return m_finished;
}

USBResult USBDefaultCommRequest::result() const
{
    QMutexLocker locker(&m_mutex);
    return m_result;
}
