#include "UnitHarness.h"

#include <set>
#include <tuple>
#include <vector>

using namespace UnitHarness;

namespace {

// Every instruction byte a family knows, with data the host would send and the reply length it
// expects; every other byte from 0x20 up is rejected with status 1 and no data.
struct TableCase
{
    const char* name;
    const char* config;
    std::vector<std::tuple<int, const char*, int>> instructions;
    bool complete = true; // the list holds every byte the family knows
};

void PrintTo(const TableCase& table, std::ostream* os)
{
    *os << table.name;
}

class InstructionTable : public testing::TestWithParam<TableCase>
{
};

TEST_P(InstructionTable, KnownBytesAnswerWithTheirLengthAndOthersAreRejected)
{
    auto family = unit(GetParam().config);
    std::set<int> known;
    for (const auto& [instruction, data, length] : GetParam().instructions) {
        known.insert(instruction);
        const Reply reply = exchange(*family, instruction, hex(data));
        EXPECT_EQ(reply.status, 0) << std::hex << instruction;
        EXPECT_EQ(reply.data.size(), length) << std::hex << instruction;
    }
    for (int instruction = 0x20; instruction <= 0xFF && GetParam().complete; ++instruction) {
        if (known.count(instruction))
            continue;
        const Reply reply = exchange(*family, instruction);
        EXPECT_EQ(reply.status, 1) << std::hex << instruction;
        EXPECT_TRUE(reply.data.isEmpty()) << std::hex << instruction;
    }
}

const TableCase kTables[] = {
    {"Alder", R"({"serial":"QZAH01501"})",
     {{0x20, "00000000000000000000", 0}, {0x21, "01", 0}, {0x22, "", 0}, {0x23, "10270000", 0},
      {0x24, "0232", 0}, {0x25, "", 0}, {0x26, "", 0}, {0x27, "", 0}, {0x28, "", 0}, {0x29, "", 0},
      {0x40, "", 10}, {0x41, "", 1}, {0x42, "", 14}, {0x43, "", 4}, {0x44, "", 2}, {0x45, "", 150},
      {0x46, "", 5}}},
    {"Birch", R"({"serial":"QZAH04001"})", {{0x20, "000000000000", 0}, {0x40, "", 6}, {0x41, "", 4}}},
    {"CedarV1", R"({"serial":"QZBH01701","versionWords":[1,1,0,0,0]})",
     {{0x20, "01", 0}, {0x21, "0000", 0}, {0x22, "3f9c", 0}, {0x23, "ffff", 0}, {0x24, "", 0},
      {0x25, "10270000", 0}, {0x26, "0232", 0}, {0x27, "0632", 0}, {0x28, "", 0}, {0x29, "", 0},
      {0x2A, "", 0}, {0x2B, "", 0}, {0x2C, "", 0}, {0x2D, "", 0}, {0x2E, "", 0}, {0x2F, "", 0},
      {0x30, "", 0}, {0x31, "", 0}, {0x32, "", 0}, {0x33, "", 0}, {0x40, "", 1}, {0x41, "", 2},
      {0x42, "", 2}, {0x43, "", 2}, {0x44, "", 3}, {0x45, "", 4}, {0x46, "", 2}, {0x47, "", 2},
      {0x48, "", 150}, {0x49, "", 10}, {0x4A, "", 5}}},
    {"CedarV2", R"({"serial":"QZBH01701"})",
     {{0x21, "0000 00 e803 0000", 0}, {0x22, "3f9c 02 6400 1f4e", 0}, {0x23, "ffff 03 50c3 ffff", 0},
      {0x49, "", 10}},
     false},
    {"Generic19", R"({"serial":"QZAH01901"})",
     {{0x20, "a41d 2c01 0000 0000 0000 00 0000 d8d6", 0}, {0x21, "", 0}, {0x22, "", 0}, {0x23, "", 0},
      {0x40, "", 15}, {0x41, "", 20}, {0x42, "", 8}}},
    {"Generic25", R"({"serial":"QZAH02501"})",
     {{0x20, "a41d 2c01 0000 0000 0000 00 0000 d8d6", 0}, {0x21, "01", 0}, {0x22, "", 0}, {0x23, "", 0},
      {0x24, "", 0}, {0x25, "", 0}, {0x40, "", 15}, {0x41, "", 1}, {0x42, "", 20}, {0x43, "", 20},
      {0x44, "", 8}}},
    {"Rowan", R"({"serial":"QZAH04101"})", {{0x40, "", 4}}},
    {"BootloaderOnly", R"({"serial":"QZAH03901"})", {}},
};

INSTANTIATE_TEST_SUITE_P(Families, InstructionTable, testing::ValuesIn(kTables),
                         [](const testing::TestParamInfo<TableCase>& info) { return info.param.name; });

// Wrong data lengths and out-of-range values are rejected and leave the unit as it was.
struct BadRequest
{
    const char* config;
    int instruction;
    const char* data;
};

class BadRequests : public testing::TestWithParam<BadRequest>
{
};

TEST_P(BadRequests, RejectedWithStatusOneAndNoChange)
{
    auto family = unit(GetParam().config);
    QJsonObject before = family->state();
    const Reply reply = exchange(*family, GetParam().instruction, hex(GetParam().data));
    EXPECT_EQ(reply.status, 1);
    EXPECT_TRUE(reply.data.isEmpty());
    QJsonObject after = family->state();
    // Only the request log may differ.
    for (const char* key : {"instructionCounts", "lastPayloads", "lastStatus", "requests"}) {
        before.remove(key);
        after.remove(key);
    }
    EXPECT_EQ(before, after);
}

INSTANTIATE_TEST_SUITE_P(
    Families, BadRequests,
    testing::Values(BadRequest{R"({"serial":"QZAH01501"})", 0x20, "000000000000000000"},
                    BadRequest{R"({"serial":"QZAH01501"})", 0x21, "02"},
                    BadRequest{R"({"serial":"QZAH01501"})", 0x23, "102700"},
                    BadRequest{R"({"serial":"QZAH01501"})", 0x24, "0265"},
                    BadRequest{R"({"serial":"QZAH01501"})", 0x46, "00"},
                    BadRequest{R"({"serial":"QZAH04001"})", 0x20, "0000000000"},
                    BadRequest{R"({"serial":"QZAH04001"})", 0x41, "00"},
                    BadRequest{R"({"serial":"QZBH01701","versionWords":[1,1,0,0,0]})", 0x21, "0000 00 e803 0000"},
                    BadRequest{R"({"serial":"QZBH01701"})", 0x21, "0000"},
                    BadRequest{R"({"serial":"QZBH01701"})", 0x22, "3f9c 04 6400 1f4e"},
                    BadRequest{R"({"serial":"QZBH01701"})", 0x20, "03"},
                    BadRequest{R"({"serial":"QZBH01701"})", 0x2A, "01"},
                    BadRequest{R"({"serial":"QZAH01901"})", 0x20, "a41d"},
                    BadRequest{R"({"serial":"QZAH02501"})", 0x21, "02"},
                    BadRequest{R"({"serial":"QZAH04101"})", 0x40, "00"},
                    BadRequest{R"({"serial":"QZAH04101"})", 0x13, ""},
                    BadRequest{R"({"serial":"QZAH04101"})", 0x02, ""},
                    BadRequest{R"({"serial":"QZAH04101"})", 0x12, "80"},
                    BadRequest{R"({"serial":"QZAH04101"})", 0x14, "00"}));

} // namespace
