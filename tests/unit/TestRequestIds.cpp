#include "USBDefaultCommRequest.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <thread>
#include <vector>

namespace {
class PlainRequest : public USBDefaultCommRequest
{
public:
    bool isRaw() const override { return false; }
    uint8_t instructionCode() const override { return 0x40; }
    QByteArray payload() const override { return QByteArray(); }
    USBResult checkStatus(uint8_t) const override { return USBResult(); }
    int expectedReplyLength() const override { return 0; }
};
} // namespace

// The check runs in a freshly started process, where no request was created before.
TEST(RequestIdsDeathTest, FirstOfAProcessIsOneHundredAndOne)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            PlainRequest first;
            PlainRequest second;
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
                ids[t].push_back(PlainRequest().id());
        });
    }
    for (auto& w : workers)
        w.join();
    std::set<int> all;
    for (const auto& v : ids)
        all.insert(v.begin(), v.end());
    EXPECT_EQ(all.size(), static_cast<size_t>(threads * perThread));
}
