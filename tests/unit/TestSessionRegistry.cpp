#include "KavraDriver_AbstractDevice.h"
#include "KavraLib.h"
#include "KavraSession.h"
#include "TransportBenchTest.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// Records every operation with its arguments and answers with a chosen status.
class RecordingDevice : public KavraDriver_AbstractDevice
{
public:
    explicit RecordingDevice(int status, std::vector<std::string>* closes = nullptr, int id = 0)
        : m_status(status), m_closes(closes), m_id(id)
    {
    }

    int setPWMFunction(uint32_t c, int f) override { return record("setPWMFunction", c, f); }
    int setPWM(int c, int d) override { return record("setPWM", c, d); }
    int setPWMFrequency(int f) override { return record("setPWMFrequency", f); }
    int setVoltage(int c, double v, double i) override { return record("setVoltage", c, v, i); }
    int setAccurateVoltage(int c, double v, double i) override
    {
        return record("setAccurateVoltage", c, v, i);
    }
    int setVoltageWaveform(int c, uint32_t w, double a, double b, double p) override
    {
        return record("setVoltageWaveform", c, w, a, b, p);
    }
    int setPolarity(int c, int p) override { return record("setPolarity", c, p); }
    int turnVoltageOn(int c) override { return record("turnVoltageOn", c); }
    int turnVoltageOff(int c) override { return record("turnVoltageOff", c); }
    int enableInternalVoltageBus(int v) override { return record("enableInternalVoltageBus", v); }
    int disableInternalVoltageBus() override { return record("disableInternalVoltageBus"); }
    int getSupplyStatus(bool* flag, char* text) override
    {
        *flag = true;
        std::strcpy(text, "No error");
        return record("getSupplyStatus");
    }
    int getChannelStatus(int c, bool* a, bool* b) override
    {
        *a = true;
        *b = false;
        return record("getChannelStatus", c);
    }
    int getChannelCurrent(int c, double* current) override
    {
        *current = 12.0;
        return record("getChannelCurrent", c);
    }
    int clearError() override { return record("clearError"); }
    int getADCValue(double* value) override
    {
        *value = 0.5;
        return record("getADCValue");
    }
    ~RecordingDevice() override
    {
        if (m_closes)
            m_closes->push_back("destroyed " + std::to_string(m_id));
    }

    std::string lastCall;
    std::function<void()> onCall;

private:
    template <typename... Args>
    int record(const char* name, Args... args)
    {
        lastCall = name;
        ((lastCall += " " + std::to_string(args)), ...);
        if (onCall)
            onCall();
        return m_status;
    }

    int m_status;
    std::vector<std::string>* m_closes;
    int m_id;
};

std::shared_ptr<RecordingDevice> registerDevice(int index, int status)
{
    auto device = std::make_shared<RecordingDevice>(status);
    std::lock_guard<std::timed_mutex> locker(KavraSession::mutex());
    KavraSession::registry()[index] = device;
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

TEST_F(SessionRegistry, ForwardsEveryUnitFunctionWithItsArgumentsAndStatus)
{
    auto device = registerDevice(3, 27);
    bool flag = false, first = false, second = true;
    char text[32] = {};
    double current = 0, adc = 0;
    struct Case { std::function<int()> call; const char* expected; };
    const Case cases[] = {
        {[] { return setPWMFunction(3, 2, 1); }, "setPWMFunction 2 1"},
        {[] { return setPWM(3, 1, 55); }, "setPWM 1 55"},
        {[] { return setPWMFrequency(3, 200000); }, "setPWMFrequency 200000"},
        {[] { return setVoltage(3, 1, 1000.5, 100.25); }, "setVoltage 1 1000.500000 100.250000"},
        {[] { return setAccurateVoltage(3, 1, 52000, -2500); },
         "setAccurateVoltage 1 52000.000000 -2500.000000"},
        {[] { return setVoltageWaveform(3, 2, 1, 10, 20, 0.5); },
         "setVoltageWaveform 2 1 10.000000 20.000000 0.500000"},
        {[] { return setPolarity(3, 1, 0); }, "setPolarity 1 0"},
        {[] { return turnVoltageOn(3, 2); }, "turnVoltageOn 2"},
        {[] { return turnVoltageOff(3, 3); }, "turnVoltageOff 3"},
        {[] { return enableInternalVoltageBus(3, 1); }, "enableInternalVoltageBus 1"},
        {[] { return disableInternalVoltageBus(3); }, "disableInternalVoltageBus"},
        {[&] { return getSupplyStatus(3, &flag, text); }, "getSupplyStatus"},
        {[&] { return getChannelStatus(3, 2, &first, &second); }, "getChannelStatus 2"},
        {[&] { return getChannelCurrent(3, 1, &current); }, "getChannelCurrent 1"},
        {[] { return clearError(3); }, "clearError"},
        {[&] { return getADCValue(3, &adc); }, "getADCValue"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        device->lastCall.clear();
        EXPECT_EQ(c.call(), 27);
        EXPECT_EQ(device->lastCall, c.expected);
    }
    EXPECT_TRUE(flag);
    EXPECT_STREQ(text, "No error");
    EXPECT_TRUE(first);
    EXPECT_FALSE(second);
    EXPECT_EQ(current, 12.0);
    EXPECT_EQ(adc, 0.5);
    // Negative channel and waveform numbers reach the operations unchanged in their bits.
    setPWMFunction(3, -1, 0);
    EXPECT_EQ(device->lastCall, "setPWMFunction 4294967295 0");
}

TEST_F(SessionRegistry, DefaultOperationsAnswerNotSupported)
{
    auto device = std::make_shared<KavraDriver_AbstractDevice>();
    {
        std::lock_guard<std::timed_mutex> locker(KavraSession::mutex());
        KavraSession::registry()[1] = device;
    }
    bool flag = true;
    double value = 7.0;
    EXPECT_EQ(setVoltage(1, 1, 10, 10), 10);
    EXPECT_EQ(getSupplyStatus(1, &flag, nullptr), 10);
    EXPECT_EQ(getADCValue(1, &value), 10);
    EXPECT_EQ(device->initialiseDevice(), 10);
    EXPECT_TRUE(flag);
    EXPECT_EQ(value, 7.0);
    std::lock_guard<std::timed_mutex> locker(KavraSession::mutex());
    EXPECT_EQ(KavraSession::device(1), device); // still registered
}

TEST_F(SessionRegistry, UnregisteredIndicesOpenNothingWithoutUnits)
{
    for (int index : {-1, 0, 1, 99, 100, 1000}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(setVoltage(index, 1, 10, 10), 1);
        EXPECT_EQ(clearError(index), 1);
    }
    int count = -5;
    EXPECT_EQ(getDeviceCount(&count), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(getDeviceCount(nullptr), 0);
    int index = 5;
    EXPECT_EQ(getDeviceIndex("QZAH015010001", &index), 6);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(getDeviceIndex(nullptr, nullptr), 6);
    std::lock_guard<std::timed_mutex> locker(KavraSession::mutex());
    EXPECT_TRUE(KavraSession::registry().empty());
}

TEST_F(SessionRegistry, CloseAndInitialiseEmptyTheRegistry)
{
    std::vector<std::string> events;
    {
        std::lock_guard<std::timed_mutex> locker(KavraSession::mutex());
        for (int index : {7, 2, 5})
            KavraSession::registry()[index] = std::make_shared<RecordingDevice>(0, &events, index);
    }
    EXPECT_EQ(closeSession(), 0);
    // Every device is released once the registry is emptied, in ascending index order.
    const std::vector<std::string> expected = {"destroyed 2", "destroyed 5", "destroyed 7"};
    EXPECT_EQ(events, expected);
    EXPECT_EQ(setPWM(2, 1, 1), 1);

    events.clear();
    registerDevice(4, 0);
    EXPECT_EQ(initialiseSession(), 0);
    EXPECT_EQ(initialiseSession(), 0);
    EXPECT_EQ(closeSession(), 0);
    std::lock_guard<std::timed_mutex> locker(KavraSession::mutex());
    EXPECT_TRUE(KavraSession::registry().empty());
}

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
        while (now > seen && !maximum.compare_exchange_weak(seen, now)) {
        }
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
