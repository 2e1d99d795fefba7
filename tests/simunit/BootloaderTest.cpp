#include "UnitHarness.h"

#include <QJsonObject>

using namespace UnitHarness;

namespace {

// Big-endian word of the identification page.
int pageWord(const QByteArray& page, int offset)
{
    return static_cast<quint8>(page.at(offset)) << 8 | static_cast<quint8>(page.at(offset + 1));
}

QString pageText(const QByteArray& page, int offset, int width)
{
    const QByteArray field = page.mid(offset, width);
    const int end = field.indexOf('\0');
    return QString::fromLatin1(end < 0 ? field : field.left(end));
}

struct SizeCase
{
    const char* config;
    const char* reply;
};

class PageSizeReply : public testing::TestWithParam<SizeCase>
{
};

TEST_P(PageSizeReply, AnnouncesThePageInTheConfiguredForm)
{
    auto any = unit(GetParam().config);
    const Reply reply = exchange(*any, 0x14);
    EXPECT_EQ(reply.status, 0);
    EXPECT_EQ(text(reply.data), text(hex(GetParam().reply)));
}

INSTANTIATE_TEST_SUITE_P(
    Forms, PageSizeReply,
    testing::Values(SizeCase{R"({"serial":"QZAH01501"})", "0080"},
                    SizeCase{R"({"serial":"QZAH01501","pageSizeForm":4})", "ff008000"},
                    SizeCase{R"({"serial":"QZAH01501","pageSizeForm":4,"pageFlag":true,"pageSize":300})", "ff012c01"},
                    SizeCase{R"({"serial":"QZAH03901","pageSize":99})", "0063"}));

TEST(Bootloader, EveryModelAnswersTheIdentificationSequence)
{
    for (const char* serial : {"QZAH01501", "QZBH01701", "QZAH01901", "QZAH02501", "QZAH03901", "QZAH04001",
                               "QZAH04101", "QZAH09901"}) {
        auto any = SimUnit::create(QJsonObject{{"serial", serial}});
        EXPECT_TRUE(any->receive(0, hex("03")).isEmpty());
        EXPECT_EQ(text(exchange(*any, 0x14).data), text(hex("0080"))) << serial;
        const Reply started = exchange(*any, 0x15);
        EXPECT_EQ(started.status, 0) << serial;
        EXPECT_TRUE(started.data.isEmpty()) << serial;
        const Reply page = exchange(*any, 0x12);
        EXPECT_EQ(page.status, 0) << serial;
        ASSERT_EQ(page.data.size(), 130) << serial;
        EXPECT_EQ(text(page.data.left(3)), text(hex("3572d1"))) << serial;
        EXPECT_EQ(text(page.data.right(2)), "ff ff") << serial;
        EXPECT_EQ(pageText(page.data, 44, 16), QString::fromLatin1(serial)) << serial;
        EXPECT_EQ(pageWord(page.data, 64), 1 + (QByteArray(serial).mid(4, 3) == "017")) << serial;
    }
}

TEST(Bootloader, FormatOnePageLayout)
{
    auto alder = unit(R"({"serial":"QZAH015010042","identityText":"Alder bench unit",
                          "headerWords":[4660,22136],"versionWords":[1,7,8,9,10]})");
    const QByteArray page = exchange(*alder, 0x12).data.left(128);
    EXPECT_EQ(page.at(3), 1);
    EXPECT_EQ(pageText(page, 4, 40), "Alder bench unit");
    EXPECT_EQ(pageText(page, 44, 16), "QZAH015010042");
    EXPECT_EQ(text(page.mid(60, 14)), text(hex("1234 5678 0001 0007 0008 0009 000a")));
    EXPECT_EQ(page.mid(74), QByteArray(128 - 74, '\0'));
}

TEST(Bootloader, FormatTwoPageCarriesExtraWordAndEntries)
{
    auto cedar = unit(R"({"serial":"QZBH01701","extraWord":513,
        "entries":[{"name":"main","values":[1,2,3,4]},{"name":"boot","values":[65535]}]})");
    const QByteArray page = exchange(*cedar, 0x12).data.left(128);
    EXPECT_EQ(page.at(3), 2); // a B serial number defaults to format 2
    EXPECT_EQ(text(page.mid(64, 12)), text(hex("0002 0001 0000 0000 0000 0201")));
    EXPECT_EQ(page.at(76), 1);
    EXPECT_EQ(pageText(page, 77, 16), "main");
    EXPECT_EQ(text(page.mid(93, 8)), text(hex("0001000200030004")));
    EXPECT_EQ(page.at(101), 1);
    EXPECT_EQ(pageText(page, 102, 16), "boot");
    EXPECT_EQ(text(page.mid(118, 8)), text(hex("ffff000000000000")));
    EXPECT_EQ(page.at(126), 0);
}

TEST(Bootloader, EntriesBeyondThePageAreCut)
{
    auto cedar = unit(R"({"serial":"QZBH01701","pageSize":110,
        "entries":[{"name":"a","values":[1,1,1,1]},{"name":"b","values":[2,2,2,2]}]})");
    const Reply reply = exchange(*cedar, 0x12);
    ASSERT_EQ(reply.data.size(), 112);
    EXPECT_EQ(reply.data.at(101), 1); // the second entry's marker, then the page ends
    EXPECT_EQ(text(reply.data.right(2)), "ff ff");
}

struct FaultCase
{
    const char* config;
    int replySize;
    const char* check; // which part of the reply shows the fault
};

class PageFaults : public testing::TestWithParam<FaultCase>
{
};

TEST_P(PageFaults, BenchFaultsShowInThePageReply)
{
    auto any = unit(GetParam().config);
    const Reply reply = exchange(*any, 0x12);
    EXPECT_EQ(reply.status, 0);
    ASSERT_EQ(reply.data.size(), GetParam().replySize);
    const std::string check = GetParam().check;
    if (check == "magic") {
        EXPECT_EQ(text(reply.data.left(3)), text(hex("3572d2")));
    } else if (check == "serial") {
        EXPECT_EQ(pageText(reply.data, 44, 16), "QZAX01501");
    } else if (check == "trailer") {
        EXPECT_EQ(text(reply.data.right(2)), "ff fe");
    } else if (check == "short") {
        EXPECT_EQ(text(reply.data.right(3)), text(hex("00ffff")));
    } else {
        EXPECT_EQ(reply.data.at(3), 3);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PageFaults,
    testing::Values(FaultCase{R"({"serial":"QZAH01501","pageFault":"badMagic"})", 130, "magic"},
                    FaultCase{R"({"serial":"QZAH01501","pageFault":"badSerial"})", 130, "serial"},
                    FaultCase{R"({"serial":"QZAH01501","pageFault":"badTrailer"})", 130, "trailer"},
                    FaultCase{R"({"serial":"QZAH01501","pageFault":"truncated"})", 129, "short"},
                    FaultCase{R"({"serial":"QZAH01501","pageSize":99})", 101, "short"},
                    FaultCase{R"({"serial":"QZAH01501","pageFormat":3})", 130, "format"}));

TEST(Bootloader, PageSerialOverrideAndBadSerialStillLeaveTheUnitSerial)
{
    auto alder = unit(R"({"serial":"QZAH01501","pageSerial":"QZBH01501"})");
    EXPECT_EQ(pageText(exchange(*alder, 0x12).data, 44, 16), "QZBH01501");
    EXPECT_EQ(alder->serialNumber(), "QZAH01501");
}

TEST(Bootloader, RequestsWithDataOrUnknownCodesAreRejected)
{
    auto rowan = unit(R"({"serial":"QZAH04101"})");
    for (int instruction : {0x02, 0x10, 0x13, 0x16, 0x1f}) {
        const Reply reply = exchange(*rowan, instruction);
        EXPECT_EQ(reply.status, 1) << instruction;
        EXPECT_TRUE(reply.data.isEmpty());
    }
    EXPECT_EQ(exchange(*rowan, 0x12, hex("80")).status, 1);
    EXPECT_EQ(exchange(*rowan, 0x14, hex("00")).status, 1);
}

TEST(Bootloader, UnitWithoutFamilyFirmwareRejectsFamilyInstructions)
{
    auto bare = unit(R"({"serial":"QZAH03901"})");
    for (int instruction : {0x20, 0x26, 0x40, 0x46, 0x49, 0xff}) {
        const Reply reply = exchange(*bare, instruction);
        EXPECT_EQ(reply.status, 1) << instruction;
        EXPECT_TRUE(reply.data.isEmpty());
    }
    EXPECT_EQ(bare->state().value("family").toString(), "none");
}

} // namespace
