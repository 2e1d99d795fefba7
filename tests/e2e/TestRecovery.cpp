// Recovery through the exported functions: after line noise the failing call reports its family's
// code and the next call succeeds; a unit that is unplugged and plugged in again comes back under
// its own index.

#include "BenchTest.h"

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
    // A corrupted first byte of the reply, bytes the unit sends ahead of it (random ones, a
    // partial header and a header announcing 65535 bytes), or a reply with a short length field.
    std::vector<std::function<void(const char* serial)>> noises;
    for (int first : {0x00, 0x03, 0x06, 0xFF})
        noises.push_back([first](const char* s) { bench().corruptNextReply(s, first); });
    for (const QByteArray& bytes : {randomBytes(16, 16), randomBytes(64, 64),
             QByteArray::fromHex("056500"), QByteArray::fromHex("05010000000000ffff")})
        noises.push_back([bytes](const char* s) { bench().sendUnsolicited(s, 0, bytes); });
    // A reply whose length field is shorter than its data: the rest follows at once, or 1 ms
    // late, after the next call has purged the link.
    for (int tailMs : {0, 1})
        noises.push_back([tailMs](const char* s) { bench().misframeNextReply(s, 1, tailMs); });
    for (const Probe& probe : probes()) {
        const char* serial = DefaultBench::serial(probe.index);
        SCOPED_TRACE(serial);
        ASSERT_EQ(probe.call(probe.index), 0);
        for (std::size_t k = 0; k < noises.size(); ++k) {
            SCOPED_TRACE("noise " + std::to_string(k));
            noises[k](serial);
            EXPECT_EQ(probe.call(probe.index), probe.failureCode);
            EXPECT_EQ(probe.call(probe.index), 0);
            EXPECT_EQ(probe.call(probe.index), 0);
        }
    }
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
        EXPECT_EQ(probe.call(probe.index), probe.failureCode); // still away
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
    const QJsonValue cedar = bench().unitState(DefaultBench::serial(DefaultBench::Cedar))["chip"];
    EXPECT_EQ(cedar["openHandles"], 0);
}
