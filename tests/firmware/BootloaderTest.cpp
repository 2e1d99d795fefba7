#include "UnitHarness.h"

using namespace UnitHarness;

namespace {

// A text field as the page holds it: the text and its closing zero byte.
QByteArray field(const char* text)
{
    return QByteArray(text) + '\0';
}

} // namespace

TEST(Bootloader, EveryModelAnswersTheIdentificationSequence)
{
    for (const char* serial : {"QZAH01501", "QZBH01701", "QZAH01901", "QZAH02501", "QZAH03901",
             "QZAH04001", "QZAH04101", "QZAH09901"}) {
        SCOPED_TRACE(serial);
        auto any = FirmwareFactory::create(QJsonObject{{"serial", serial}});
        EXPECT_TRUE(any->receive(0, hex("03")).isEmpty());
        EXPECT_EQ(text(exchange(*any, 0x14).data), "00 80");
        const Reply started = exchange(*any, 0x15);
        EXPECT_EQ(started.status, 0);
        EXPECT_TRUE(started.data.isEmpty());
        const QByteArray page = exchange(*any, 0x12).data;
        ASSERT_EQ(page.size(), 130);
        EXPECT_EQ(text(page.left(3)), "35 72 d1");
        EXPECT_EQ(text(page.right(2)), "ff ff");
        EXPECT_EQ(page.mid(44, 10), field(serial));
        // The format word: 2 for the Cedar model (17), 1 for the others.
        EXPECT_EQ(text(page.mid(64, 2)), QByteArray(serial).mid(4, 3) == "017" ? "00 02" : "00 01");
    }
}

// The page size reply (0x14) and the page (0x12) in each form and with each fault a bench file
// can ask for.
TEST(Bootloader, RepliesCarryTheConfiguredBytes)
{
    const char* alder = R"({"serial":"QZAH015010042","identityText":"Alder bench unit",
                          "headerWords":[4660,22136],"versionWords":[1,7,8,9,10]})";
    const char* cedar = R"({"serial":"QZBH01701","extraWord":513,"pageSize":120,
        "entries":[{"name":"main","values":[1,2,3,4]},{"name":"boot","values":[65535]}]})";
    const ReplyCase cases[] = {
        {"SizeForm2", R"({"serial":"QZAH01501"})", 0x14, 2, 0, hex("0080")},
        {"SizeForm4", R"({"serial":"QZAH01501","pageSizeForm":4})", 0x14, 4, 0, hex("ff008000")},
        {"SizeForm4Flag",
            R"({"serial":"QZAH01501","pageSizeForm":4,"pageFlag":true,"pageSize":300})", 0x14, 4, 0,
            hex("ff012c01")},
        {"Format1", alder, 0x12, 130, 3, hex("01") + field("Alder bench unit")},
        {"Format1Serial", alder, 0x12, 130, 44, field("QZAH015010042")},
        {"Format1Words", alder, 0x12, 130, 60,
            hex("1234 5678 0001 0007 0008 0009 000a") + QByteArray(128 - 74, '\0')},
        // A B serial number defaults to format 2, which carries the extra word and entries.
        {"Format2", cedar, 0x12, 122, 3, hex("02")},
        {"Format2Entry", cedar, 0x12, 122, 64,
            hex("0002 0001 0000 0000 0000 0201 01") + field("main")},
        {"Format2Values", cedar, 0x12, 122, 93, hex("0001000200030004 01") + field("boot")},
        // Entries are cut at the page end: the first value word, then the trailer.
        {"Format2Cut", cedar, 0x12, 122, -4, hex("ff ff ff ff")},
        // (Bad magic, serial and trailer show through the library: the end-to-end opening
        // failures.)
        {"Truncated", R"({"serial":"QZAH01501","pageFault":"truncated"})", 0x12, 129, -3,
            hex("00ffff")},
        {"PageSize99", R"({"serial":"QZAH01501","pageSize":99})", 0x12, 101, -3, hex("00ffff")},
        {"Format3", R"({"serial":"QZAH01501","pageFormat":3})", 0x12, 130, 3, hex("03")},
        {"ForeignSerial", R"({"serial":"QZAH01501","pageSerial":"QZBH01501"})", 0x12, 130, 46,
            hex("4248")},
    };
    for (const ReplyCase& c : cases)
        expectReply(c);
}
