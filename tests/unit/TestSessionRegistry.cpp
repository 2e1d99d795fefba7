#include "KavraDriver_AbstractDevice.h"
#include "KavraIndexNumbering.h"
#include "KavraLib.h"
#include "KavraSession.h"
#include "TransportBenchTest.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// Records each PWM call with its arguments and answers with a chosen status; the registry and
// its locks are what is under test, not the family behind it.
class RecordingDevice : public KavraDriver_AbstractDevice
{
public:
    explicit RecordingDevice(int status) : m_status(status) { }

    int setPWM(int c, int d) override
    {
        lastCall = "setPWM " + std::to_string(c) + " " + std::to_string(d);
        if (onCall)
            onCall();
        return m_status;
    }

    std::string lastCall;
    std::function<void()> onCall;

private:
    int m_status;
};

std::shared_ptr<RecordingDevice> registerDevice(int index, int status)
{
    auto device = std::make_shared<RecordingDevice>(status);
    KavraSession::registerForTesting(index, device);
    return device;
}

// The registry's own behaviour, on a bench with no unit attached.
class SessionRegistry : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(BenchControl::instance().isLoaded());
        ASSERT_EQ(BenchControl::instance().loadBench(QByteArrayLiteral(R"({"units":[]})")), 0);
    }
    void TearDown() override { initialiseSession(); }
};

} // namespace

TEST_F(SessionRegistry, UnitsRunInParallelEachInArrivalOrderAndCloseWaitsForCalls)
{
    auto busy = registerDevice(1, 0);
    auto other = registerDevice(2, 0);
    std::mutex m;
    std::condition_variable cv;
    bool inside = false, release = false;
    std::vector<std::string> order;
    busy->onCall = [&] {
        std::unique_lock<std::mutex> lock(m);
        order.push_back(busy->lastCall);
        inside = true;
        cv.notify_all();
        cv.wait_for(lock, std::chrono::seconds(10), [&] { return release; });
    };
    auto firstCall = std::async(std::launch::async, [] { return setPWM(1, 1, 1); });
    {
        std::unique_lock<std::mutex> lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(5), [&] { return inside; }));
    }
    // While unit 1 is busy, the session and the other unit are not held up.
    int count = -1;
    EXPECT_EQ(getDeviceCount(&count), 0);
    EXPECT_EQ(setPWM(2, 1, 9), 0);
    EXPECT_EQ(other->lastCall, "setPWM 1 9");
    // Calls on the busy unit wait, and then run in the order in which they came.
    auto secondCall = std::async(std::launch::async, [] { return setPWM(1, 1, 2); });
    EXPECT_EQ(secondCall.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    auto thirdCall = std::async(std::launch::async, [] { return setPWM(1, 1, 3); });
    EXPECT_EQ(thirdCall.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    // Closing the session waits for the calls that were already on their way.
    auto close = std::async(std::launch::async, [] { return closeSession(); });
    EXPECT_EQ(close.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    {
        std::lock_guard<std::mutex> lock(m);
        release = true;
    }
    cv.notify_all();
    EXPECT_EQ(firstCall.get(), 0);
    EXPECT_EQ(secondCall.get(), 0);
    EXPECT_EQ(thirdCall.get(), 0);
    EXPECT_EQ(close.get(), 0);
    EXPECT_EQ(order, (std::vector<std::string>{"setPWM 1 1", "setPWM 1 2", "setPWM 1 3"}));

    // Many threads on one unit never run two of its operations at once.
    auto shared = registerDevice(1, 0);
    std::atomic<int> concurrent{0}, maximum{0};
    shared->onCall = [&] {
        const int now = ++concurrent;
        int seen = maximum.load();
        while (now > seen && !maximum.compare_exchange_weak(seen, now)) { }
        std::this_thread::yield();
        --concurrent;
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 200; ++i)
                setPWM(1, 1, i % 100);
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(maximum.load(), 1);
}

// Each row lists the device list seen at each step (serial numbers as letters) and the index of
// every unit afterwards ("AB" = A at 1, B at 2; "-" = a free index).
TEST(IndexNumbering, AnIndexNamesOneUnitForTheWholeSession)
{
    const struct
    {
        const char* name;
        std::vector<QStringList> lists;
        QString numbered;
    } cases[] = {
        {"list order", {{"A", "B", "C"}}, "ABC"},
        {"one unit lost keeps every index", {{"A", "B", "C"}, {"B", "C"}}, "ABC"},
        {"back at another position", {{"A", "B", "C"}, {"B", "C"}, {"B", "C", "A"}}, "ABC"},
        {"a new unit where a lost one was", {{"A", "B", "C"}, {"B", "C"}, {"D", "B", "C"}}, "ABCD"},
        {"a new unit listed first", {{"B"}, {"A", "B"}}, "BA"},
        {"two units lost, two new", {{"A", "B", "C"}, {"C"}, {"E", "D", "C"}}, "ABCED"},
        {"a later unit at a free position", {{"A"}, {"A", "B"}, {"A", "B", "C"}}, "ABC"},
    };
    for (const auto& c : cases) {
        KavraIndexNumbering numbering;
        for (const QStringList& list : c.lists)
            numbering.numberListed(list);
        QString numbered;
        for (int index = 1; index <= numbering.highest(); ++index) {
            const QString serial = numbering.serialNumber(index);
            numbered += serial.isEmpty() ? QStringLiteral("-") : serial;
            if (!serial.isEmpty()) {
                EXPECT_EQ(numbering.indexOf(serial), index) << c.name;
            }
        }
        EXPECT_EQ(numbered, c.numbered) << c.name;
        numbering.clear();
        EXPECT_EQ(numbering.highest(), 0) << c.name;
    }
    // Indices stop at 99 however many units are listed.
    KavraIndexNumbering numbering;
    QStringList many;
    for (int i = 0; i < 120; ++i)
        many.append(QString::number(i));
    numbering.numberListed(many);
    EXPECT_EQ(numbering.highest(), KavraIndexNumbering::HighestIndex);
    EXPECT_EQ(numbering.indexOf(QStringLiteral("100")), 0);
}
