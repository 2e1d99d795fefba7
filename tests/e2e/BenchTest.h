#pragma once

#include "BenchControl.h"
#include "KavraLib.h"

#include <gtest/gtest.h>

// Every end-to-end test starts from a fresh session on a freshly loaded bench.
class BenchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bench().isLoaded());
        initialiseSession();
        ASSERT_EQ(bench().reset(), 0);
    }

    void TearDown() override
    {
        closeSession();
        EXPECT_EQ(bench().openHandleCount(), 0);
    }

    // Replaces the bench; the session is emptied first so that no unit of the old bench stays open.
    void loadBench(const char* json)
    {
        initialiseSession();
        ASSERT_EQ(bench().loadBench(QByteArray(json)), 0) << json;
    }

    static BenchControl& bench() { return BenchControl::instance(); }
};

// The units of the default bench, in the order of their device indices.
namespace DefaultBench {
constexpr int Alder = 1;
constexpr int Cedar = 2;
constexpr int Generic19 = 3;
constexpr int Generic25 = 4;
constexpr int Birch = 5;
constexpr int Rowan = 6;
constexpr int Count = 6;
inline const char* serial(int index)
{
    static const char* const serials[] = {"", "QZAH015010001", "QZAH017010002", "QZAH019010003",
        "QZAH025010004", "QZAH040010005", "QZAH041010006"};
    return index >= 1 && index <= Count ? serials[index] : "";
}
} // namespace DefaultBench
