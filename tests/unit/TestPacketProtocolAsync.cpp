#include "TestPacketProtocolEvents.h"
#include "TestPacketProtocolSocket.h"

#include "USBISocketPoller.h"

#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>

using namespace TestAsync;
using TestPackets::bytes;
using TestPackets::packetId;
using TestPackets::reply;
using TestPackets::ScriptedRequest;

namespace {

std::shared_ptr<ScriptedRequest> scripted(uint8_t code = 0)
{
    return std::make_shared<ScriptedRequest>(code);
}

// The fake unit answers every request packet with its instruction code as status byte, so that
// instruction 0 succeeds and any other fails with "status <code>".
QByteArray answerWithCodeAsStatus(const QByteArray& written)
{
    return written.at(0) == 0x05 ? reply(packetId(written), static_cast<uint8_t>(written.at(5)))
                                 : QByteArray();
}

// A protocol on the scripted socket, its worker pausing briefly between passes.
class PacketProtocolAsyncTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ensureApplication();
        m_socket = std::make_shared<TestPacketProtocolSocket>();
        m_socket->open(0);
        m_socket->state().responder = answerWithCodeAsStatus;
        m_protocol = std::make_unique<USBPacketProtocol>();
        m_protocol->setPollInterval(500);
        m_protocol->setSocket(m_socket);
    }

    void TearDown() override
    {
        if (m_protocol) {
            m_protocol->setSocket(nullptr);
            EXPECT_FALSE(m_protocol->isRunning());
            m_protocol.reset();
        }
        drainPostedEvents();
    }

    // The first request packet written blocks in the unit until the gate opens (or its time-out
    // ends); every later one is answered at once.
    void holdFirstRequestAt(Gate& gate, int timeoutMs)
    {
        m_socket->state().responder = [&gate, timeoutMs](const QByteArray& written) {
            gate.pass(timeoutMs);
            return answerWithCodeAsStatus(written);
        };
    }

    bool processUntilWorkerEnded()
    {
        return processEventsUntil([this] { return !m_protocol->isRunning(); });
    }

    std::shared_ptr<TestPacketProtocolSocket> m_socket;
    std::unique_ptr<USBPacketProtocol> m_protocol;
};

// Runs the test's step in place of the worker's own reading.
struct ScriptedPoller : USBISocketPoller
{
    explicit ScriptedPoller(std::function<void()> step) : step(std::move(step)) { }
    void poll(std::shared_ptr<USBISocket>) override { step(); }
    std::function<void()> step;
};

TEST_F(PacketProtocolAsyncTest, stopWorkerAndWaitForIdleReturnOnlyOnceTheQueueIsServed)
{
    struct Case
    {
        const char* name;
        bool waitForIdleFirst;
    };
    for (const Case& c : {Case{"stopWorker", false}, Case{"waitForIdle, then stopWorker", true}}) {
        SCOPED_TRACE(c.name);
        Gate gate;
        holdFirstRequestAt(gate, 10000);
        EventTally tally;
        RecordingReceiver receiver(&tally);
        const QVector<std::shared_ptr<ScriptedRequest>> requests
            = {scripted(), scripted(3), scripted()};
        for (const auto& request : requests)
            m_protocol->postRequest(request, &receiver);
        // Its receiver is destroyed while it waits: the exchange runs, the report goes nowhere.
        auto orphan = scripted(2);
        auto gone = std::make_unique<RecordingReceiver>(&tally);
        m_protocol->postRequest(orphan, gone.get());
        ASSERT_TRUE(gate.awaitArrival(5000));
        gone.reset();
        EXPECT_TRUE(m_protocol->isRunning());
        EXPECT_FALSE(m_protocol->isIdle()) << "requests are queued and the worker runs";

        std::atomic<bool> returned(false);
        std::thread caller([&] {
            if (c.waitForIdleFirst) {
                m_protocol->waitForIdle();
                EXPECT_TRUE(m_protocol->isIdle());
            }
            m_protocol->stopWorker();
            returned = true;
        });
        EXPECT_FALSE(returned) << "the first request is still held in the unit";
        gate.open();
        caller.join();

        EXPECT_FALSE(m_protocol->isRunning());
        EXPECT_TRUE(m_protocol->isIdle());
        // Everything was reported before the caller returned: nothing more is awaited.
        drainPostedEvents();
        ASSERT_EQ(receiver.finished.size(), requests.size());
        for (int i = 0; i < requests.size(); ++i) {
            EXPECT_EQ(receiver.finished[i].request, requests[i]);
            EXPECT_EQ(receiver.finished[i].result.text(), requests[i]->result().text());
        }
        EXPECT_EQ(receiver.finished[1].result.text(), QStringLiteral("status 3"));
        EXPECT_EQ(orphan->result().message(), QStringLiteral("status 2"));
        EXPECT_EQ(tally.events, requests.size());
        EXPECT_EQ(tally.mismatched, 0);

        // A stopped worker starts again with the next request.
        auto next = scripted();
        m_protocol->postRequest(next, &receiver);
        EXPECT_TRUE(
            processEventsUntil([&] { return receiver.finished.size() == requests.size() + 1; }));
        EXPECT_TRUE(next->result().isSuccess());
        m_protocol->stopWorker();
    }
}

TEST_F(PacketProtocolAsyncTest, requestsLeftQueuedByAnEndedWorkerAreServedAtItsNextStart)
{
    Gate gate;
    // Ends every poll with a failure once the gate opens.
    ScriptedPoller poller([&gate] {
        gate.pass(10000);
        throw USBResult::failure(QStringLiteral("poller gave up"));
    });
    RecordingReceiver receiver;
    // No worker yet: the poller is kept for its first polling step, nothing waits.
    m_protocol->setPoller(&poller);
    m_protocol->startWorker();
    ASSERT_TRUE(gate.awaitArrival(5000));

    // Posted while the worker is held in its polling step.
    const QVector<std::shared_ptr<ScriptedRequest>> requests = {scripted(), scripted(4)};
    for (const auto& request : requests)
        m_protocol->postRequest(request, &receiver);
    EXPECT_FALSE(m_protocol->isIdle());

    gate.open();
    ASSERT_TRUE(processUntilWorkerEnded());
    // (How a polling failure is reported: pollingFailureClosesTheSocketAndEndsTheWorker.)
    drainPostedEvents();
    EXPECT_TRUE(receiver.finished.isEmpty());

    // Idle whenever the worker does not run, queued requests notwithstanding.
    EXPECT_TRUE(m_protocol->isIdle());
    m_protocol->waitForIdle();
    EXPECT_FALSE(requests[0]->isFinished());

    m_protocol->setPoller(nullptr);
    m_protocol->startWorker();
    ASSERT_TRUE(processEventsUntil([&] { return receiver.finished.size() == 2; }));
    EXPECT_EQ(receiver.finishedIds(), (QVector<int>{requests[0]->id(), requests[1]->id()}));
    EXPECT_TRUE(receiver.finished[0].result.isSuccess());
    EXPECT_EQ(receiver.finished[1].result.message(), QStringLiteral("status 4"));
}

TEST_F(PacketProtocolAsyncTest, removingTheSocketOrTheProtocolEndsTheWorker)
{
    // Removing the socket ends the exchange in progress and drops the rest of the queue without a
    // result; a worker held in its exchange beyond the 5000 ms it is given keeps its read state,
    // finishes that exchange and ends at its next check. Destroying the protocol reports what it
    // never sent as discarded. Only the served request goes out in each case.
    enum Ending { SocketRemoved, SocketRemovedFromAHeldWorker, ProtocolDestroyed };
    for (Ending ending : {SocketRemoved, SocketRemovedFromAHeldWorker, ProtocolDestroyed}) {
        SCOPED_TRACE(ending);
        if (!m_protocol) {
            m_protocol = std::make_unique<USBPacketProtocol>();
            m_socket->state().writes.clear();
            m_protocol->setSocket(m_socket);
        }
        Gate gate;
        holdFirstRequestAt(gate, ending == SocketRemovedFromAHeldWorker ? 20000 : 300);
        RecordingReceiver receiver;
        const QVector<std::shared_ptr<ScriptedRequest>> requests
            = {scripted(), scripted(), scripted()};
        for (const auto& request : requests)
            m_protocol->postRequest(request, &receiver);
        ASSERT_TRUE(gate.awaitArrival(5000));

        if (ending == ProtocolDestroyed) {
            m_protocol.reset();
        } else {
            m_protocol->setSocket(nullptr);
            EXPECT_EQ(m_protocol->isRunning(), ending == SocketRemovedFromAHeldWorker);
            EXPECT_TRUE(m_protocol->isIdle()) << "the queue is gone";
            gate.open();
            ASSERT_TRUE(processUntilWorkerEnded());
            EXPECT_EQ(m_protocol->pendingRequestCount(), 0);
        }
        drainPostedEvents();
        EXPECT_TRUE(requests[0]->result().isSuccess());
        EXPECT_EQ(m_socket->state().writes.size(), 1);
        if (ending == ProtocolDestroyed) {
            ASSERT_EQ(receiver.finishedIds(),
                (QVector<int>{requests[0]->id(), requests[1]->id(), requests[2]->id()}));
            for (int i = 1; i < 3; ++i) {
                EXPECT_EQ(receiver.finished[i].result.message(),
                    QString::fromLatin1(USBPacketProtocol::DiscardedText));
                EXPECT_EQ(requests[i]->result().message(),
                    QString::fromLatin1(USBPacketProtocol::DiscardedText));
            }
            continue;
        }
        EXPECT_EQ(receiver.finishedIds(), QVector<int>{requests[0]->id()});
        EXPECT_FALSE(requests[1]->isFinished());
        EXPECT_FALSE(requests[2]->isFinished());

        // Without a socket a posted request fails at once instead of waiting for a worker.
        auto late = scripted();
        m_protocol->postRequest(late, &receiver);
        EXPECT_FALSE(m_protocol->isRunning());
        EXPECT_EQ(
            late->result().message(), QString::fromLatin1(USBPacketProtocol::InvalidHandleText));
        drainPostedEvents();
        ASSERT_EQ(receiver.finished.size(), 2);
        EXPECT_EQ(receiver.finished[1].request, late);
        m_protocol.reset();
    }
}

TEST_F(PacketProtocolAsyncTest, streamReceiverEntryDecidesOverAPendingRequestOfItsId)
{
    // A reply carrying id 555 while a request of that id waits: an entry for the id takes the
    // packet, alive or not; without an entry the request gets it. The exchanges run side by
    // side, since the requests that lose their reply wait out the time-out.
    enum Entry { Alive, Destroyed, None };
    EventTally tally;
    RecordingReceiver alive(&tally);
    auto destroyed = std::make_unique<RecordingReceiver>(&tally);
    QObject* const receivers[] = {&alive, destroyed.get(), nullptr};
    std::vector<std::unique_ptr<USBPacketProtocol>> protocols;
    std::vector<std::shared_ptr<ScriptedRequest>> requests;
    for (QObject* receiver : receivers) {
        auto socket = std::make_shared<TestPacketProtocolSocket>();
        socket->state().responder = [](const QByteArray& written) {
            return reply(packetId(written), 0, bytes({0x12, 0x34}));
        };
        protocols.push_back(std::make_unique<USBPacketProtocol>());
        protocols.back()->setSocket(socket);
        if (receiver)
            protocols.back()->addStreamReceiver(555, receiver);
        requests.push_back(std::make_shared<ScriptedRequest>(0x41, QByteArray(), 2, false, 555));
    }
    destroyed.reset();
    std::vector<std::future<USBResult>> results;
    for (size_t i = 0; i < protocols.size(); ++i)
        results.push_back(std::async(
            std::launch::async, [&, i] { return protocols[i]->sendRequest(requests[i]); }));

    const QString timedOut = QString::fromLatin1(USBPacketProtocol::TimedOutText);
    EXPECT_EQ(results[Alive].get().message(), timedOut);
    EXPECT_EQ(results[Destroyed].get().message(), timedOut);
    EXPECT_TRUE(requests[Destroyed]->replyData().isEmpty());
    EXPECT_TRUE(results[None].get().isSuccess());
    EXPECT_EQ(requests[None]->replyData(), bytes({0x12, 0x34}));
    drainPostedEvents();
    // Only the living receiver got a stream event.
    ASSERT_EQ(alive.streams.size(), 1);
    EXPECT_EQ(alive.streams[0].id, 555);
    EXPECT_EQ(alive.streams[0].data, bytes({0x12, 0x34}));
    EXPECT_EQ(tally.events, 1);
}

TEST_F(PacketProtocolAsyncTest, observerReplacesEveryEventAndMayCallBackIntoTheProtocol)
{
    RecordingObserver observer({0});
    EventTally tally;
    RecordingReceiver requestReceiver(&tally), streamReceiver(&tally), errorReceiver(&tally);
    // Declared after the observer, so that it is gone first.
    USBPacketProtocol protocol;
    protocol.setPollInterval(500);
    protocol.setSocket(m_socket);
    protocol.setObserver(&observer);
    observer.callBack = &protocol;
    protocol.addStreamReceiver(0, &streamReceiver);
    protocol.setErrorReceiver(&errorReceiver);

    const QVector<std::shared_ptr<ScriptedRequest>> requests
        = {scripted(), scripted(9), scripted()};
    for (const auto& request : requests)
        protocol.postRequest(request, &requestReceiver);
    ASSERT_TRUE(processEventsUntil([&] { return observer.log().finished.size() == 3; }));
    const auto finished = observer.log().finished;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(finished[i].id, requests[i]->id());
        EXPECT_EQ(finished[i].request, requests[i]);
        EXPECT_EQ(finished[i].receiver, &requestReceiver);
        EXPECT_EQ(finished[i].result.text(), requests[i]->result().text());
    }
    EXPECT_EQ(finished[1].result.message(), QStringLiteral("status 9"));

    // Stream packets go to the observer that accepts their id; a reply nobody waits for and the
    // observer refuses is dropped. The worker still runs: its calls back did not end it.
    m_socket->feed(bytes({0x07, 0x02, 0xAA, 0xBB}) + reply(999, 0, bytes({1}))
        + bytes({0x08, 0x00, 0x01, 0x00, 0x08, 0x00, 0x01, 0x00, 0xCC}));
    ASSERT_TRUE(processEventsUntil([&] { return observer.log().packets.size() == 2; }));
    EXPECT_EQ(observer.log().packets[0], qMakePair(0, bytes({0xAA, 0xBB})));
    EXPECT_EQ(observer.log().packets[1], qMakePair(0, bytes({0xCC})));

    // A polling failure goes to the observer with the error receiver; the socket is its to close.
    m_socket->setFailQueueQuery(true);
    ASSERT_TRUE(processEventsUntil([&] { return !protocol.isRunning(); }));
    const auto failures = observer.log().failures;
    ASSERT_EQ(failures.size(), 1);
    EXPECT_EQ(failures[0].first.text(), USBResult(4u).text());
    EXPECT_EQ(failures[0].second, &errorReceiver);
    EXPECT_TRUE(m_socket->isOpen());

    drainPostedEvents();
    EXPECT_EQ(tally.events, 0) << "no event is posted while an observer is installed";
}

TEST_F(PacketProtocolAsyncTest, pollingFailureClosesTheSocketAndEndsTheWorker)
{
    // (With an observer installed the failure goes to the observer instead: the observer test.)
    struct Failure
    {
        const char* name;
        QByteArray stream;
        bool failQueueQuery;
        QString text;
        bool throwingPoller = false;
    };
    const Failure failures[] = {
        {"receive queue query", QByteArray(), true, USBResult(4u).text()},
        {"damaged type 8 header", bytes({0x08, 0x00, 0x04, 0x00, 0x08, 0x00, 0x05, 0x00}), false,
            QStringLiteral("Header checksum (00010000) failed.")},
        {"poller's own exception", QByteArray(), false, QStringLiteral("poller broke"), true},
    };
    // Fails like code outside the library may, with an exception of its own.
    ScriptedPoller throwingPoller([] { throw std::runtime_error("poller broke"); });
    for (const Failure& failure : failures) {
        for (bool receiverDestroyed : {false, true}) {
            SCOPED_TRACE(
                std::string(failure.name) + (receiverDestroyed ? ", receiver destroyed" : ""));
            auto socket = std::make_shared<TestPacketProtocolSocket>();
            socket->open(0);
            EventTally tally;
            auto errorReceiver = std::make_unique<RecordingReceiver>(&tally);
            USBPacketProtocol protocol;
            protocol.setPollInterval(500);
            protocol.setSocket(socket);
            protocol.setErrorReceiver(errorReceiver.get());
            if (receiverDestroyed)
                errorReceiver.reset();
            if (failure.throwingPoller)
                protocol.setPoller(&throwingPoller);

            protocol.startWorker();
            ASSERT_TRUE(protocol.isRunning());
            socket->feed(failure.stream);
            socket->setFailQueueQuery(failure.failQueueQuery);
            ASSERT_TRUE(processEventsUntil([&] { return !protocol.isRunning(); }));
            drainPostedEvents();

            EXPECT_FALSE(socket->isOpen());
            if (!receiverDestroyed) {
                ASSERT_EQ(errorReceiver->failures.size(), 1);
                EXPECT_EQ(errorReceiver->failures[0].errorCode, 0);
                EXPECT_EQ(errorReceiver->failures[0].result.text(), failure.text);
            }
            EXPECT_EQ(tally.events, receiverDestroyed ? 0 : 1);
            EXPECT_EQ(tally.mismatched, 0);
            // The reader dropped its partial packet: the next start reads from a clean state.
            EXPECT_EQ(protocol.pendingRequestCount(), 0);
            EXPECT_EQ(protocol.storedReplyCount(), 0);
        }
    }
}

TEST_F(PacketProtocolAsyncTest, setPollerReturnsOnceTheWorkerHasTakenIt)
{
    // Counts its polls and reads nothing.
    std::atomic<int> polls{0};
    ScriptedPoller poller([&polls] { ++polls; });
    RecordingReceiver streamReceiver;
    m_protocol->addStreamReceiver(0, &streamReceiver);
    m_protocol->startWorker();
    ASSERT_TRUE(m_protocol->isRunning());

    m_protocol->setPoller(&poller);
    // The pass that acknowledged it polls with it: the worker's own reading is replaced.
    m_socket->feed(bytes({0x07, 0x01, 0x11}));
    ASSERT_TRUE(processEventsUntil([&] { return polls >= 3; }));
    EXPECT_TRUE(streamReceiver.streams.isEmpty());

    // Once setPoller returns, the old poller is never called again and the worker reads again.
    m_protocol->setPoller(nullptr);
    const int pollsBefore = polls;
    ASSERT_TRUE(processEventsUntil([&] { return streamReceiver.streams.size() == 1; }));
    EXPECT_EQ(streamReceiver.streams[0].data, bytes({0x11}));
    EXPECT_EQ(polls, pollsBefore);
}

// A stream packet that carries its sequence number, alternately in the short and the long form.
QByteArray streamPacket(int sequence)
{
    QByteArray payload
        = bytes({sequence & 0xFF, (sequence >> 8) & 0xFF}) + QByteArray(sequence % 7, 0x5A);
    const QByteArray word = bytes({0x08, sequence & 0xFF, payload.size(), 0});
    return (sequence % 2 == 0 ? bytes({0x07, payload.size()}) : word + word) + payload;
}

TEST_F(
    PacketProtocolAsyncTest, everyRequestFromSeveralThreadsIsReportedOnceWhileStreamPacketsArrive)
{
    constexpr int Threads = 4;
    constexpr int RequestsPerThread = 100;
    constexpr int StreamPackets = 300;
    m_protocol->setPollInterval(200);
    EventTally tally;
    RecordingReceiver stream(&tally);
    m_protocol->addStreamReceiver(0, &stream);
    // Receivers live in the test's thread; the posting threads only hand them over.
    std::vector<std::unique_ptr<RecordingReceiver>> receivers;
    for (int t = 0; t < Threads; ++t)
        receivers.push_back(std::make_unique<RecordingReceiver>(&tally));

    std::vector<QVector<std::shared_ptr<ScriptedRequest>>> posted(Threads);
    std::atomic<bool> go(false);
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back([&, t] {
            while (!go)
                std::this_thread::yield();
            for (int i = 0; i < RequestsPerThread; ++i) {
                // Every fifth one is refused by the unit: failures are reported like the rest.
                posted[size_t(t)].append(scripted(i % 5 == 4 ? 2 : 0));
                m_protocol->postRequest(posted[size_t(t)].last(), receivers[size_t(t)].get());
                m_protocol->isIdle();
            }
        });
    }
    threads.emplace_back([&] {
        while (!go)
            std::this_thread::yield();
        for (int sequence = 0; sequence < StreamPackets; ++sequence)
            m_socket->feed(streamPacket(sequence));
    });
    go = true;
    for (std::thread& thread : threads)
        thread.join();

    const bool allReported = processEventsUntil(
        [&] {
            int finished = 0;
            for (const auto& receiver : receivers)
                finished += receiver->finished.size();
            return finished == Threads * RequestsPerThread
                && stream.streams.size() == StreamPackets;
        },
        20000);
    m_protocol->waitForIdle();
    m_protocol->stopWorker();
    drainPostedEvents();
    ASSERT_TRUE(allReported) << "stream events: " << stream.streams.size();

    // Each request once, to the receiver of its poster, in that poster's order.
    for (int t = 0; t < Threads; ++t) {
        const RecordingReceiver& receiver = *receivers[size_t(t)];
        ASSERT_EQ(receiver.finished.size(), RequestsPerThread);
        for (int i = 0; i < RequestsPerThread; ++i) {
            const auto& request = posted[size_t(t)][i];
            EXPECT_EQ(receiver.finished[i].request, request) << "thread " << t << ", request " << i;
            EXPECT_EQ(receiver.finished[i].result.isSuccess(), request->instructionCode() == 0);
            EXPECT_EQ(receiver.finished[i].result.text(), request->result().text());
        }
    }
    // Every stream packet arrived whole and in the order the unit sent it.
    for (int sequence = 0; sequence < StreamPackets; ++sequence)
        EXPECT_EQ(
            stream.streams[sequence].data, streamPacket(sequence).mid(sequence % 2 == 0 ? 2 : 8))
            << sequence;
    EXPECT_EQ(tally.events, Threads * RequestsPerThread + StreamPackets);
    EXPECT_EQ(tally.mismatched, 0);
}

} // namespace
