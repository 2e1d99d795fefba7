#include "USBFtdiBufferedSocket.h"

#include "D2xxLibrary.h"
#include "FtdiHandleOperations.h"
#include "USBSerialNumber.h"

#include <QThread>

USBFtdiBufferedSocket::USBFtdiBufferedSocket(uint32_t deviceIndex)
    : USBFtdiChannelSocket(deviceIndex, Timeout), m_blockSize(0), m_blockRemaining(0)
{ }

USBFtdiBufferedSocket::~USBFtdiBufferedSocket() = default;

std::shared_ptr<USBISocket> USBFtdiBufferedSocket::clone() const
{
    return std::make_shared<USBFtdiBufferedSocket>(*this);
}

USBResult USBFtdiBufferedSocket::open(int baudRate)
{
    Q_UNUSED(baudRate);
    if (m_handle)
        return USBResult::failure(QStringLiteral("Device already open"));

    const D2xxLibrary& d2xx = D2xxLibrary::instance();
    FT_HANDLE handle = nullptr;
    FT_STATUS status = d2xx.open(static_cast<int>(m_deviceIndex), &handle);
    if (status != FT_OK) {
        FtdiHandleOperations::close(handle);
        return USBResult(status);
    }
    // A block requested before this open is gone with the old connection.
    m_blockRemaining = 0;

    FT_DEVICE type = FT_DEVICE_UNKNOWN;
    DWORD id = 0;
    char serialText[FT_SERIAL_BUFFER_SIZE] = {};
    char descriptionText[FT_DESCRIPTION_BUFFER_SIZE] = {};
    status = d2xx.getDeviceInfo(handle, &type, &id, serialText, descriptionText);
    if (status != FT_OK) {
        FtdiHandleOperations::close(handle);
        return USBResult(status);
    }
    Q_ASSERT_X(type == FT_DEVICE_2232H, "USBFtdiBufferedSocket.cpp", "device == FT_DEVICE_2232H");

    m_threadPriority = QThread::TimeCriticalPriority;
    // Only an FT2232H carries this link; any other chip is refused like a foreign one.
    const USBSerialNumber serial(type == FT_DEVICE_2232H
            ? FtdiHandleOperations::readEepromSerialNumber(handle, type)
            : QString());
    if (!serial.isValid()) {
        FtdiHandleOperations::close(handle);
        return USBResult::failure(QStringLiteral("Unknown USB serial number"));
    }

    m_handle = handle;
    status = FtdiHandleOperations::configureFifo(m_handle);
    if (status == FT_OK)
        status = FtdiHandleOperations::purge(m_handle);
    if (status != FT_OK) {
        FtdiHandleOperations::close(m_handle);
        return USBResult(status);
    }
    return USBResult(FT_OK);
}

QByteArray USBFtdiBufferedSocket::read(int count)
{
    Q_UNUSED(count);
    Q_ASSERT_X(false, "USBFtdiBufferedSocket.cpp", "0");
    return QByteArray();
}

void USBFtdiBufferedSocket::requestBlock()
{
    if (m_blockRemaining > 0)
        return;
    Q_ASSERT_X(m_blockSize > 0, "USBFtdiBufferedSocket.cpp", "m_blockSize > 0");
    if (m_blockSize == 0)
        throw USBResult(FT_INVALID_PARAMETER); // no block size: a request would never end
    writeByte(0);
    m_blockRemaining = m_blockSize;
}

void USBFtdiBufferedSocket::readInto(char* buffer, int count)
{
    if (!m_handle)
        throw USBResult::failure(FtdiHandleOperations::deviceNotOpen());
    if (count <= 0)
        return;
    if (!buffer)
        throw USBResult(FT_INVALID_PARAMETER);

    static const QString timedOut = QStringLiteral("Reading data from device timed out");
    int offset = 0;
    while (offset < count) {
        requestBlock();
        const int chunk = static_cast<int>(
            qMin<uint32_t>(static_cast<uint32_t>(count - offset), m_blockRemaining));
        FtdiHandleOperations::readExactly(m_handle, buffer + offset, chunk, timedOut);
        m_blockRemaining -= static_cast<uint32_t>(chunk);
        offset += chunk;
    }
}

int USBFtdiBufferedSocket::readAvailable(QByteArray& array, int wanted)
{
    Q_UNUSED(array);
    Q_UNUSED(wanted);
    Q_ASSERT_X(false, "USBFtdiBufferedSocket.cpp", "0");
    return 0;
}

int USBFtdiBufferedSocket::bytesAvailable()
{
    requestBlock();
    return FtdiHandleOperations::queueStatus(m_handle);
}

void USBFtdiBufferedSocket::discardReceived()
{
    USBFtdiChannelSocket::discardReceived();
    m_blockRemaining = 0;
}

void USBFtdiBufferedSocket::setBlockSize(uint32_t size)
{
    m_blockSize = size;
}
