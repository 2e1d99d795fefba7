#pragma once

#include "PacketRecord.h"
#include "QueuedRequest.h"
#include "USBIProtocol.h"

#include <QByteArray>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <QVector>

#include <cstdint>
#include <memory>

class USBICommRequest;
class USBISocket;
class USBIProtocolObserver;
class USBISocketPoller;

// Frames requests into packets on a socket and matches the unit's replies to them by request id.
// The synchronous exchange runs on the caller's thread; queued requests are served by the
// protocol's own worker thread (the QThread base). The exchange and the worker must not run at
// the same time: both read the same socket.
class USBPacketProtocol : public USBIProtocol, public QThread
{
public:
    // Failure texts of the exchange.
    static const char* const InvalidHandleText;
    static const char* const TimedOutText;
    static const char* const UnexpectedLengthText;
    static const char* const CorruptedStreamText;
    static const char* const PayloadTooLongText;
    // The result of a queued request that was never sent because the protocol was destroyed.
    static const char* const DiscardedText;

    // How long an exchange waits for its reply after writing the request.
    static constexpr int ReplyTimeoutMs = 4000;
    // The largest payload that the 16-bit length field can announce.
    static constexpr int MaxPayloadLength = 0xFFFF;

    USBPacketProtocol();
    // Ends a worker that still runs (its owner normally ended it already): the worker finishes
    // the exchange in progress and ends at its next check. Requests still queued then are
    // finished with DiscardedText and reported like served ones, so the observer, when one is
    // installed, must outlive the protocol.
    ~USBPacketProtocol() override;

    USBPacketProtocol(const USBPacketProtocol&) = delete;
    USBPacketProtocol& operator=(const USBPacketProtocol&) = delete;

    void setPollInterval(uint32_t microseconds) override;
    bool isRunning() const override;
    void addStreamReceiver(int id, QObject* receiver) override;
    void removeStreamReceiver(int id) override;
    void setErrorReceiver(QObject* receiver) override;
    void setObserver(USBIProtocolObserver* observer) override;
    // Without a running worker (or when called by the worker itself) the poller is installed for
    // the worker's next polling step and nothing waits.
    void setPoller(USBISocketPoller* poller) override;
    void startWorker() override;
    // Waits until the worker has served its queue and ended. Called by the worker itself (from an
    // observer), it cannot wait for its caller and does nothing.
    void stopWorker() override;
    std::shared_ptr<USBISocket> socket() override;
    USBResult sendRequest(std::shared_ptr<USBICommRequest> request) override;
    // Without an installed socket the request is finished at once with InvalidHandleText and
    // reported like a served request, on the calling thread.
    void postRequest(std::shared_ptr<USBICommRequest> request, QObject* receiver) override;
    void clearRequests() override;
    bool isIdle() override;
    // Called by the worker itself (from an observer) it returns at once: the worker cannot become
    // idle while its caller waits.
    void waitForIdle() override;
    // Removing the socket gives the worker up to 5000 ms to end. A worker that needs longer
    // keeps its read state and ends at its next check; the queue is discarded either way.
    void setSocket(std::shared_ptr<USBISocket> socket) override;

    // Requests written and waiting for their reply, and replies read but not yet taken (0 or 1
    // each: one exchange at a time). Only for the thread that runs the exchange.
    int pendingRequestCount() const { return m_hasPending ? 1 : 0; }
    int storedReplyCount() const { return m_hasReply ? 1 : 0; }

protected:
    // The worker loop: serves the queue, then reads unsolicited packets, then sleeps.
    void run() override;

private:
    // Writes the request and waits for its reply; throws a USBResult on failure.
    USBResult exchange(const std::shared_ptr<USBICommRequest>& request, USBISocket& socket);
    // Judges a reply through its request and stores the reply data. Data of another length than
    // the request expects is a reader failure: the length field lied, so what follows may be the
    // rest of the reply.
    USBResult completeExchange(USBICommRequest& request, const PacketRecord& reply);
    // When the socket holds exactly as many bytes as the request's reply takes, reads them in one
    // go; true when they were the reply and it is stored. Bytes that turn out to be something
    // else are kept for the packet reader.
    bool readExpectedReply(USBISocket& socket, const USBICommRequest& request);
    // Reads bytes for the packet reader: first those read ahead, then the socket's.
    void readBytes(USBISocket& socket, char* buffer, int count);
    // Reads the packets waiting on the socket until a reply is stored; returns how many were read.
    // On failure the partial packet, the pending requests and the stored replies are discarded.
    int readPackets(USBISocket& socket);
    // Waits up to timeoutMs for the next packet to start, then reads and delivers it whole.
    void awaitPacket(USBISocket& socket, int timeoutMs);
    void finishPacket();
    // After a reader failure: drops the read state, and marks the link's received bytes, and what
    // still arrives of the broken packet, for discarding before the next write.
    void failReading();
    void readPacket(USBISocket& socket);
    void deliverPacket();
    // Keeps the packet just read when it answers the pending request.
    void storeIfPending();
    void discardReadState();
    void reportFinished(const QueuedRequest& entry, const USBResult& result);
    // Ends the worker after a failed polling step.
    void reportPollingFailure(USBISocket& socket, const USBResult& failure);
    void startWorkerWith(const std::shared_ptr<USBISocket>& socket);
    // Whether the caller is the worker (an observer or poller called from it).
    bool isWorkerThread() const;

    QMutex m_mutex;
    bool m_stopRequested;
    std::shared_ptr<USBISocket> m_socket;
    std::shared_ptr<USBISocket> m_nextSocket;
    QMap<int, QPointer<QObject>> m_streamReceivers;
    QPointer<QObject> m_errorReceiver;
    // New entries at the front; the worker serves the back.
    QVector<QueuedRequest> m_queue;
    // The exchange waits for one reply at a time: the id it waits for and the reply once read.
    // Only for the thread that runs the exchange.
    int m_pendingId = 0;
    bool m_hasPending = false;
    bool m_hasReply = false;
    PacketRecord m_reply;
    // Bytes read from the socket before the packet reader wanted them; they come first.
    QByteArray m_readAhead;
    // The header bytes of the packet being read.
    char m_header[8] = {};
    int m_headerCount = 0;
    // The request packet being written, kept for its room; only for the exchange's thread.
    QByteArray m_packet;
    PacketRecord m_currentPacket;
    uint32_t m_pollInterval;
    USBIProtocolObserver* m_observer;
    USBISocketPoller* m_poller;
    bool m_pollerAcknowledged;
    // Set when the reader met bytes it could not read as a packet; only for the exchange's thread.
    bool m_discardBeforeWrite;
};
