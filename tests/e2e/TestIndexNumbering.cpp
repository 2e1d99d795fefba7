// Index numbering: within a session an index names one unit, attached or away, wherever the unit
// is plugged back in; the answers about an index and the unit a call on it reaches agree.

#include "BenchTest.h"

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

int slotOf(const std::string& serial)
{
    for (int slot = 1; slot <= DefaultBench::Count; ++slot)
        if (serial == DefaultBench::serial(slot))
            return slot;
    return 0;
}

struct Action
{
    char kind; // 'u' unplug, 'r' replug, 'a' replug at position and location, 'o' open
    int slot;
    int position = 0;
    unsigned location = 0;
};

struct Step
{
    const char* what;
    std::vector<Action> actions;
};

} // namespace

class IndexNumbering : public BenchTest
{
protected:
    void SetUp() override
    {
        BenchTest::SetUp();
        for (int slot = 1; slot <= DefaultBench::Count; ++slot)
            ASSERT_EQ(getSupportedOperations(slot, &m_operations[slot]), 0);
    }

    const char* serial(int slot) const { return DefaultBench::serial(slot); }

    // The serials whose wire log shows a request since the last take.
    std::set<std::string> reached()
    {
        std::set<std::string> serials;
        for (int slot = 1; slot <= DefaultBench::Count; ++slot)
            if (!bench().takeHostBytes(serial(slot)).isEmpty())
                serials.insert(serial(slot));
        return serials;
    }

    void act(const Action& action)
    {
        const char* s = serial(action.slot);
        // An open unit pulled out: the library learns of it from the next call on it.
        if (m_opened.count(action.slot)
            && (action.kind == 'u' || (action.kind == 'a' && !m_away.count(action.slot))))
            m_stale.insert(action.slot);
        switch (action.kind) {
        case 'u':
            ASSERT_EQ(bench().unplug(s), 0);
            m_away.insert(action.slot);
            break;
        case 'r':
            ASSERT_EQ(bench().replug(s), 0);
            m_away.erase(action.slot);
            break;
        case 'a':
            ASSERT_EQ(bench().replugAt(s, action.position, action.location), 0);
            m_away.erase(action.slot);
            break;
        default:
            ASSERT_EQ(probes().at(action.slot - 1).call(m_indexOf.at(action.slot)), 0);
            m_opened.insert(action.slot);
        }
    }

    // Everything the library says about each index agrees with the unit the index named first.
    void checkEveryIndex()
    {
        int highest = -1, count = -1;
        ASSERT_EQ(getHighestDeviceIndex(&highest), 0);
        ASSERT_EQ(getDeviceCount(&count), 0);
        EXPECT_EQ(highest, DefaultBench::Count);
        EXPECT_EQ(count, DefaultBench::Count - int(m_away.size()));
        for (int index = 1; index <= highest; ++index) {
            SCOPED_TRACE("index " + std::to_string(index));
            const int lists = bench().callCount("FT_CreateDeviceInfoList");
            char text[32] = "";
            char family[16] = "";
            unsigned operations = 0;
            ASSERT_EQ(getDeviceSerialNumber(index, text, sizeof text), 0);
            ASSERT_EQ(getFamilyName(index, family, sizeof family), 0);
            ASSERT_EQ(getSupportedOperations(index, &operations), 0);
            EXPECT_EQ(bench().callCount("FT_CreateDeviceInfoList"), lists);
            const int slot = slotOf(text);
            ASSERT_NE(slot, 0) << text;
            const auto named = m_indexOf.emplace(slot, index).first;
            EXPECT_EQ(named->second, index) << text;
            EXPECT_EQ(family, DefaultBench::unit(slot)->family);
            EXPECT_EQ(operations, m_operations[slot]);

            const bool away = m_away.count(slot) > 0;
            const bool opened = m_opened.count(slot) > 0;
            int found = -1;
            EXPECT_EQ(getDeviceIndex(text, &found), away && !opened ? 6 : 0);
            if (!away || opened) {
                EXPECT_EQ(found, index);
            }
            // An attached unit never opened stays so: probing it would open it.
            if (away || opened) {
                const Probe& probe = probes().at(slot - 1);
                // The call that finds the old connection gone fails; the next one opens it again.
                if (m_stale.erase(slot) && !away) {
                    EXPECT_EQ(probe.call(index), probe.failureCode);
                }
                reached();
                EXPECT_EQ(probe.call(index), !away ? 0 : opened ? probe.failureCode : 3);
                EXPECT_EQ(reached(), away ? std::set<std::string>{} : std::set<std::string>{text});
            }
        }
    }

    std::map<int, unsigned> m_operations; // default-bench slot to its operations
    std::map<int, int> m_indexOf; // default-bench slot to the index that named it
    std::set<int> m_away;
    std::set<int> m_opened;
    std::set<int> m_stale; // opened, then pulled out with no call on it since
};

TEST_F(IndexNumbering, AnIndexNamesOneUnitThroughUnplugsAndReplugsAnywhere)
{
    using namespace DefaultBench;
    const std::vector<Step> steps = {
        {"numbered in list order", {}},
        {"some opened", {{'o', Alder}, {'o', Generic19}, {'o', Rowan}, {'o', Birch}}},
        {"first away, opened", {{'u', Alder}}},
        {"last away (opened) and Cedar (never opened) at once", {{'u', Rowan}, {'u', Cedar}}},
        {"last back first, elsewhere", {{'a', Rowan, 1, 0x900}}},
        {"first back last, elsewhere", {{'a', Alder, 99, 0x910}}},
        {"one never opened and one opened away", {{'u', Generic25}, {'u', Birch}}},
        {"one back in between", {{'a', Birch, 2, 0x920}}},
        {"Cedar back and opened", {{'a', Cedar, 3, 0x930}, {'o', Cedar}}},
        {"all back, 25/1 first", {{'a', Generic25, 1, 0x940}}},
        {"19/1 moved at once", {{'a', Generic19, 1, 0x950}}},
        {"plain replug after a move", {{'u', Rowan}, {'r', Rowan}, {'o', Generic25}}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        for (const Action& action : step.actions)
            ASSERT_NO_FATAL_FAILURE(act(action));
        ASSERT_NO_FATAL_FAILURE(checkEveryIndex());
    }
    // Every unit opened is open once (the FT2232H on two channels): no connection was left behind.
    EXPECT_EQ(bench().openHandleCount(), int(m_opened.size()) + 1);
    // A new session numbers afresh: a unit away then names no index.
    ASSERT_EQ(bench().unplug(serial(Alder)), 0);
    ASSERT_EQ(initialiseSession(), 0);
    int highest = 0;
    EXPECT_EQ(getHighestDeviceIndex(&highest), 0);
    EXPECT_EQ(highest, DefaultBench::Count - 1);
}

TEST_F(IndexNumbering, OpenedGenericUnitsAwayFailWithTheirExchangeCodesUntilBack)
{
    using namespace DefaultBench;
    ASSERT_EQ(setVoltage(Generic19, 1, 100, 10), 0);
    ASSERT_EQ(setPolarity(Generic25, 1, 1), 0);
    ASSERT_EQ(bench().unplug(serial(Generic19)), 0);
    ASSERT_EQ(bench().unplug(serial(Generic25)), 0);
    for (int attempt = 0; attempt < 3; ++attempt) {
        EXPECT_EQ(setVoltage(Generic19, 1, 100, 10), 21);
        EXPECT_EQ(setVoltage(Generic25, 1, 100, 10), 21);
        EXPECT_EQ(setPolarity(Generic25, 1, 0), 23);
    }
    unsigned operations = 0;
    EXPECT_EQ(getSupportedOperations(Generic25, &operations), 0);
    EXPECT_NE(operations & KAVRA_OPERATION_SET_POLARITY, 0u);
    ASSERT_EQ(bench().replugAt(serial(Generic25), 1, 0x700), 0);
    ASSERT_EQ(bench().replug(serial(Generic19)), 0);
    bench().takeHostBytes(serial(Generic25));
    EXPECT_EQ(setVoltage(Generic19, 1, 100, 10), 0);
    EXPECT_EQ(setPolarity(Generic25, 1, 0), 0);
    EXPECT_EQ(setVoltage(Generic25, 1, 100, 10), 0);
    EXPECT_FALSE(bench().takeHostBytes(serial(Generic25)).isEmpty());
}
