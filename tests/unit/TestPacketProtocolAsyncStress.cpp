#include "TestPacketProtocolEvents.h"

#include "KavraDriver_Alder_CommRequest.h"

#include <QHash>

#include <atomic>
#include <thread>
#include <vector>

using namespace TestAsync;

namespace {

using PacketProtocolAsyncStressTest = PacketProtocolBenchFixture;

// A stream packet that carries its sequence number, alternately in the short and the long form.
QByteArray streamPacket(int sequence)
{
    QByteArray payload;
    payload.append(static_cast<char>(sequence & 0xFF));
    payload.append(static_cast<char>((sequence >> 8) & 0xFF));
    payload.append(QByteArray(sequence % 7, static_cast<char>(0x5A)));
    QByteArray packet;
    if (sequence % 2 == 0) {
        packet.append(static_cast<char>(0x07));
        packet.append(static_cast<char>(payload.size()));
    } else {
        QByteArray word;
        word.append(static_cast<char>(0x08));
        word.append(static_cast<char>(sequence & 0xFF));
        word.append(static_cast<char>(payload.size()));
        word.append(static_cast<char>(0));
        packet = word + word;
    }
    return packet + payload;
}

TEST_F(PacketProtocolAsyncStressTest, everyRequestFromSeveralThreadsIsReportedOnceWhileStreamPacketsArrive)
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

    std::vector<QVector<std::shared_ptr<KavraDriver_Alder_CommRequest>>> posted(Threads);
    std::atomic<bool> go(false);
    std::atomic<int> idleChecks(0);
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back([&, t] {
            while (!go)
                std::this_thread::yield();
            for (int i = 0; i < RequestsPerThread; ++i) {
                // Every fifth one is refused by the unit: failures are reported like the rest.
                auto request = std::make_shared<KavraDriver_Alder_CommRequest>(i % 5 == 4 ? 0x20 : 0x41);
                posted[size_t(t)].append(request);
                m_protocol->postRequest(request, receivers[size_t(t)].get());
                m_protocol->isIdle();
                ++idleChecks;
            }
        });
    }
    threads.emplace_back([&] {
        while (!go)
            std::this_thread::yield();
        for (int sequence = 0; sequence < StreamPackets; ++sequence)
            EXPECT_EQ(bench().sendUnsolicited(kAlderSerial, 0, streamPacket(sequence)), 0);
    });
    go = true;
    for (std::thread& thread : threads)
        thread.join();

    const bool allReported = processEventsUntil(
        [&] {
            int finished = 0;
            for (const auto& receiver : receivers)
                finished += receiver->finished.size();
            return finished == Threads * RequestsPerThread && stream.streams.size() == StreamPackets;
        },
        20000);
    m_protocol->waitForIdle();
    m_protocol->stopWorker();
    EXPECT_FALSE(m_protocol->isRunning());
    drainPostedEvents();
    ASSERT_TRUE(allReported) << "stream events: " << stream.streams.size();

    // Exactly once per request id, each to the receiver of its poster, in that poster's order.
    QHash<int, int> reports;
    for (int t = 0; t < Threads; ++t) {
        const RecordingReceiver& receiver = *receivers[size_t(t)];
        ASSERT_EQ(receiver.finished.size(), RequestsPerThread);
        for (int i = 0; i < RequestsPerThread; ++i) {
            const auto& request = posted[size_t(t)][i];
            ++reports[receiver.finished[i].request->id()];
            EXPECT_EQ(receiver.finished[i].request, request) << "thread " << t << ", request " << i;
            EXPECT_EQ(receiver.finished[i].result.isSuccess(), request->instructionCode() == 0x41)
                << qPrintable(receiver.finished[i].result.text());
            EXPECT_EQ(receiver.finished[i].result.text(), request->result().text());
        }
    }
    EXPECT_EQ(reports.size(), Threads * RequestsPerThread);
    for (auto it = reports.constBegin(); it != reports.constEnd(); ++it)
        EXPECT_EQ(it.value(), 1) << "request " << it.key();

    // Every stream packet arrived whole and in the order the unit sent it.
    for (int sequence = 0; sequence < StreamPackets; ++sequence) {
        const QByteArray expected = streamPacket(sequence).mid(sequence % 2 == 0 ? 2 : 8);
        EXPECT_EQ(stream.streams[sequence].id, 0);
        EXPECT_EQ(stream.streams[sequence].data, expected) << "packet " << sequence;
    }
    EXPECT_EQ(tally.events, Threads * RequestsPerThread + StreamPackets);
    EXPECT_EQ(tally.mismatched, 0);
    EXPECT_EQ(idleChecks, Threads * RequestsPerThread);
}

} // namespace
