#include "UnitHarness.h"

#include <QJsonObject>

using namespace UnitHarness;

namespace {

const char* kRowan = R"({"serial":"QZAH04101","adcInput":1.0})";

TEST(Framing, ReplyEchoesTheRequestIdAndCarriesStatusAndLength)
{
    auto rowan = unit(kRowan);
    const QList<QByteArray> replies = rowan->receive(0, hex("05efbeadde4000 00"));
    ASSERT_EQ(replies.size(), 1);
    EXPECT_EQ(text(replies.first()), text(hex("05efbeadde000400c8000000")));
}

TEST(Framing, RequestSplitAtEveryByteAnswersOnceWhenComplete)
{
    auto rowan = unit(kRowan);
    const QByteArray packet = request(0x01020304, 0x40);
    for (int i = 0; i < packet.size() - 1; ++i)
        EXPECT_TRUE(rowan->receive(0, packet.mid(i, 1)).isEmpty()) << "after byte " << i;
    const QList<QByteArray> replies = rowan->receive(0, packet.right(1));
    ASSERT_EQ(replies.size(), 1);
    EXPECT_EQ(parse(replies.first()).id, 0x01020304u);
    EXPECT_EQ(rowan->state().value("pendingBytes").toInt(), 0);
}

TEST(Framing, SeveralRequestsInOneWriteAnswerInOrder)
{
    auto rowan = unit(kRowan);
    const QList<QByteArray> replies =
        rowan->receive(0, request(7, 0x40) + request(8, 0x41) + request(9, 0x40).left(5));
    ASSERT_EQ(replies.size(), 2);
    EXPECT_EQ(parse(replies.at(0)).id, 7u);
    EXPECT_EQ(parse(replies.at(0)).status, 0);
    EXPECT_EQ(parse(replies.at(1)).id, 8u);
    EXPECT_EQ(parse(replies.at(1)).status, 1);
    EXPECT_EQ(rowan->state().value("pendingBytes").toInt(), 5);
}

TEST(Framing, GarbageIsSkippedUntilTheNextRequest)
{
    auto rowan = unit(kRowan);
    // 0x03 is the raw bootloader entry and is swallowed silently; the rest is noise.
    const QList<QByteArray> replies = rowan->receive(0, hex("ff0006080703") + request(11, 0x40));
    ASSERT_EQ(replies.size(), 1);
    EXPECT_EQ(parse(replies.first()).id, 11u);
    const QJsonObject state = rowan->state();
    EXPECT_EQ(state.value("ignoredBytes").toInt(), 5);
    EXPECT_EQ(state.value("bootloaderEntries").toInt(), 1);
}

TEST(Framing, RawBootloaderEntryGetsNoAnswerOnAnyModel)
{
    for (const char* serial : {"QZAH01501", "QZAH01701", "QZAH01901", "QZAH02501", "QZAH03901", "QZAH04001",
                               "QZAH04101", "bogus"}) {
        auto any = SimUnit::create(QJsonObject{{"serial", serial}});
        EXPECT_TRUE(any->receive(0, hex("03")).isEmpty()) << serial;
        EXPECT_EQ(any->state().value("bootloaderEntries").toInt(), 1) << serial;
    }
}

TEST(Framing, RandomBytesNeverCrashAndLeaveTheUnitAnswering)
{
    for (const char* serial : {"QZAH01501", "QZBH01701", "QZAH01901", "QZAH02501", "QZAH04001", "QZAH04101"}) {
        auto any = SimUnit::create(QJsonObject{{"serial", serial}});
        quint32 seed = 12345;
        QByteArray noise;
        for (int i = 0; i < 4000; ++i) {
            seed = seed * 1103515245u + 12345u;
            // Mostly request headers with random instructions and short lengths, some plain noise.
            noise.append(static_cast<char>((seed >> 16) % 3 == 0 ? 0x05 : (seed >> 8) & 0xFF));
        }
        for (int i = 0; i < noise.size(); i += 37)
            any->receive(0, noise.mid(i, 37));
        // Whatever half packet the noise left behind is completed by filler, then the unit answers.
        const int pending = any->state().value("pendingBytes").toInt();
        ASSERT_LE(pending, 8 + 0xFFFF) << serial;
        any->receive(0, QByteArray(8 + 0xFFFF, '\x00'));
        EXPECT_EQ(any->state().value("pendingBytes").toInt(), 0) << serial;
        const QList<QByteArray> replies = any->receive(0, request(99, 0x15));
        ASSERT_EQ(replies.size(), 1) << serial;
        EXPECT_EQ(parse(replies.first()).status, 0) << serial;
    }
}

TEST(Framing, UnknownChannelIsIgnored)
{
    auto rowan = unit(kRowan);
    EXPECT_TRUE(rowan->receive(2, request(1, 0x40)).isEmpty());
    EXPECT_TRUE(rowan->receive(-1, request(1, 0x40)).isEmpty());
}

TEST(Framing, StatusOverrideAnswersWithoutDataAndWithoutEffectUntilRemoved)
{
    auto birch = unit(R"({"serial":"QZAH04001"})");
    birch->setStatusOverride(0x20, 0x20);
    Reply reply = exchange(*birch, 0x20, hex("e803 10270000"));
    EXPECT_EQ(reply.status, 0x20);
    EXPECT_TRUE(reply.data.isEmpty());
    EXPECT_EQ(birch->state().value("voltage").toInt(), 0);
    EXPECT_EQ(birch->state().value("statusOverrides").toObject().value("0x20").toInt(), 0x20);

    birch->setStatusOverride(0x40, 2);
    EXPECT_EQ(exchange(*birch, 0x40).status, 2);
    birch->setStatusOverride(0x12, 3); // bootloader instructions can be overridden as well
    EXPECT_EQ(exchange(*birch, 0x12).status, 3);

    birch->setStatusOverride(0x20, -1);
    EXPECT_EQ(exchange(*birch, 0x20, hex("e803 10270000")).status, 0);
    EXPECT_EQ(birch->state().value("voltage").toInt(), 1000);
    EXPECT_EQ(exchange(*birch, 0x40).status, 2);
}

TEST(Framing, RequestLogCountsAndKeepsTheLastPayloadAndStatus)
{
    auto birch = unit(R"({"serial":"QZAH04001"})");
    exchange(*birch, 0x20, hex("0100 00000000"));
    exchange(*birch, 0x20, hex("0200 00000000"));
    exchange(*birch, 0x20, hex("03"));
    const QJsonObject state = birch->state();
    EXPECT_EQ(state.value("instructionCounts").toObject().value("0x20").toInt(), 3);
    EXPECT_EQ(state.value("lastPayloads").toObject().value("0x20").toString(), "03");
    EXPECT_EQ(state.value("lastStatus").toObject().value("0x20").toInt(), 1);
    EXPECT_EQ(state.value("voltage").toInt(), 2); // the rejected request changed nothing
    EXPECT_EQ(state.value("requests").toInt(), 3);
}

struct StreamCase
{
    int blockSize;
    const char* layout; // packet types and payload lengths, in order
};

class StreamBlocks : public testing::TestWithParam<StreamCase>
{
};

// Walks a block packet by packet; every type 8 header repeats its first four bytes.
std::string layoutOf(const QByteArray& block)
{
    std::string layout;
    int pos = 0;
    while (pos < block.size()) {
        const int type = static_cast<quint8>(block.at(pos));
        int length = 0;
        if (type == 8 && pos + 8 <= block.size()) {
            if (block.mid(pos, 4) != block.mid(pos + 4, 4))
                return "bad type 8 header";
            length = static_cast<quint8>(block.at(pos + 2)) | static_cast<quint8>(block.at(pos + 3)) << 8;
            pos += 8 + length;
        } else if (type == 7 && pos + 2 <= block.size()) {
            length = static_cast<quint8>(block.at(pos + 1));
            pos += 2 + length;
        } else {
            return "bad packet type";
        }
        layout += (layout.empty() ? "" : " ") + std::to_string(type) + ":" + std::to_string(length);
    }
    return pos == block.size() ? layout : "overrun";
}

TEST_P(StreamBlocks, EachZeroByteYieldsOneBlockOfExactlyTheBlockSize)
{
    auto unitUnderTest = SimUnit::create(QJsonObject{{"serial", "QZBH01701"}, {"streamBlockSize", GetParam().blockSize}});
    const QList<QByteArray> blocks = unitUnderTest->receive(1, hex("00 00"));
    ASSERT_EQ(blocks.size(), 2);
    for (const QByteArray& block : blocks) {
        EXPECT_EQ(block.size(), GetParam().blockSize);
        EXPECT_EQ(layoutOf(block), GetParam().layout);
    }
    EXPECT_EQ(unitUnderTest->state().value("streamBlocks").toInt(), 2);
}

INSTANTIATE_TEST_SUITE_P(Sizes, StreamBlocks,
                         testing::Values(StreamCase{512, "8:504"}, StreamCase{8, "8:0"}, StreamCase{9, "8:1"},
                                         StreamCase{2, "7:0"}, StreamCase{7, "7:5"},
                                         StreamCase{65544, "8:65534 7:0"}, StreamCase{65545, "8:65535 7:0"},
                                         StreamCase{65543, "8:65535"}));

TEST(Stream, PayloadIsARunningCounterAcrossBlocksAndOtherBytesAreIgnored)
{
    auto cedar = SimUnit::create(QJsonObject{{"serial", "QZBH01701"}, {"streamBlockSize", 16}});
    const QList<QByteArray> blocks = cedar->receive(1, hex("01 00 ff 00"));
    ASSERT_EQ(blocks.size(), 2);
    EXPECT_EQ(text(blocks.at(0)), text(hex("08000800 08000800 0001020304050607")));
    EXPECT_EQ(text(blocks.at(1)), text(hex("08000800 08000800 08090a0b0c0d0e0f")));
    EXPECT_EQ(cedar->state().value("ignoredBytes").toInt(), 2);
}

} // namespace
