#include "USBFtdiChannelSocket.h"

#include "D2xxLibrary.h"
#include "FtdiHandleOperations.h"

#include <QElapsedTimer>
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

void USBFtdiChannelSocket::discardReceived()
{
    if (!m_handle)
        return;
    const D2xxLibrary& d2xx = D2xxLibrary::instance();
    d2xx.purge(m_handle, FT_PURGE_RX);
    // A read returns early only when its buffer fills; one that takes nothing in the quiet time
    // ends the drain.
    d2xx.setTimeouts(m_handle, DrainQuietMs, m_timeoutMs);
    QElapsedTimer timer;
    timer.start();
    char dropped[64];
    DWORD received = 0;
    do {
        received = 0;
        if (d2xx.read(m_handle, dropped, sizeof dropped, &received) != FT_OK)
            break;
    } while (received > 0 && timer.elapsed() < DrainLimitMs);
    d2xx.setTimeouts(m_handle, m_timeoutMs, m_timeoutMs);
}

uint32_t USBFtdiChannelSocket::applyTimeouts()
{
    return D2xxLibrary::instance().setTimeouts(m_handle, m_timeoutMs, m_timeoutMs);
}

uint32_t USBFtdiChannelSocket::applyTimeoutsAgain()
{
    return applyTimeouts();
}
