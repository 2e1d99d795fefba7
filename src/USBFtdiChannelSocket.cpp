#include "USBFtdiChannelSocket.h"

#include "D2xxLibrary.h"
#include "FtdiHandleOperations.h"

#include <QThread>

USBFtdiChannelSocket::USBFtdiChannelSocket(uint32_t deviceIndex, uint32_t timeoutMs)
    : m_deviceIndex(deviceIndex)
    , m_handle(nullptr)
    , m_threadPriority(QThread::InheritPriority)
    , m_timeoutMs(timeoutMs)
{ }

USBResult USBFtdiChannelSocket::close()
{
    FtdiHandleOperations::close(m_handle);
    return USBResult();
}

void USBFtdiChannelSocket::cyclePortAndClose()
{
    FtdiHandleOperations::cyclePortAndClose(m_handle);
}

void USBFtdiChannelSocket::setThreadPriority(int priority)
{
    m_threadPriority = priority;
}

int USBFtdiChannelSocket::threadPriority() const
{
    return m_threadPriority;
}

uint32_t USBFtdiChannelSocket::deviceIndex() const
{
    return m_deviceIndex;
}

bool USBFtdiChannelSocket::isOpen() const
{
    return m_handle != nullptr;
}

USBResult USBFtdiChannelSocket::status()
{
    return FtdiHandleOperations::status(m_handle);
}

uint32_t USBFtdiChannelSocket::purge()
{
    return FtdiHandleOperations::purge(m_handle);
}

void USBFtdiChannelSocket::writeByte(uint8_t byte)
{
    FtdiHandleOperations::writeByte(m_handle, byte);
}

int USBFtdiChannelSocket::write(QByteArray data)
{
    return FtdiHandleOperations::write(m_handle, std::move(data));
}

uint32_t USBFtdiChannelSocket::applyTimeouts()
{
    return D2xxLibrary::instance().setTimeouts(m_handle, m_timeoutMs, m_timeoutMs);
}

uint32_t USBFtdiChannelSocket::applyTimeoutsAgain()
{
    return applyTimeouts();
}
