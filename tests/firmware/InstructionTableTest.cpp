#include "UnitHarness.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace UnitHarness;

namespace {

// The bytes a family knows: settings from 0x20 up, whose data is checked elsewhere, and reads
// from 0x40 up, listed by their reply lengths. Every other byte from 0x20 up is rejected with
// status 1 and no data.
struct TableCase
{
    const char* name;
    const char* config;
    int lastSetting; // 0x1F: none
    std::vector<int> readLengths;
};

void PrintTo(const TableCase& table, std::ostream* os)
{
    *os << table.name;
}

class InstructionTable : public testing::TestWithParam<TableCase>
{ };

TEST_P(InstructionTable, ReadsAnswerWithTheirLengthAndUnknownBytesAreRejected)
{
    const TableCase& c = GetParam();
    auto family = unit(c.config);
    const int lastRead = 0x40 + int(c.readLengths.size()) - 1;
    for (int instruction = 0x20; instruction <= 0xFF; ++instruction) {
        if (instruction <= c.lastSetting)
            continue;
        const Reply reply = exchange(*family, instruction);
        const bool read = instruction >= 0x40 && instruction <= lastRead;
        EXPECT_EQ(reply.status, read ? 0 : 1) << std::hex << instruction;
        EXPECT_EQ(reply.data.size(), read ? c.readLengths[instruction - 0x40] : 0)
            << std::hex << instruction;
    }
}

INSTANTIATE_TEST_SUITE_P(Families, InstructionTable,
    testing::Values(
        TableCase{"Alder", R"({"serial":"QZAH01501"})", 0x29, {10, 1, 14, 4, 2, 150, 5}},
        TableCase{"Birch", R"({"serial":"QZAH04001"})", 0x20, {6, 4}},
        TableCase{"Cedar", R"({"serial":"QZBH01701"})", 0x33, {1, 2, 2, 2, 3, 4, 2, 2, 150, 10, 5}},
        TableCase{"Generic19", R"({"serial":"QZAH01901"})", 0x23, {15, 20, 8}},
        TableCase{"Generic25", R"({"serial":"QZAH02501"})", 0x25, {15, 1, 20, 20, 8}},
        TableCase{"Rowan", R"({"serial":"QZAH04101"})", 0x1F, {4}},
        TableCase{"BootloaderOnly", R"({"serial":"QZAH03901"})", 0x1F, {}}),
    [](const testing::TestParamInfo<TableCase>& info) { return info.param.name; });

// Wrong data lengths and out-of-range values are rejected and leave the unit as it was.
class BadRequests : public testing::TestWithParam<std::tuple<const char*, int, const char*>>
{ };

TEST_P(BadRequests, RejectedWithStatusOneAndNoChange)
{
    const auto [config, instruction, data] = GetParam();
    auto family = unit(config);
    QJsonObject before = family->state();
    const Reply reply = exchange(*family, instruction, hex(data));
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

INSTANTIATE_TEST_SUITE_P(Families, BadRequests,
    testing::Values(std::make_tuple(R"({"serial":"QZAH01501"})", 0x20, "000000000000000000"),
        std::make_tuple(R"({"serial":"QZAH01501"})", 0x21, "02"),
        std::make_tuple(R"({"serial":"QZAH01501"})", 0x24, "0265"),
        std::make_tuple(R"({"serial":"QZAH04001"})", 0x20, "0000000000"),
        std::make_tuple(
            R"({"serial":"QZBH01701","versionWords":[1,1,0,0,0]})", 0x21, "0000 00 e803 0000"),
        std::make_tuple(R"({"serial":"QZBH01701"})", 0x21, "0000"),
        std::make_tuple(R"({"serial":"QZBH01701"})", 0x22, "3f9c 04 6400 1f4e"),
        std::make_tuple(R"({"serial":"QZBH01701"})", 0x20, "03"),
        std::make_tuple(R"({"serial":"QZAH01901"})", 0x20, "a41d"),
        std::make_tuple(R"({"serial":"QZAH02501"})", 0x21, "02"),
        std::make_tuple(R"({"serial":"QZAH04101"})", 0x40, "00"),
        std::make_tuple(R"({"serial":"QZAH04101"})", 0x13, ""),
        std::make_tuple(R"({"serial":"QZAH04101"})", 0x12, "80")),
    // "QZAH01501_21_02": the unit's serial number, the instruction byte and the data bytes.
    // (No top-level comma in the generator: the macro splits its arguments there.)
    [](const auto& info) {
        char byte[9];
        std::snprintf(byte, sizeof byte, "%02x", std::get<1>(info.param));
        std::string bytes(std::get<2>(info.param));
        bytes.erase(std::remove(bytes.begin(), bytes.end(), ' '), bytes.end());
        return std::string(std::get<0>(info.param)).substr(11, 9) + "_" + byte + "_"
            + (bytes.empty() ? "none" : bytes);
    });

} // namespace
