#include "UnitHarness.h"

using namespace UnitHarness;

namespace {

int bigWordAt(const QByteArray& page, int offset)
{
    return static_cast<quint8>(page.at(offset)) << 8 | static_cast<quint8>(page.at(offset + 1));
}

QString textAt(const QByteArray& page, int offset, int width)
{
    const QByteArray field = page.mid(offset, width);
    return QString::fromLatin1(field.left(field.indexOf('\0') < 0 ? width : field.indexOf('\0')));
}

class PageSizeReply : public testing::TestWithParam<std::pair<const char*, const char*>>
{ };

TEST_P(PageSizeReply, AnnouncesThePageInTheConfiguredForm)
{
    const Reply reply = exchange(*unit(GetParam().first), 0x14);
    EXPECT_EQ(reply.status, 0);
    EXPECT_EQ(text(reply.data), text(hex(GetParam().second)));
}

INSTANTIATE_TEST_SUITE_P(Forms, PageSizeReply,
    testing::Values(std::make_pair(R"({"serial":"QZAH01501"})", "0080"),
        std::make_pair(R"({"serial":"QZAH01501","pageSizeForm":4})", "ff008000"),
        std::make_pair(R"({"serial":"QZAH01501","pageSizeForm":4,"pageFlag":true,"pageSize":300})",
            "ff012c01")),
    [](const auto& info) { return std::string("Reply") + info.param.second; });

TEST(Bootloader, EveryModelAnswersTheIdentificationSequence)
{
    for (const char* serial : {"QZAH01501", "QZBH01701", "QZAH01901", "QZAH02501", "QZAH03901",
             "QZAH04001", "QZAH04101", "QZAH09901"}) {
        auto any = SimUnit::create(QJsonObject{{"serial", serial}});
        EXPECT_TRUE(any->receive(0, hex("03")).isEmpty());
        EXPECT_EQ(text(exchange(*any, 0x14).data), "00 80") << serial;
        const Reply started = exchange(*any, 0x15);
        EXPECT_EQ(started.status, 0) << serial;
        EXPECT_TRUE(started.data.isEmpty()) << serial;
        const Reply page = exchange(*any, 0x12);
        ASSERT_EQ(page.data.size(), 130) << serial;
        EXPECT_EQ(text(page.data.left(3)), "35 72 d1") << serial;
        EXPECT_EQ(text(page.data.right(2)), "ff ff") << serial;
        EXPECT_EQ(textAt(page.data, 44, 16), QString::fromLatin1(serial)) << serial;
        EXPECT_EQ(bigWordAt(page.data, 64), QByteArray(serial).mid(4, 3) == "017" ? 2 : 1)
            << serial;
    }
}

TEST(Bootloader, FormatOnePageLayout)
{
    auto alder = unit(R"({"serial":"QZAH015010042","identityText":"Alder bench unit",
                          "headerWords":[4660,22136],"versionWords":[1,7,8,9,10]})");
    const QByteArray page = exchange(*alder, 0x12).data.left(128);
    EXPECT_EQ(page.at(3), 1);
    EXPECT_EQ(textAt(page, 4, 40), "Alder bench unit");
    EXPECT_EQ(textAt(page, 44, 16), "QZAH015010042");
    EXPECT_EQ(text(page.mid(60, 14)), text(hex("1234 5678 0001 0007 0008 0009 000a")));
    EXPECT_EQ(page.mid(74), QByteArray(128 - 74, '\0'));
}

TEST(Bootloader, FormatTwoPageCarriesExtraWordAndEntriesCutAtThePageEnd)
{
    auto cedar = unit(R"({"serial":"QZBH01701","extraWord":513,"pageSize":120,
        "entries":[{"name":"main","values":[1,2,3,4]},{"name":"boot","values":[65535]}]})");
    const QByteArray page = exchange(*cedar, 0x12).data;
    ASSERT_EQ(page.size(), 122);
    EXPECT_EQ(page.at(3), 2); // a B serial number defaults to format 2
    EXPECT_EQ(text(page.mid(64, 12)), text(hex("0002 0001 0000 0000 0000 0201")));
    EXPECT_EQ(page.at(76), 1);
    EXPECT_EQ(textAt(page, 77, 16), "main");
    EXPECT_EQ(text(page.mid(93, 8)), text(hex("0001000200030004")));
    EXPECT_EQ(page.at(101), 1);
    EXPECT_EQ(textAt(page, 102, 16), "boot");
    EXPECT_EQ(
        text(page.mid(118)), text(hex("ff ff ff ff"))); // the first value word, then the trailer
}

struct FaultCase
{
    const char* name;
    const char* config;
    int replySize;
    int offset; // where the fault shows
    const char* bytes;
};

class PageFaults : public testing::TestWithParam<FaultCase>
{ };

TEST_P(PageFaults, BenchFaultsShowInThePageReply)
{
    const FaultCase& c = GetParam();
    const Reply reply = exchange(*unit(c.config), 0x12);
    EXPECT_EQ(reply.status, 0);
    ASSERT_EQ(reply.data.size(), c.replySize);
    const QByteArray expected = hex(c.bytes);
    EXPECT_EQ(
        text(reply.data.mid(c.offset < 0 ? c.replySize + c.offset : c.offset, expected.size())),
        text(expected));
}

INSTANTIATE_TEST_SUITE_P(Faults, PageFaults,
    // (Bad magic, serial and trailer show through the library: the end-to-end opening failures.)
    testing::Values(FaultCase{"Truncated", R"({"serial":"QZAH01501","pageFault":"truncated"})", 129,
                        -3, "00ffff"},
        FaultCase{"PageSize99", R"({"serial":"QZAH01501","pageSize":99})", 101, -3, "00ffff"},
        FaultCase{"Format3", R"({"serial":"QZAH01501","pageFormat":3})", 130, 3, "03"},
        FaultCase{"ForeignSerial", R"({"serial":"QZAH01501","pageSerial":"QZBH01501"})", 130, 46,
            "4248"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
