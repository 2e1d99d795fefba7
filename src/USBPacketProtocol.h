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

    // How long an exchange waits for its reply after writing the request.
    static constexpr int ReplyTimeoutMs = 4000;
    // The largest payload that the 16-bit length field can announce.
    static constexpr int MaxPayloadLength = 0xFFFF;

    USBPacketProtocol();
    // Ends a worker that still runs (its owner normally ended it already), then releases members.
    ~USBPacketProtocol() override;

    USBPacketProtocol(const USBPacketProtocol&) = delete;
    USBPacketProtocol& operator=(const USBPacketProtocol&) = delete;

    void setPollInterval(uint32_t microseconds) override;
    bool isRunning() const override;
    void addStreamReceiver(int id, QObject* receiver) override;
    void removeStreamReceiver(int id) override;
    void setErrorReceiver(QObject* receiver) override;
    void setObserver(USBIProtocolObserver* observer) override;
    // Without a running worker the poller is installed for the next start and nothing waits.
    void setPoller(USBISocketPoller* poller) override;
    void startWorker() override;
    void stopWorker() override;
    std::shared_ptr<USBISocket> socket() override;
    USBResult sendRequest(std::shared_ptr<USBICommRequest> request) override;
    // Without an installed socket the request is finished at once with the invalid-handle failure
    // and reported like any served request.
    void postRequest(std::shared_ptr<USBICommRequest> request, QObject* receiver) override;
    void clearRequests() override;
    bool isIdle() override;
    void waitForIdle() override;
    void setSocket(std::shared_ptr<USBISocket> socket) override;

    // Requests written and waiting for their reply, and replies read but not yet taken. Only for
    // the thread that runs the exchange.
    int pendingRequestCount() const { return m_pendingRequests.size(); }
    int storedReplyCount() const { return m_replies.size(); }

protected:
    // The worker loop: serves the queue, then reads unsolicited packets, then sleeps.
    void run() override;

private:
    // Writes the request and waits for its reply; throws a USBResult on failure.
    USBResult exchange(const std::shared_ptr<USBICommRequest>& request, USBISocket& socket);
    // Judges a reply through its request and stores the reply data.
    static USBResult completeExchange(USBICommRequest& request, const PacketRecord& reply);
    // Reads the packets waiting on the socket until a reply is stored; returns how many were read.
    // On failure the partial packet, the pending requests and the stored replies are discarded.
    int readPackets(USBISocket& socket);
    void readPacket(USBISocket& socket);
    void deliverPacket();
    void discardReadState();
    void reportFinished(const QueuedRequest& entry, const USBResult& result);
    void startWorkerWith(const std::shared_ptr<USBISocket>& socket);

    QMutex m_mutex;
    bool m_stopRequested;
    std::shared_ptr<USBISocket> m_socket;
    std::shared_ptr<USBISocket> m_nextSocket;
    QMap<int, QPointer<QObject>> m_streamReceivers;
    QPointer<QObject> m_errorReceiver;
    // New entries at the front; the worker serves the back.
    QVector<QueuedRequest> m_queue;
    QMap<int, std::shared_ptr<USBICommRequest>> m_pendingRequests;
    QByteArray m_currentPacketHeaderData;
    PacketRecord m_currentPacket;
    QMap<int, PacketRecord> m_replies;
    uint32_t m_pollInterval;
    USBIProtocolObserver* m_observer;
    USBISocketPoller* m_poller;
    bool m_pollerAcknowledged;
};
