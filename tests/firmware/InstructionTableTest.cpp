#include "UnitHarness.h"

#include <string>
#include <tuple>
#include <vector>

using namespace UnitHarness;

// The bytes a family knows: settings from 0x20 up, whose data is checked elsewhere, and reads
// from 0x40 up, listed by their reply lengths. Every other byte from 0x20 up is rejected with
// status 1 and no data.
TEST(InstructionTable, ReadsAnswerWithTheirLengthAndUnknownBytesAreRejected)
{
    struct TableCase
    {
        const char* config;
        int lastSetting; // 0x1F: none
        std::vector<int> readLengths;
    };
    const TableCase cases[] = {
        {R"({"serial":"QZAH01501"})", 0x29, {10, 1, 14, 4, 2, 150, 5}},
        {R"({"serial":"QZAH04001"})", 0x20, {6, 4}},
        {R"({"serial":"QZBH01701"})", 0x33, {1, 2, 2, 2, 3, 4, 2, 2, 150, 10, 5}},
        {R"({"serial":"QZAH01901"})", 0x23, {15, 20, 8}},
        {R"({"serial":"QZAH02501"})", 0x25, {15, 1, 20, 20, 8}},
        {R"({"serial":"QZAH04101"})", 0x1F, {4}},
        {R"({"serial":"QZAH03901"})", 0x1F, {}}, // the bootloader only
    };
    for (const TableCase& c : cases) {
        SCOPED_TRACE(c.config);
        auto family = unit(c.config);
        const int lastRead = 0x40 + int(c.readLengths.size()) - 1;
        for (int instruction = c.lastSetting + 1; instruction <= 0xFF; ++instruction) {
            const Reply reply = exchange(*family, instruction);
            const bool read = instruction >= 0x40 && instruction <= lastRead;
            EXPECT_EQ(reply.status, read ? 0 : 1) << std::hex << instruction;
            EXPECT_EQ(reply.data.size(), read ? c.readLengths[instruction - 0x40] : 0)
                << std::hex << instruction;
        }
    }
}

// Wrong data lengths and out-of-range values are rejected and leave the unit as it was.
TEST(BadRequests, RejectedWithStatusOneAndNoChange)
{
    const std::tuple<const char*, int, const char*> cases[] = {
        {R"({"serial":"QZAH01501"})", 0x20, "000000000000000000"},
        {R"({"serial":"QZAH01501"})", 0x21, "02"},
        {R"({"serial":"QZAH01501"})", 0x24, "0265"},
        {R"({"serial":"QZAH04001"})", 0x20, "0000000000"},
        {R"({"serial":"QZBH01701","versionWords":[1,1,0,0,0]})", 0x21, "0000 00 e803 0000"},
        {R"({"serial":"QZBH01701"})", 0x21, "0000"},
        {R"({"serial":"QZBH01701"})", 0x22, "3f9c 04 6400 1f4e"},
        {R"({"serial":"QZBH01701"})", 0x20, "03"},
        {R"({"serial":"QZAH01901"})", 0x20, "a41d"},
        {R"({"serial":"QZAH02501"})", 0x21, "02"},
        {R"({"serial":"QZAH04101"})", 0x40, "00"},
        {R"({"serial":"QZAH04101"})", 0x13, ""},
        {R"({"serial":"QZAH04101"})", 0x12, "80"},
    };
    for (const auto& [config, instruction, data] : cases) {
        SCOPED_TRACE(std::string(config) + " " + std::to_string(instruction) + " " + data);
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
}
