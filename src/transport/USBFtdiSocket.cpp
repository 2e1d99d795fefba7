#include "USBFtdiSocket.h"

#include "D2xxLibrary.h"
#include "FtdiHandleOperations.h"
#include "USBSerialNumber.h"

#include <QThread>

namespace {

// Serial-port links: small transfers keep replies prompt.
constexpr ULONG kUartInTransferSize = 0x2000;
constexpr ULONG kUartOutTransferSize = 0x100;
constexpr UCHAR kUartLatencyTimer = 2;
constexpr UCHAR kAllPins = 0xFF;
// Between the bit-mode reset and the switch to synchronous FIFO mode the chip needs a moment:
// FTDI's application note AN_130 (FT2232H/FT232H in synchronous 245 FIFO mode) waits 10 ms there
// in its set-up sequence. No other mode change needs a wait: the reset alone takes effect at once.
constexpr unsigned long kSyncFifoSettleMs = 10;

} // namespace

USBFtdiSocket::USBFtdiSocket(uint32_t deviceIndex, uint32_t flags)
    : USBFtdiChannelSocket(deviceIndex, Timeout), m_flags(flags)
{ }

USBFtdiSocket::~USBFtdiSocket() = default;

std::shared_ptr<USBISocket> USBFtdiSocket::clone() const
{
    return std::make_shared<USBFtdiSocket>(*this);
}

USBResult USBFtdiSocket::open(int baudRate)
{
    if (m_handle)
        return USBResult::failure(QStringLiteral("Device already open"));

    const D2xxLibrary& d2xx = D2xxLibrary::instance();
    FT_HANDLE handle = nullptr;
    FT_STATUS status = d2xx.open(static_cast<int>(m_deviceIndex), &handle);
    if (status != FT_OK) {
        FtdiHandleOperations::close(handle);
        return USBResult(status);
    }

    FT_DEVICE type = FT_DEVICE_UNKNOWN;
    DWORD id = 0;
    char serialText[FT_SERIAL_BUFFER_SIZE] = {};
    char descriptionText[FT_DESCRIPTION_BUFFER_SIZE] = {};
    status = d2xx.getDeviceInfo(handle, &type, &id, serialText, descriptionText);
    if (status != FT_OK) {
        FtdiHandleOperations::close(handle);
        return USBResult(status);
    }

    // FIFO links stream bursts: a reader of them needs the highest priority.
    if (type == FT_DEVICE_232H || (type == FT_DEVICE_2232H && !(m_flags & UartMode)))
        m_threadPriority = QThread::TimeCriticalPriority;

    const USBSerialNumber serial(FtdiHandleOperations::readEepromSerialNumber(handle, type));
    if (!serial.isValid()) {
        FtdiHandleOperations::close(handle);
        return USBResult::failure(QStringLiteral("Unknown USB serial number"));
    }

    m_handle = handle;
    status = configure(type, baudRate, serial.flowCode());
    if (status == FT_OK)
        status = FtdiHandleOperations::purge(m_handle);
    if (status != FT_OK) {
        FtdiHandleOperations::close(m_handle);
        return USBResult(status);
    }
    return USBResult(FT_OK);
}

FT_STATUS USBFtdiSocket::configure(FT_DEVICE type, int baudRate, int flowCode)
{
    const D2xxLibrary& d2xx = D2xxLibrary::instance();
    const USHORT flowControl = flowCode == 1 ? FT_FLOW_RTS_CTS : FT_FLOW_NONE;
    FT_STATUS status = FT_OK;

    if (type == FT_DEVICE_232H) {
        // Synchronous 245 FIFO.
        if ((status = d2xx.setBitMode(m_handle, kAllPins, FT_BITMODE_RESET)) != FT_OK)
            return status;
        QThread::msleep(kSyncFifoSettleMs);
        if ((status = d2xx.setBitMode(m_handle, kAllPins, FT_BITMODE_SYNC_FIFO)) != FT_OK)
            return status;
        if ((status = d2xx.setLatencyTimer(m_handle, kUartLatencyTimer)) != FT_OK)
            return status;
        if ((status = d2xx.setUSBParameters(m_handle, 0x10000, 0x10000)) != FT_OK)
            return status;
        return d2xx.setFlowControl(m_handle, FT_FLOW_RTS_CTS, 0, 0);
    }

    if (type == FT_DEVICE_2232H && (m_flags & UartMode)) {
        if ((status = d2xx.setBitMode(m_handle, kAllPins, FT_BITMODE_RESET)) != FT_OK)
            return status;
        return configureSerialPort(baudRate, flowControl);
    }

    if (type == FT_DEVICE_2232H) {
        // Channel A as a 245 FIFO.
        return FtdiHandleOperations::configureFifo(m_handle);
    }

    // FT232R, FT-X and any other chip with a valid serial number: a plain serial port.
    return configureSerialPort(baudRate, flowControl);
}

FT_STATUS USBFtdiSocket::configureSerialPort(int baudRate, USHORT flowControl)
{
    const D2xxLibrary& d2xx = D2xxLibrary::instance();
    FT_STATUS status = FT_OK;
    if ((status = d2xx.setBaudRate(m_handle, static_cast<ULONG>(baudRate))) != FT_OK)
        return status;
    if ((status = d2xx.setFlowControl(m_handle, flowControl, 0, 0)) != FT_OK)
        return status;
    if ((status = d2xx.setDataCharacteristics(m_handle, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_EVEN))
        != FT_OK)
        return status;
    if ((status = d2xx.setLatencyTimer(m_handle, kUartLatencyTimer)) != FT_OK)
        return status;
    return d2xx.setUSBParameters(m_handle, kUartInTransferSize, kUartOutTransferSize);
}

QByteArray USBFtdiSocket::read(int count)
{
    Q_ASSERT_X(count < MaxReadCount, "USBFtdiSocket.cpp", "count < 4096");
    if (!m_handle)
        throw USBResult::failure(FtdiHandleOperations::deviceNotOpen());
    // Reading straight into the result keeps a bad count from overrunning anything.
    QByteArray bytes(qMax(count, 0), '\0');
    FtdiHandleOperations::readExactly(
        m_handle, bytes.data(), bytes.size(), FtdiHandleOperations::communicationTimedOut());
    return bytes;
}

void USBFtdiSocket::readInto(char* buffer, int count)
{
    FtdiHandleOperations::readExactly(
        m_handle, buffer, count, FtdiHandleOperations::communicationTimedOut());
}

int USBFtdiSocket::readAvailable(QByteArray& array, int wanted)
{
    if (!m_handle)
        throw USBResult::failure(FtdiHandleOperations::deviceNotOpen());
    DWORD waiting = 0;
    // A failed query leaves the count at 0: nothing is read this time.
    D2xxLibrary::instance().getQueueStatus(m_handle, &waiting);
    const int room = qMax(wanted - array.size(), 0);
    const int count = qMin(
        qMin(static_cast<int>(qMin<DWORD>(waiting, MaxAvailableChunk)), room), MaxAvailableChunk);
    if (count == 0)
        return 0;
    const int oldSize = array.size();
    array.resize(oldSize + count);
    try {
        FtdiHandleOperations::readExactly(
            m_handle, array.data() + oldSize, count, FtdiHandleOperations::communicationTimedOut());
    } catch (...) {
        // Leave the caller's array as it was.
        array.resize(oldSize);
        throw;
    }
    return count;
}

int USBFtdiSocket::bytesAvailable()
{
    return FtdiHandleOperations::queueStatus(m_handle);
}

bool USBFtdiSocket::waitForByte(char* byte, int timeoutMs)
{
    if (!m_handle)
        throw USBResult::failure(FtdiHandleOperations::deviceNotOpen());
    const D2xxLibrary& d2xx = D2xxLibrary::instance();
    // A wait shorter than the read time-out shortens it for this read only. Never 0: on Linux a
    // time-out of 0 means no time-out at all.
    const ULONG wait = static_cast<ULONG>(qBound(1, timeoutMs, static_cast<int>(Timeout)));
    if (wait < Timeout)
        d2xx.setTimeouts(m_handle, wait, Timeout);
    DWORD received = 0;
    const FT_STATUS status = d2xx.read(m_handle, byte, 1, &received);
    if (wait < Timeout)
        d2xx.setTimeouts(m_handle, Timeout, Timeout);
    if (status != FT_OK)
        throw USBResult(status);
    return received == 1;
}

void USBFtdiSocket::setBlockSize(uint32_t size)
{
    Q_UNUSED(size);
    Q_ASSERT_X(false, "USBFtdiSocket.cpp", "0");
}
