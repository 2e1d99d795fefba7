#include "FuzzSocket.h"

#include "FtdiHandleOperations.h"

#include <QThread>

#include <algorithm>

namespace {

// What the real socket throws when fewer bytes arrive than it asked for.
USBResult shortRead()
{
    return USBResult::failure(FtdiHandleOperations::communicationTimedOut());
}

} // namespace

FuzzSocket::FuzzSocket(const QList<QByteArray>& chunks) : m_link(std::make_shared<Link>())
{
    m_link->chunksToCome = chunks;
    if (!m_link->chunksToCome.isEmpty())
        m_link->received = m_link->chunksToCome.takeFirst();
}

FuzzSocket::FuzzSocket(std::shared_ptr<Link> link) : m_link(std::move(link)) { }

FuzzSocket::~FuzzSocket() = default;

std::shared_ptr<USBISocket> FuzzSocket::clone() const
{
    return std::shared_ptr<USBISocket>(new FuzzSocket(m_link));
}

USBResult FuzzSocket::open(int)
{
    return USBResult();
}

USBResult FuzzSocket::close()
{
    return USBResult();
}

void FuzzSocket::cyclePortAndClose() { }

void FuzzSocket::setThreadPriority(int) { }

int FuzzSocket::threadPriority() const
{
    return QThread::InheritPriority;
}

uint32_t FuzzSocket::deviceIndex() const
{
    return 0;
}

bool FuzzSocket::isOpen() const
{
    return true;
}

USBResult FuzzSocket::status()
{
    return USBResult(USBResult::Success, m_link->received.size(), 0, QString());
}

uint32_t FuzzSocket::purge()
{
    m_link->received.clear();
    return 0;
}

void FuzzSocket::writeByte(uint8_t byte)
{
    write(QByteArray(1, static_cast<char>(byte)));
}

int FuzzSocket::write(QByteArray data)
{
    if (!m_link->chunksToCome.isEmpty())
        m_link->received.append(m_link->chunksToCome.takeFirst());
    return data.size();
}

QByteArray FuzzSocket::read(int count)
{
    QByteArray bytes(std::max(count, 0), '\0');
    readInto(bytes.data(), bytes.size());
    return bytes;
}

void FuzzSocket::readInto(char* buffer, int count)
{
    const int taken = std::min(std::max(count, 0), m_link->received.size());
    std::copy_n(m_link->received.constData(), taken, buffer);
    m_link->received.remove(0, taken);
    if (taken < count)
        throw shortRead();
}

int FuzzSocket::readAvailable(QByteArray& array, int wanted)
{
    const int taken = std::min(std::max(wanted - array.size(), 0), m_link->received.size());
    array.append(m_link->received.left(taken));
    m_link->received.remove(0, taken);
    return taken;
}

int FuzzSocket::bytesAvailable()
{
    // Nothing more arrives before the host writes again, so a wait could only end in the
    // exchange's time-out: the link reports it at once instead of after 4 s.
    if (m_link->received.isEmpty())
        throw shortRead();
    return m_link->received.size();
}

uint32_t FuzzSocket::applyTimeouts()
{
    return 0;
}

uint32_t FuzzSocket::applyTimeoutsAgain()
{
    return 0;
}

void FuzzSocket::setBlockSize(uint32_t) { }
