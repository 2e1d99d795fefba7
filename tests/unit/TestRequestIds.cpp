#include "TestPacketProtocolSocket.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <thread>
#include <vector>

// Any request will do: the ids come from the base class that all requests share.
using TestPackets::ScriptedRequest;

// The check runs in a freshly started process, where no request was created before.
TEST(RequestIdsDeathTest, FirstOfAProcessIsOneHundredAndOne)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ScriptedRequest first(0x40);
            ScriptedRequest second(0x40);
            std::exit(first.id() == 101 && second.id() == 102 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(RequestIds, UniqueAcrossThreads)
{
    constexpr int threads = 4;
    constexpr int perThread = 2000;
    std::vector<std::vector<int>> ids(threads);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&ids, t] {
            for (int i = 0; i < perThread; ++i)
                ids[t].push_back(ScriptedRequest(0x40).id());
        });
    }
    for (auto& w : workers)
        w.join();
    std::set<int> all;
    for (const auto& v : ids)
        all.insert(v.begin(), v.end());
    EXPECT_EQ(all.size(), static_cast<size_t>(threads * perThread));
}
