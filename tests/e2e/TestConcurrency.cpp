// Several threads on several units, with the session closed and emptied under their feet: every
// call succeeds (a closed unit opens again on its next call), and nothing stays open.

#include "BenchTest.h"

#include <atomic>
#include <future>
#include <thread>
#include <vector>

class Concurrency : public BenchTest
{ };

TEST_F(Concurrency, CallsRaceWithCloseAndInitialise)
{
    const int units[] = {
        DefaultBench::Alder, DefaultBench::Cedar, DefaultBench::Generic19, DefaultBench::Generic25};
    std::atomic<bool> stop{false};
    std::atomic<int> calls{0};
    std::vector<std::thread> workers;
    std::atomic<int> failures{0};
    for (std::size_t k = 0; k < std::size(units); ++k) {
        workers.emplace_back([&, k] {
            const int index = units[k];
            while (!stop) {
                bool flag = false;
                char text[256] = {};
                if (getSupplyStatus(index, &flag, text) != 0)
                    ++failures;
                if (turnVoltageOff(index, 1) != 0)
                    ++failures;
                calls += 2;
            }
        });
    }
    // Counting needs the session lock too, and never sees a unit missing.
    std::atomic<int> miscounts{0};
    workers.emplace_back([&] {
        while (!stop) {
            int count = 0;
            getDeviceCount(&count);
            if (count != DefaultBench::Count)
                ++miscounts;
        }
    });
    // Each round lets the units be opened and used, then drops them while calls are running.
    for (int round = 0; round < 4; ++round) {
        const int before = calls.load();
        while (calls.load() < before + 40)
            std::this_thread::yield();
        EXPECT_EQ(round % 2 ? initialiseSession() : closeSession(), 0);
    }
    stop = true;
    for (std::thread& worker : workers)
        worker.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(miscounts.load(), 0);
    EXPECT_EQ(closeSession(), 0);
    EXPECT_EQ(bench().openHandleCount(), 0);
}

// An opening that began before the session was emptied belongs to the new session: the unit it
// opened is never registered under an index that the new numbering gives to another unit.
TEST_F(Concurrency, AnOpeningOverlappingANewSessionStartsAgainInIt)
{
    using namespace DefaultBench;
    ASSERT_EQ(bench().delayNextReply(serial(Cedar), 1000), 0);
    auto opening = std::async(std::launch::async, [] { return clearError(Cedar); });
    while (bench().takeHostBytes(serial(Cedar)).isEmpty())
        std::this_thread::yield();
    // Without the first unit, the new session gives Cedar's index to the unit listed after it.
    ASSERT_EQ(bench().unplug(serial(Alder)), 0);
    ASSERT_EQ(initialiseSession(), 0);
    opening.get();
    char named[32] = "";
    ASSERT_EQ(getDeviceSerialNumber(Cedar, named, sizeof named), 0);
    EXPECT_STREQ(named, serial(Generic19));
    bench().takeHostBytes(serial(Cedar));
    EXPECT_EQ(probes().at(Generic19 - 1).call(Cedar), 0);
    EXPECT_TRUE(bench().takeHostBytes(serial(Cedar)).isEmpty());
}

TEST_F(Concurrency, OpeningHoldsUpOnlyTheUnitItOpens)
{
    using namespace DefaultBench;
    ASSERT_EQ(clearError(Alder), 0);
    // The Cedar's identification reply is held back, so its opening lasts seconds.
    ASSERT_EQ(bench().delayNextReply(serial(Cedar), 3000), 0);
    auto opening = std::async(std::launch::async, [] { return clearError(Cedar); });
    while (bench().takeHostBytes(serial(Cedar)).isEmpty())
        std::this_thread::yield();
    // Calls on the open unit, listing and the description of the unit being opened all answer
    // while the opening goes on.
    bool flag = false;
    char text[256] = {};
    int count = 0;
    EXPECT_EQ(getSupplyStatus(Alder, &flag, text), 0);
    EXPECT_EQ(turnVoltageOff(Alder, 1), 0);
    EXPECT_EQ(getDeviceCount(&count), 0);
    EXPECT_EQ(getFamilyName(Cedar, text, sizeof text), 0);
    EXPECT_STREQ(text, "Cedar");
    EXPECT_EQ(opening.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
    EXPECT_EQ(opening.get(), 0);
}

TEST_F(Concurrency, TwoFirstCallsOnOneUnitOpenItOnce)
{
    using namespace DefaultBench;
    const auto opensOf = [](const std::function<void()>& calls) {
        const int before = bench().callCount("FT_Open") + bench().callCount("FT_OpenEx");
        calls();
        return bench().callCount("FT_Open") + bench().callCount("FT_OpenEx") - before;
    };
    const int single = opensOf([] { EXPECT_EQ(turnVoltageOff(Generic19, 1), 0); });
    closeSession();
    const int together = opensOf([] {
        auto first = std::async(std::launch::async, [] { return turnVoltageOff(Generic19, 1); });
        auto second = std::async(std::launch::async, [] { return turnVoltageOff(Generic19, 1); });
        EXPECT_EQ(first.get(), 0);
        EXPECT_EQ(second.get(), 0);
    });
    EXPECT_GT(single, 0);
    EXPECT_EQ(together, single);
}
