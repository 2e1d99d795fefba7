#include "USBPacketProtocol.h"

#include "KavraLog.h"
#include "USBICommRequest.h"
#include "USBIProtocolObserver.h"
#include "USBISocket.h"
#include "USBISocketPoller.h"
#include "USBPacketErrorEvent.h"
#include "USBPacketStreamEvent.h"
#include "USBRequestEvent.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMutexLocker>
#include <QVarLengthArray>

#include <algorithm>
#include <exception>

const char* const USBPacketProtocol::InvalidHandleText = "Invalid communication handle.";
const char* const USBPacketProtocol::TimedOutText = "Communication timed out";
const char* const USBPacketProtocol::UnexpectedLengthText = "Unexpected packet length.";
const char* const USBPacketProtocol::CorruptedStreamText = "Communication stream is corrupted";
const char* const USBPacketProtocol::PayloadTooLongText = "Request payload is too long.";
const char* const USBPacketProtocol::DiscardedText = "Request discarded before it was sent.";

namespace {

constexpr uint8_t ReplyPacket = 0x05;
constexpr uint8_t ShortStreamPacket = 0x07;
constexpr uint8_t StreamPacket = 0x08;
constexpr int HeaderSize = 8;

// How long removing the socket gives a running worker to end.
constexpr unsigned long WorkerEndTimeoutMs = 5000;

USBResult libraryFailure(const char* text, USBResult::LibraryCode code = USBResult::OtherFailure)
{
    return USBResult::failure(QString::fromLatin1(text), code);
}

uint32_t littleEndianWord(const char* bytes, int offset)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(bytes[offset]))
        | static_cast<uint32_t>(static_cast<uint8_t>(bytes[offset + 1])) << 8
        | static_cast<uint32_t>(static_cast<uint8_t>(bytes[offset + 2])) << 16
        | static_cast<uint32_t>(static_cast<uint8_t>(bytes[offset + 3])) << 24;
}

QThread::Priority workerPriority(const std::shared_ptr<USBISocket>& socket)
{
    const int priority = socket ? socket->threadPriority() : QThread::InheritPriority;
    if (priority < QThread::IdlePriority || priority > QThread::InheritPriority)
        return QThread::InheritPriority;
    return static_cast<QThread::Priority>(priority);
}

} // namespace

USBPacketProtocol::USBPacketProtocol()
    : USBIProtocol()
    , QThread(nullptr)
    , m_stopRequested(false)
    , m_pollInterval(5000)
    , m_observer(nullptr)
    , m_poller(nullptr)
    , m_pollerAcknowledged(false)
    , m_discardBeforeWrite(false)
{
    // Reserved room is kept when the array is emptied: steady exchanges allocate nothing here.
    m_packet.reserve(HeaderSize);
}

USBPacketProtocol::~USBPacketProtocol()
{
    // Destroying a QThread that still runs aborts the process. Without a next socket the worker
    // ends at its next check, so this waits for the exchange or polling step in progress at most.
    if (QThread::isRunning()) {
        {
            QMutexLocker locker(&m_mutex);
            m_stopRequested = true;
            m_nextSocket.reset();
        }
        wait();
    }

    // Whoever posted a request still queued hears that it was never sent, oldest first.
    QVector<QueuedRequest> unserved;
    {
        QMutexLocker locker(&m_mutex);
        unserved.swap(m_queue);
    }
    const USBResult discarded = libraryFailure(DiscardedText);
    for (auto entry = unserved.crbegin(); entry != unserved.crend(); ++entry) {
        entry->request->setResult(discarded);
        reportFinished(*entry, discarded);
    }
}

void USBPacketProtocol::setPollInterval(uint32_t microseconds)
{
    QMutexLocker locker(&m_mutex);
    m_pollInterval = microseconds;
}

bool USBPacketProtocol::isRunning() const
{
    return QThread::isRunning();
}

void USBPacketProtocol::addStreamReceiver(int id, QObject* receiver)
{
    QMutexLocker locker(&m_mutex);
    m_streamReceivers.insert(id, QPointer<QObject>(receiver));
}

void USBPacketProtocol::removeStreamReceiver(int id)
{
    QMutexLocker locker(&m_mutex);
    m_streamReceivers.remove(id);
}

void USBPacketProtocol::setErrorReceiver(QObject* receiver)
{
    QMutexLocker locker(&m_mutex);
    m_errorReceiver = receiver;
}

void USBPacketProtocol::setObserver(USBIProtocolObserver* observer)
{
    // The worker reads the observer without the mutex.
    Q_ASSERT(!isRunning());
    m_observer = observer;
}

void USBPacketProtocol::setPoller(USBISocketPoller* poller)
{
    {
        QMutexLocker locker(&m_mutex);
        m_poller = poller;
        m_pollerAcknowledged = false;
    }
    // Only a running worker acknowledges; if it ends meanwhile, nobody will. The worker itself
    // takes the poller at its next polling step without anybody waiting.
    if (isWorkerThread())
        return;
    while (isRunning()) {
        {
            QMutexLocker locker(&m_mutex);
            if (m_pollerAcknowledged)
                return;
        }
        QThread::msleep(1);
    }
}

void USBPacketProtocol::startWorker()
{
    std::shared_ptr<USBISocket> socket;
    {
        QMutexLocker locker(&m_mutex);
        socket = m_socket;
    }
    if (socket && !isRunning())
        startWorkerWith(socket);
}

void USBPacketProtocol::stopWorker()
{
    // The worker cannot wait for its own end.
    if (!isRunning() || isWorkerThread())
        return;
    {
        QMutexLocker locker(&m_mutex);
        m_stopRequested = true;
    }
    wait();
    QMutexLocker locker(&m_mutex);
    m_stopRequested = false;
}

std::shared_ptr<USBISocket> USBPacketProtocol::socket()
{
    QMutexLocker locker(&m_mutex);
    return m_socket;
}

USBResult USBPacketProtocol::sendRequest(std::shared_ptr<USBICommRequest> request)
{
    if (!request)
        return USBResult::failure(QStringLiteral("No request to send."));

    std::shared_ptr<USBISocket> socket;
    {
        QMutexLocker locker(&m_mutex);
        m_socket = m_nextSocket;
        socket = m_socket;
    }

    USBResult result;
    try {
        if (!socket)
            throw libraryFailure(InvalidHandleText);
        result = exchange(request, *socket);
    } catch (const USBResult& failure) {
        result = failure;
    } catch (const std::exception& error) {
        // Nothing but USBResult is expected below; still, no exception leaves the exchange.
        m_hasPending = false;
        m_hasReply = false;
        result = USBResult::failure(QString::fromLocal8Bit(error.what()));
    }
    request->setResult(result);
    return result;
}

USBResult USBPacketProtocol::exchange(
    const std::shared_ptr<USBICommRequest>& request, USBISocket& socket)
{
    const QByteArray payload = request->payload();

    if (request->isRaw()) {
        socket.writeByte(request->instructionCode());
        if (!payload.isEmpty())
            socket.write(payload);
        return USBResult();
    }

    // A longer payload would go out with a length field that lies and desynchronise the unit.
    if (payload.size() > MaxPayloadLength)
        return libraryFailure(PayloadTooLongText);

    const int id = request->id();
    QByteArray& packet = m_packet;
    packet.resize(0);
    packet.reserve(HeaderSize + payload.size());
    const uint32_t word = static_cast<uint32_t>(id);
    const uint32_t length = static_cast<uint32_t>(payload.size());
    const char header[HeaderSize]
        = {static_cast<char>(ReplyPacket), static_cast<char>(word & 0xFFu),
            static_cast<char>((word >> 8) & 0xFFu), static_cast<char>((word >> 16) & 0xFFu),
            static_cast<char>(word >> 24), static_cast<char>(request->instructionCode()),
            static_cast<char>(length & 0xFFu), static_cast<char>(length >> 8)};
    packet.append(header, HeaderSize);
    packet.append(payload);
    // Bytes left over from a broken packet would be read as the start of the reply; the socket
    // also drops what of it arrives shortly after.
    if (m_discardBeforeWrite) {
        m_readAhead.clear();
        socket.discardReceived();
        m_discardBeforeWrite = false;
    }
    // One write, so that the unit never sees a header without its payload.
    socket.write(packet);
    qCDebug(KavraLog::wire).noquote() << "out" << packet.toHex(' ');

    m_pendingId = id;
    m_hasPending = true;
    m_hasReply = false;
    if (readExpectedReply(socket, *request)) {
        const PacketRecord record = std::move(m_reply);
        m_hasReply = false;
        m_hasPending = false;
        return completeExchange(*request, record);
    }
    QElapsedTimer timer;
    timer.start();
    // Nothing has been read for the new id yet: the first wait takes the whole time-out.
    qint64 remainingMs = ReplyTimeoutMs;
    for (;;) {
        // Blocks in the read until the next packet starts, so a reply is taken as it arrives.
        awaitPacket(socket, static_cast<int>(remainingMs) + 1);
        if (m_hasReply) {
            const PacketRecord record = std::move(m_reply);
            m_hasReply = false;
            m_hasPending = false;
            return completeExchange(*request, record);
        }
        remainingMs = ReplyTimeoutMs - timer.elapsed();
        if (remainingMs < 0) {
            m_hasPending = false;
            return libraryFailure(TimedOutText, USBResult::NoReply);
        }
    }
}

USBResult USBPacketProtocol::completeExchange(USBICommRequest& request, const PacketRecord& reply)
{
    const USBResult status = request.checkStatus(reply.status);
    if (!status.isSuccess())
        return status;

    if (request.hasVariableReply()) {
        const USBResult processed = request.processVariableReply(reply.data);
        if (!processed.isSuccess()) {
            failReading();
            return processed;
        }
    } else {
        if (reply.data.size() != request.expectedReplyLength()) {
            failReading();
            return libraryFailure(UnexpectedLengthText, USBResult::ReplyNotUnderstood);
        }
        request.setReplyData(reply.data);
    }
    return USBResult();
}

bool USBPacketProtocol::readExpectedReply(USBISocket& socket, const USBICommRequest& request)
{
    if (request.hasVariableReply() || !m_readAhead.isEmpty())
        return false;
    const int size = HeaderSize + request.expectedReplyLength();
    int waiting = 0;
    try {
        waiting = socket.bytesAvailable();
    } catch (const USBResult&) {
        // The reads that follow meet the failure and report it as they always have.
        return false;
    }
    if (waiting != size)
        return false;
    QVarLengthArray<char, 64> bytes(size);
    try {
        socket.readInto(bytes.data(), size);
    } catch (...) {
        failReading();
        throw;
    }
    const int length = static_cast<uint8_t>(bytes[6]) | static_cast<uint8_t>(bytes[7]) << 8;
    if (static_cast<uint8_t>(bytes[0]) != ReplyPacket || length != size - HeaderSize) {
        // Something else came first: the packet reader takes these bytes before the socket's, as
        // if they had never left it.
        m_readAhead = QByteArray(bytes.constData(), size);
        return false;
    }
    std::copy(bytes.constBegin(), bytes.constBegin() + HeaderSize, m_header);
    m_headerCount = HeaderSize;
    m_currentPacket.type = ReplyPacket;
    m_currentPacket.id = static_cast<int>(littleEndianWord(m_header, 1));
    m_currentPacket.status = static_cast<uint8_t>(m_header[5]);
    m_currentPacket.length = length;
    m_currentPacket.data = QByteArray(bytes.constData() + HeaderSize, length);
    try {
        finishPacket();
    } catch (...) {
        failReading();
        throw;
    }
    return m_hasReply;
}

void USBPacketProtocol::readBytes(USBISocket& socket, char* buffer, int count)
{
    if (!m_readAhead.isEmpty()) {
        const int taken = qMin(count, m_readAhead.size());
        std::copy(m_readAhead.constBegin(), m_readAhead.constBegin() + taken, buffer);
        m_readAhead.remove(0, taken);
        buffer += taken;
        count -= taken;
    }
    if (count > 0)
        socket.readInto(buffer, count);
}

int USBPacketProtocol::readPackets(USBISocket& socket)
{
    int packets = 0;
    try {
        while (!m_readAhead.isEmpty() || socket.bytesAvailable() > 0) {
            readPacket(socket);
            finishPacket();
            ++packets;
            // A stored reply is taken before anything else is read.
            if (m_hasReply)
                break;
        }
    } catch (...) {
        failReading();
        throw;
    }
    return packets;
}

void USBPacketProtocol::awaitPacket(USBISocket& socket, int timeoutMs)
{
    try {
        char type = 0;
        if (!m_readAhead.isEmpty())
            readBytes(socket, &type, 1);
        else if (!socket.waitForByte(&type, timeoutMs))
            return;
        m_header[0] = type;
        m_headerCount = 1;
        readPacket(socket);
        finishPacket();
    } catch (...) {
        failReading();
        throw;
    }
}

void USBPacketProtocol::finishPacket()
{
    qCDebug(KavraLog::wire).noquote()
        << "in" << (QByteArray(m_header, m_headerCount) + m_currentPacket.data).toHex(' ');
    deliverPacket();
    m_headerCount = 0;
    m_currentPacket.data.clear();
}

void USBPacketProtocol::failReading()
{
    discardReadState();
    // The rest of a broken packet may still be waiting; the next exchange drops it before it
    // writes, so that only the failed exchange pays for the damage.
    m_discardBeforeWrite = true;
}

void USBPacketProtocol::readPacket(USBISocket& socket)
{
    if (m_headerCount == 0) {
        readBytes(socket, m_header, 1);
        m_headerCount = 1;
    }
    Q_ASSERT(m_headerCount == 1);

    // The data array is sized below, once the length is known.
    m_currentPacket.type = static_cast<uint8_t>(m_header[0]);
    m_currentPacket.id = 0;
    m_currentPacket.status = 0;
    m_currentPacket.length = 0;

    switch (m_currentPacket.type) {
    case ReplyPacket: {
        readBytes(socket, m_header + 1, HeaderSize - 1);
        m_headerCount = HeaderSize;
        const char* h = m_header;
        m_currentPacket.id = static_cast<int>(littleEndianWord(h, 1));
        m_currentPacket.status = static_cast<uint8_t>(h[5]);
        m_currentPacket.length = static_cast<uint8_t>(h[6]) | static_cast<uint8_t>(h[7]) << 8;
        break;
    }
    case ShortStreamPacket: {
        readBytes(socket, m_header + 1, 1);
        m_headerCount = 2;
        m_currentPacket.length = static_cast<uint8_t>(m_header[1]);
        break;
    }
    case StreamPacket: {
        readBytes(socket, m_header + 1, HeaderSize - 1);
        m_headerCount = HeaderSize;
        const char* h = m_header;
        m_currentPacket.length = static_cast<uint8_t>(h[2]) | static_cast<uint8_t>(h[3]) << 8;
        // The second word repeats the first; any difference means the header is damaged.
        const uint32_t difference = littleEndianWord(h, 0) ^ littleEndianWord(h, 4);
        if (difference != 0)
            throw USBResult::failure(QStringLiteral("Header checksum (%1) failed.")
                                         .arg(difference, 8, 16, QLatin1Char('0')),
                USBResult::ReplyNotUnderstood);
        break;
    }
    default:
        // The byte is named, so that a log or the unit's last error shows what arrived.
        throw USBResult::failure(QStringLiteral("%1: first byte 0x%2, expected 0x%3")
                                     .arg(QLatin1String(CorruptedStreamText))
                                     .arg(m_currentPacket.type, 2, 16, QLatin1Char('0'))
                                     .arg(ReplyPacket, 2, 16, QLatin1Char('0')),
            USBResult::ReplyNotUnderstood);
    }

    m_currentPacket.data.resize(m_currentPacket.length);
    if (m_currentPacket.length > 0)
        readBytes(socket, m_currentPacket.data.data(), m_currentPacket.length);
}

void USBPacketProtocol::deliverPacket()
{
    const int id = m_currentPacket.id;

    if (m_observer) {
        if (m_observer->acceptsPacket(id))
            m_observer->packetReceived(id, m_currentPacket.data);
        else
            storeIfPending();
        return;
    }

    QMutexLocker locker(&m_mutex);
    const auto receiver = m_streamReceivers.constFind(id);
    if (receiver != m_streamReceivers.constEnd()) {
        // A registered receiver takes precedence over a pending request, even once destroyed.
        if (!receiver.value().isNull()) {
            // Qt owns a posted event and deletes it after delivery.
            QCoreApplication::postEvent(receiver.value().data(),
                new USBPacketStreamEvent(id, m_currentPacket.data, USBResult()), 0);
        }
        return;
    }
    locker.unlock();
    storeIfPending();
}

void USBPacketProtocol::storeIfPending()
{
    if (!m_hasPending || m_currentPacket.id != m_pendingId)
        return;
    // A later packet with the same id replaces an earlier one, as a map insert would.
    m_reply = m_currentPacket;
    m_hasReply = true;
}

void USBPacketProtocol::discardReadState()
{
    m_readAhead.clear();
    m_headerCount = 0;
    m_currentPacket.data.clear();
    m_hasPending = false;
    m_hasReply = false;
    m_reply = PacketRecord();
}

void USBPacketProtocol::postRequest(std::shared_ptr<USBICommRequest> request, QObject* receiver)
{
    if (!request)
        return;

    QueuedRequest entry;
    entry.id = request->id();
    entry.request = request;
    entry.receiver = receiver;

    std::shared_ptr<USBISocket> socket;
    {
        QMutexLocker locker(&m_mutex);
        if (!m_nextSocket) {
            socket.reset();
        } else {
            m_queue.prepend(entry);
            socket = m_nextSocket;
        }
    }

    if (!socket) {
        // Queued without a socket, the request would wait for a worker that cannot start.
        const USBResult failure = libraryFailure(InvalidHandleText);
        request->setResult(failure);
        reportFinished(entry, failure);
        return;
    }
    if (!isRunning())
        startWorkerWith(socket);
}

void USBPacketProtocol::clearRequests()
{
    QMutexLocker locker(&m_mutex);
    m_queue.clear();
}

bool USBPacketProtocol::isIdle()
{
    if (!isRunning())
        return true;
    QMutexLocker locker(&m_mutex);
    return m_queue.isEmpty();
}

void USBPacketProtocol::waitForIdle()
{
    // The worker keeps the entry it is reporting queued until its caller returns.
    if (isWorkerThread())
        return;
    while (!isIdle())
        QThread::msleep(1);
}

void USBPacketProtocol::setSocket(std::shared_ptr<USBISocket> socket)
{
    std::shared_ptr<USBISocket> next;
    bool queued = false;
    {
        QMutexLocker locker(&m_mutex);
        m_nextSocket.reset();
        if (socket) {
            m_nextSocket = socket->clone();
            if (!isRunning())
                m_socket = m_nextSocket;
        }
        next = m_nextSocket;
        queued = !m_queue.isEmpty();
    }

    if (next) {
        next->applyTimeoutsAgain();
        if (queued && !isRunning())
            startWorkerWith(next);
        return;
    }

    // The worker ends at its next check, now that the next socket is empty; called by the worker
    // itself, it ends once its caller returns.
    const bool ended = !isRunning() || (!isWorkerThread() && wait(WorkerEndTimeoutMs));
    {
        QMutexLocker locker(&m_mutex);
        m_queue.clear();
        if (ended)
            m_socket.reset();
    }
    // A worker still inside an exchange owns the read state; it discards nothing of ours.
    if (ended)
        discardReadState();
}

void USBPacketProtocol::reportFinished(const QueuedRequest& entry, const USBResult& result)
{
    if (m_observer) {
        m_observer->requestFinished(entry, result);
    } else if (!entry.receiver.isNull()) {
        // Qt owns a posted event and deletes it after delivery.
        QCoreApplication::postEvent(
            entry.receiver.data(), new USBRequestEvent(entry.request, result), 0);
    }
}

void USBPacketProtocol::reportPollingFailure(USBISocket& socket, const USBResult& failure)
{
    QMutexLocker locker(&m_mutex);
    if (m_observer) {
        m_observer->workerFailed(failure, m_errorReceiver);
        return;
    }
    // The worker ends either way; what the close reports changes nothing.
    socket.close();
    if (!m_errorReceiver.isNull()) {
        // Qt owns a posted event and deletes it after delivery.
        QCoreApplication::postEvent(m_errorReceiver.data(), new USBPacketErrorEvent(0, failure), 0);
    }
}

void USBPacketProtocol::startWorkerWith(const std::shared_ptr<USBISocket>& socket)
{
    start(workerPriority(socket));
}

bool USBPacketProtocol::isWorkerThread() const
{
    return QThread::currentThread() == this;
}

void USBPacketProtocol::run()
{
    for (;;) {
        bool queued = false;
        uint32_t pollInterval = 0;
        {
            QMutexLocker locker(&m_mutex);
            m_socket = m_nextSocket;
            if (!m_socket || m_stopRequested)
                return;
            queued = !m_queue.isEmpty();
            pollInterval = m_pollInterval;
        }

        while (queued) {
            QueuedRequest entry;
            {
                QMutexLocker locker(&m_mutex);
                m_socket = m_nextSocket;
                if (!m_socket)
                    return;
                if (m_queue.isEmpty())
                    break;
                entry = m_queue.last();
            }
            const USBResult result = sendRequest(entry.request);
            reportFinished(entry, result);
            {
                QMutexLocker locker(&m_mutex);
                // Only the entry just served: clearRequests may have emptied the queue meanwhile.
                if (!m_queue.isEmpty() && m_queue.last().request == entry.request)
                    m_queue.removeLast();
                queued = !m_queue.isEmpty();
            }
        }

        std::shared_ptr<USBISocket> socket;
        USBISocketPoller* poller = nullptr;
        {
            QMutexLocker locker(&m_mutex);
            m_socket = m_nextSocket;
            if (!m_socket)
                return;
            socket = m_socket;
            poller = m_poller;
            m_pollerAcknowledged = true;
        }

        try {
            if (poller)
                poller->poll(socket);
            else
                readPackets(*socket);
        } catch (const USBResult& failure) {
            reportPollingFailure(*socket, failure);
            return;
        } catch (const std::exception& error) {
            // A poller's own exception ends the worker like a failure instead of the process.
            reportPollingFailure(*socket, USBResult::failure(QString::fromLocal8Bit(error.what())));
            return;
        }

        QThread::usleep(pollInterval);
    }
}
