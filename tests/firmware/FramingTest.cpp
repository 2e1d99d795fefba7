#include "UnitHarness.h"

using namespace UnitHarness;
using Packets::packet;

namespace {

const char* kRowan = R"({"serial":"QZAH04101","adcInput":1.0})";

TEST(Framing, SplitBatchedAndGarbledInputAnswersEachWholeRequestInOrder)
{
    auto rowan = unit(kRowan);
    const QByteArray first = packet(0x01020304, 0x40);
    for (int i = 0; i < first.size() - 1; ++i)
        EXPECT_TRUE(rowan->receive(0, first.mid(i, 1)).isEmpty()) << "after byte " << i;
    QList<QByteArray> replies
        = rowan->receive(0, first.right(1) + packet(8, 0x41) + packet(9, 0x40).left(5));
    ASSERT_EQ(replies.size(), 2);
    EXPECT_EQ(parse(replies.at(0)).id, 0x01020304u);
    EXPECT_EQ(parse(replies.at(1)).status, 1);
    EXPECT_EQ(rowan->state().value("pendingBytes").toInt(), 5);
    // Garbage is skipped and the raw entry code swallowed; the waiting partial packet is whole.
    replies = rowan->receive(0, packet(9, 0x40).mid(5) + hex("ff0006080703") + packet(11, 0x40));
    ASSERT_EQ(replies.size(), 2);
    EXPECT_EQ(parse(replies.at(0)).id, 9u);
    EXPECT_EQ(parse(replies.at(1)).id, 11u);
    EXPECT_EQ(rowan->state().value("ignoredBytes").toInt(), 5);
    EXPECT_EQ(rowan->state().value("bootloaderEntries").toInt(), 1);
}

TEST(Framing, RandomBytesNeverCrashAndLeaveTheUnitAnswering)
{
    for (const char* serial :
        {"QZAH01501", "QZBH01701", "QZAH01901", "QZAH02501", "QZAH04001", "QZAH04101"}) {
        auto any = FirmwareFactory::create(QJsonObject{{"serial", serial}});
        quint32 seed = 12345;
        QByteArray noise;
        for (int i = 0; i < 4000; ++i) {
            seed = seed * 1103515245u + 12345u;
            // Many request starts with random instructions and lengths, the rest plain noise.
            noise.append(static_cast<char>((seed >> 16) % 3 == 0 ? 0x05 : (seed >> 8) & 0xFF));
        }
        for (int i = 0; i < noise.size(); i += 37)
            any->receive(0, noise.mid(i, 37));
        // Zero filler completes whatever the noise left half done; then the unit answers again.
        any->receive(0, QByteArray(8 + 0xFFFF, '\x00'));
        EXPECT_EQ(any->state().value("pendingBytes").toInt(), 0) << serial;
        EXPECT_EQ(exchange(*any, 0x15).status, 0) << serial;
    }
}

// A block's packets as "type:length" items; every type 8 header repeats its first four bytes.
std::string layoutOf(const QByteArray& block)
{
    std::string layout;
    int pos = 0;
    while (pos < block.size()) {
        const int type = static_cast<quint8>(block.at(pos));
        const int header = type == 8 ? 8 : 2;
        if ((type != 7 && type != 8) || pos + header > block.size()
            || (type == 8 && block.mid(pos, 4) != block.mid(pos + 4, 4)))
            return "bad header";
        const int length
            = type == 8 ? wordAt(block, pos + 2) : static_cast<quint8>(block.at(pos + 1));
        pos += header + length;
        layout += (layout.empty() ? "" : " ") + std::to_string(type) + ":" + std::to_string(length);
    }
    return pos == block.size() ? layout : "overrun";
}

TEST(Stream, EachZeroByteYieldsOneBlockOfExactlyTheBlockSize)
{
    const std::pair<int, const char*> cases[] = {{512, "8:504"}, {8, "8:0"}, {9, "8:1"}, {2, "7:0"},
        {7, "7:5"}, {65544, "8:65534 7:0"}, {65543, "8:65535"}};
    for (const auto& [size, layout] : cases) {
        SCOPED_TRACE(size);
        auto cedar = FirmwareFactory::create(
            QJsonObject{{"serial", "QZBH01701"}, {"streamBlockSize", size}});
        const QList<QByteArray> blocks = cedar->receive(1, hex("00 00"));
        ASSERT_EQ(blocks.size(), 2);
        for (const QByteArray& block : blocks) {
            EXPECT_EQ(block.size(), size);
            EXPECT_EQ(layoutOf(block), layout);
        }
    }
}

TEST(Stream, PayloadIsARunningCounterAcrossBlocksAndOtherBytesAreIgnored)
{
    auto cedar
        = FirmwareFactory::create(QJsonObject{{"serial", "QZBH01701"}, {"streamBlockSize", 16}});
    const QList<QByteArray> blocks = cedar->receive(1, hex("01 00 ff 00"));
    ASSERT_EQ(blocks.size(), 2);
    EXPECT_EQ(text(blocks.at(0)), text(hex("08000800 08000800 0001020304050607")));
    EXPECT_EQ(text(blocks.at(1)), text(hex("08000800 08000800 08090a0b0c0d0e0f")));
    EXPECT_TRUE(cedar->receive(2, hex("00")).isEmpty());
}

} // namespace
