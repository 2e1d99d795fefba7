// Recovery through the exported functions: after line noise the failing call reports its family's
// code and the next call succeeds; a unit that is unplugged and plugged in again comes back under
// its own index.

#include "BenchTest.h"

#include <QElapsedTimer>

#include <functional>
#include <random>

namespace {

// One call per unit that reaches the wire, with the code its family gives when the exchange fails.
struct Probe
{
    int index;
    std::function<int(int)> call;
    int failureCode;
};

bool g_flag;
char g_text[256];
double g_value;

const std::vector<Probe>& probes()
{
    static const auto supplyStatus = [](int i) { return getSupplyStatus(i, &g_flag, g_text); };
    static const std::vector<Probe> all = {
        {DefaultBench::Alder, supplyStatus, 31},
        {DefaultBench::Cedar, supplyStatus, 31},
        {DefaultBench::Generic19, supplyStatus, 31},
        {DefaultBench::Generic25, supplyStatus, 31},
        {DefaultBench::Birch, [](int i) { return setAccurateVoltage(i, 1, 100, 1); }, 21},
        {DefaultBench::Rowan, [](int i) { return getADCValue(i, &g_value); }, 31},
    };
    return all;
}

QByteArray randomBytes(int count, unsigned seed)
{
    std::mt19937 generator(seed);
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes.append(static_cast<char>(generator() & 0xFF));
    return bytes;
}

} // namespace

class Recovery : public BenchTest
{ };

TEST_F(Recovery, NoiseCostsOnlyTheCallItHits)
{
    struct Noise
    {
        const char* name;
        std::function<void(const char* serial)> inject;
    };
    const std::vector<Noise> noises = {
        {"first byte 00", [](const char* s) { bench().corruptNextReply(s, 0x00); }},
        {"first byte 03", [](const char* s) { bench().corruptNextReply(s, 0x03); }},
        {"first byte 06", [](const char* s) { bench().corruptNextReply(s, 0x06); }},
        {"first byte ff", [](const char* s) { bench().corruptNextReply(s, 0xFF); }},
        {"16 random bytes",
            [](const char* s) { bench().sendUnsolicited(s, 0, randomBytes(16, 16)); }},
        {"64 random bytes",
            [](const char* s) { bench().sendUnsolicited(s, 0, randomBytes(64, 64)); }},
        {"partial header",
            [](const char* s) { bench().sendUnsolicited(s, 0, QByteArray::fromHex("056500")); }},
        {"header announcing 65535 bytes",
            [](const char* s) {
                bench().sendUnsolicited(s, 0, QByteArray::fromHex("05010000000000ffff"));
            }},
    };
    for (const Probe& probe : probes()) {
        const char* serial = DefaultBench::serial(probe.index);
        SCOPED_TRACE(serial);
        ASSERT_EQ(probe.call(probe.index), 0);
        for (const Noise& noise : noises) {
            SCOPED_TRACE(noise.name);
            noise.inject(serial);
            EXPECT_EQ(probe.call(probe.index), probe.failureCode);
            EXPECT_EQ(probe.call(probe.index), 0);
            EXPECT_EQ(probe.call(probe.index), 0);
        }
    }
}

TEST_F(Recovery, StreamPacketsAndStrayRepliesBeforeAReplyAreSkipped)
{
    const Probe& probe = probes().front();
    ASSERT_EQ(probe.call(probe.index), 0);
    // A short and a long stream packet, then a reply to a request nobody waits for.
    bench().sendUnsolicited(DefaultBench::serial(probe.index), 0,
        QByteArray::fromHex("0702aabb"
                            "0800010008000100cc"
                            "0501020304000000"));
    EXPECT_EQ(probe.call(probe.index), 0);
}

TEST_F(Recovery, AnUnpluggedUnitComesBackUnderItsOwnIndex)
{
    for (const Probe& probe : probes())
        ASSERT_EQ(probe.call(probe.index), 0);
    for (const Probe& probe : probes()) {
        const char* serial = DefaultBench::serial(probe.index);
        SCOPED_TRACE(serial);
        ASSERT_EQ(bench().unplug(serial), 0);
        EXPECT_EQ(probe.call(probe.index), probe.failureCode);
        // While it is away, calls fail at once: no open is tried, nothing is written.
        QElapsedTimer away;
        away.start();
        EXPECT_EQ(probe.call(probe.index), probe.failureCode);
        EXPECT_LT(away.elapsed(), 500);
        ASSERT_EQ(bench().replug(serial), 0);
        EXPECT_EQ(probe.call(probe.index), 0);
        EXPECT_EQ(probe.call(probe.index), 0);
    }
    // No index moved, and every unit is still registered where it was.
    for (int index = 1; index <= DefaultBench::Count; ++index) {
        int found = 0;
        EXPECT_EQ(getDeviceIndex(DefaultBench::serial(index), &found), 0);
        EXPECT_EQ(found, index);
    }
    EXPECT_EQ(bench().openHandleCount(), DefaultBench::Count + 1); // the FT2232H has two
}

TEST_F(Recovery, AnotherUnitInTheSamePlaceIsNotAdopted)
{
    const Probe& alder = probes().front();
    ASSERT_EQ(alder.call(alder.index), 0);
    ASSERT_EQ(bench().unplug(DefaultBench::serial(alder.index)), 0);
    EXPECT_EQ(alder.call(alder.index), alder.failureCode);
    // List position 1 now holds the Cedar unit: index 1 must not take it over.
    bench().takeHostBytes(DefaultBench::serial(DefaultBench::Cedar));
    EXPECT_EQ(alder.call(alder.index), alder.failureCode);
    EXPECT_TRUE(bench().takeHostBytes(DefaultBench::serial(DefaultBench::Cedar)).isEmpty());
    EXPECT_EQ(bench()
                  .unitState(DefaultBench::serial(DefaultBench::Cedar))
                  .value(QStringLiteral("chip"))
                  .toObject()
                  .value(QStringLiteral("openHandles"))
                  .toInt(),
        0);
}
