// Several threads on several units, with the session closed and emptied under their feet: every
// call succeeds (a closed unit opens again on its next call), and nothing stays open.

#include "BenchTest.h"

#include <atomic>
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
