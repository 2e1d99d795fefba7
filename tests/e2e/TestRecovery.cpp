// Recovery through the exported functions: after line noise the failing call reports its family's
// code and the next call succeeds; an unplugged unit's place is not taken by another. (A unit that
// is unplugged and plugged in again: IndexNumbering.)

#include "BenchTest.h"

#include <functional>
#include <random>

namespace {

bool g_flag;
char g_text[256];
double g_value;

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

TEST_F(Recovery, EveryFailureKeepsItsCauseUntilTheNextSuccess)
{
    const int unit = DefaultBench::Generic19;
    const char* serial = DefaultBench::serial(unit);
    const auto status = [unit] { return getSupplyStatus(unit, &g_flag, g_text); };
    const auto lastError = [](int index) {
        char text[512] = "untouched";
        const int code = getLastErrorText(index, text, sizeof text);
        return std::to_string(code) + " " + text;
    };
    EXPECT_EQ(lastError(unit), "0 "); // not opened yet
    ASSERT_EQ(status(), 0);
    EXPECT_EQ(lastError(unit), "0 ");

    struct Case
    {
        std::function<void()> fault;
        std::function<int()> call;
        int code;
        std::string text; // after "<operation> on <serial>: "
    };
    const std::string refused = "getSupplyStatus on " + std::string(serial) + ": ";
    const Case cases[] = {
        {[&] { bench().unplug(serial); }, status, 31,
            refused + "unit disconnected (FT_IO_ERROR: Communication error)"},
        {[&] { bench().corruptNextReply(serial, 0x06); }, status, 31,
            refused
                + "reply not understood (Communication stream is corrupted: first byte 0x06, "
                  "expected 0x05)"},
        {[&] { bench().misframeNextReply(serial, 1, 0); }, status, 31,
            refused + "reply not understood (Unexpected packet length.)"},
        {[&] { bench().sendUnsolicited(serial, 0, QByteArray::fromHex("0501000000000010")); },
            status, 31, refused + "reply cut short (Communication timed out)"},
        {[&] { bench().setStatusOverride(serial, 0x42, 1); }, status, 31,
            refused
                + "unit refused the instruction (Instruction was not recognised by target "
                  "device)"},
        {[&] { bench().failWrites(serial, 1); }, status, 31,
            refused + "USB transfer failed (FT_FAILED_TO_WRITE_DEVICE: Unable to write)"},
        {[&] { bench().dropReplies(serial, 1); }, status, 31,
            refused + "no reply within 4000 ms (Communication timed out)"},
        {[] {}, [unit] { return setVoltage(unit, 1, 6000, 10); }, 19,
            "setVoltage on " + std::string(serial) + ": voltage out of range (status 19)"},
        {[] {}, [unit] { return getADCValue(unit, &g_value); }, 10,
            "getADCValue on " + std::string(serial)
                + ": the operation is not supported by the unit's family (status 10)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        c.fault();
        EXPECT_EQ(c.call(), c.code);
        EXPECT_EQ(lastError(unit), "0 " + c.text);
        bench().setStatusOverride(serial, 0x42, -1);
        if (!bench().unitState(serial)["chip"].toObject()["plugged"].toBool()) {
            // Away, every call says so until the unit is back.
            EXPECT_EQ(status(), 31);
            EXPECT_EQ(lastError(unit), "0 " + refused + "unit disconnected (No device is open)");
            ASSERT_EQ(bench().replug(serial), 0);
        }
        EXPECT_EQ(status(), 0);
        EXPECT_EQ(lastError(unit), "0 ");
    }

    char text[8] = "kept";
    EXPECT_EQ(setVoltage(unit, 1, 6000, 10), 19);
    EXPECT_EQ(getLastErrorText(unit, text, 8), 38);
    EXPECT_EQ(getLastErrorText(unit, nullptr, 512), 38);
    EXPECT_STREQ(text, "kept");
    EXPECT_EQ(lastError(DefaultBench::Count + 1), "1 untouched");
    EXPECT_EQ(lastError(0), "1 untouched");
}
