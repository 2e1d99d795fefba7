#include "USBSerialNumber.h"

#include <gtest/gtest.h>

TEST(USBSerialNumber, ParsesValidForms)
{
    struct Case
    {
        const char* text;
        int flow, variant, product, revision, unit;
        bool unnumbered;
        const char* shortText;
        const char* fullText;
    };
    const Case cases[] = {
        {"qzah01501", 0, 0, 15, 1, 0, false, "QZAH01501", "QZAH015010000"},
        {"QZBP01501xxxx", 1, 1, 15, 1, 0, true, "QZBP01501", "QZBP01501XXXX"},
        {"QZAH015010042", 0, 0, 15, 1, 42, false, "QZAH01501", "QZAH015010042"},
        {"QZAP04101XxXx", 0, 1, 41, 1, 0, true, "QZAP04101", "QZAP04101XXXX"},
        {"qzbh999999999", 1, 0, 999, 99, 9999, false, "QZBH99999", "QZBH999999999"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const USBSerialNumber s(QString::fromLatin1(c.text));
        ASSERT_TRUE(s.isValid());
        EXPECT_EQ(s.flowCode(), c.flow);
        EXPECT_EQ(s.variantCode(), c.variant);
        EXPECT_EQ(s.product(), c.product);
        EXPECT_EQ(s.revision(), c.revision);
        EXPECT_EQ(s.unitNumber(), c.unit);
        EXPECT_EQ(s.isUnnumbered(), c.unnumbered);
        EXPECT_EQ(s.shortText(), QString::fromLatin1(c.shortText));
        EXPECT_EQ(s.fullText(), QString::fromLatin1(c.fullText));
        EXPECT_EQ(s.modelId(), ModelId(c.product, c.revision));
    }
}

TEST(USBSerialNumber, RejectsMalformedTexts)
{
    // Wrong lengths, letters, digits and separators.
    const char* const invalid[] = {"", "QZAH0150", "QZAH015010", "QZAH0150100", "QZAH01501004",
        "QZAH0150100421", "QXAH01501", "QZCH01501", "QZAX01501", "QZAH0A501", "QZAH015-1",
        "QZAH01501abcd", "QZAH 1501", "QZAH+1501", "QZAH01501-001"};
    for (const char* text : invalid) {
        SCOPED_TRACE(text);
        const USBSerialNumber s(QString::fromLatin1(text));
        EXPECT_FALSE(s.isValid());
        EXPECT_TRUE(s.shortText().isEmpty());
        EXPECT_TRUE(s.fullText().isEmpty());
    }
    // A character beyond Latin-1 in the flow position is a mismatch, not a crash.
    EXPECT_FALSE(USBSerialNumber(QStringLiteral("QZ\u0101H01501")).isValid());
    // The model numbers are kept as far as the parse got.
    EXPECT_EQ(USBSerialNumber(QStringLiteral("QZAH01501abcd")).modelId(), ModelId(15, 1));
    EXPECT_EQ(USBSerialNumber(QStringLiteral("QXAH01501")).modelId(), ModelId(0, 0));
    const USBSerialNumber defaulted;
    EXPECT_FALSE(defaulted.isValid());
    EXPECT_EQ(defaulted.modelId(), ModelId(0, 0));
}
