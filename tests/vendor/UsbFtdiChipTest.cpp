// The chip side of the USB-level bench in process, on the default bench: the FTDI vendor requests
// reach the bench's handle as the link settings they stand for, bulk IN transfers carry the two
// status bytes per packet and wait for a full packet or the latency timer, and the EEPROM answers
// word by word.
#include "FtdiBaudDivisor.h"
#include "SimBench.h"
#include "SimChip.h"
#include "UsbFtdiChip.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <climits>
#include <memory>

namespace {

struct Baud
{
    bool highSpeed;
    uint16_t value;
    uint16_t index;
    uint32_t baudRate;
};

TEST(FtdiBaudDivisor, DecodesTheDivisorsOfCommonRates)
{
    const Baud table[] = {
        {false, 0x0006, 0x0000, 500000},
        {false, 0x4138, 0x0000, 9600},
        {false, 0x0000, 0x0000, 3000000},
        {false, 0x0001, 0x0000, 2000000},
        {false, 0x001A, 0x0000, 115385},
        {false, 0xC002, 0x0001, 1043478},
        {true, 0x0018, 0x0202, 500000},
        {true, 0x0000, 0x0201, 12000000},
        {true, 0x0006, 0x0001, 500000},
        {true, 0x4018, 0x0302, 487310},
    };
    for (const Baud& row : table)
        EXPECT_EQ(FtdiBaudDivisor::baudRate(row.highSpeed, row.value, row.index), row.baudRate)
            << std::hex << row.value << " " << row.index;
}

std::shared_ptr<SimChip> benchChip(const QString& serial)
{
    return SimBench::instance().withChips([&](const std::vector<std::shared_ptr<SimChip>>& chips) {
        for (const std::shared_ptr<SimChip>& chip : chips) {
            if (chip->benchSerial() == serial)
                return chip;
        }
        return std::shared_ptr<SimChip>();
    });
}

QStringList configCalls(const char* serial, int link)
{
    QByteArray json;
    SimBench::instance().takeConfigCalls(QString::fromLatin1(serial), link, INT_MAX, &json);
    QStringList lines;
    for (const QJsonValue& call : QJsonDocument::fromJson(json).array()) {
        QStringList args;
        for (const QJsonValue& arg : call.toObject().value(QStringLiteral("args")).toArray())
            args.append(QString::number(arg.toDouble()));
        lines.append(call.toObject().value(QStringLiteral("call")).toString() + QLatin1Char('(')
            + args.join(QLatin1Char(',')) + QLatin1Char(')'));
    }
    return lines;
}

class UsbFtdiChipTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(SimBench::instance().resetBench(), SimBench::kOk); }

    // A chip of the default bench at port 1, its first interface claimed.
    std::unique_ptr<UsbFtdiChip> claimed(const char* serial, int interface = 0)
    {
        auto chip = std::make_unique<UsbFtdiChip>(benchChip(QString::fromLatin1(serial)), 1);
        EXPECT_EQ(chip->claim(interface, this), 0);
        configCalls(serial, 0);
        return chip;
    }

    static UsbFtdiChip::Outcome out(
        UsbFtdiChip& chip, uint8_t request, uint16_t value, uint16_t index)
    {
        QByteArray none;
        return chip.control(UsbFtdiChip::Setup{0x40, request, value, index, 0}, &none);
    }
    static QByteArray in(UsbFtdiChip& chip, uint8_t type, uint8_t request, uint16_t value,
        uint16_t index, uint16_t length)
    {
        QByteArray data;
        return chip.control(UsbFtdiChip::Setup{type, request, value, index, length}, &data)
                == UsbFtdiChip::Outcome::Done
            ? data
            : QByteArray("stall");
    }
};

TEST_F(UsbFtdiChipTest, VendorRequestsBecomeTheLinkSettingsTheyStandFor)
{
    auto chip = claimed("QZAH015010001");
    struct Request
    {
        uint8_t request;
        uint16_t value;
        uint16_t index;
        const char* recorded;
    };
    const Request table[] = {
        {0x03, 0x0006, 0x0000, "FT_SetBaudRate(500000)"},
        {0x04, 0x0208, 0x0000, "FT_SetDataCharacteristics(8,0,2)"},
        {0x04, 0x4107, 0x0000, "FT_SetBreakOn()"},
        {0x02, 0x1311, 0x0400, "FT_SetFlowControl(1024,17,19)"},
        {0x09, 0x0002, 0x0000, "FT_SetLatencyTimer(2)"},
        {0x0B, 0x40FF, 0x0000, "FT_SetBitMode(255,64)"},
        {0x01, 0x0303, 0x0000, "FT_SetDtr()"},
        {0x00, 0x0001, 0x0000, "FT_Purge(1)"},
        {0x00, 0x0000, 0x0000, "FT_Purge(3)"},
    };
    for (const Request& row : table) {
        SCOPED_TRACE(row.recorded);
        EXPECT_EQ(out(*chip, row.request, row.value, row.index), UsbFtdiChip::Outcome::Done);
        EXPECT_EQ(configCalls("QZAH015010001", 0).value(0), QString::fromLatin1(row.recorded));
    }
    EXPECT_EQ(in(*chip, 0xC0, 0x0A, 0, 0, 1), QByteArray(1, 2)) << "latency read back";
    EXPECT_EQ(in(*chip, 0xC0, 0x05, 0, 0, 2), QByteArray("\x31\x60", 2))
        << "CTS and DSR from the unit";
    EXPECT_EQ(in(*chip, 0xC0, 0x0C, 0, 0, 1), QByteArray(1, char(0xFF)));
    EXPECT_EQ(out(*chip, 0x7F, 0, 0), UsbFtdiChip::Outcome::Stall) << "an unknown request";
}

TEST_F(UsbFtdiChipTest, BulkInWaitsForAFullPacketOrTheLatencyTimer)
{
    auto chip = claimed("QZAH015010001");
    const QByteArray echo = QByteArray::fromHex("0501000000150000");
    int status = -1;
    ASSERT_EQ(chip->bulkOut(0x02, echo), 0);
    EXPECT_EQ(chip->bulkIn(0x81, 4096, false, &status), QByteArray()) << "less than a packet waits";
    QByteArray reply = echo;
    reply[5] = 0;
    EXPECT_EQ(chip->bulkIn(0x81, 4096, true, &status), QByteArray("\x31\x60", 2) + reply);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(chip->bulkIn(0x81, 4096, true, &status), QByteArray("\x31\x60", 2))
        << "status bytes alone";

    // 130 bytes from the unit: full 64-byte packets leave at once, each with its status bytes.
    const QByteArray stream(130, 'x');
    ASSERT_EQ(SimBench::instance().sendUnsolicited(QStringLiteral("QZAH015010001"), 0, stream),
        SimBench::kOk);
    const QByteArray transfer = chip->bulkIn(0x81, 4096, false, &status);
    EXPECT_EQ(transfer,
        QByteArray("\x31\x60", 2) + stream.left(62) + QByteArray("\x31\x60", 2) + stream.mid(62, 62)
            + QByteArray("\x31\x60", 2) + stream.mid(124));
    const QByteArray small = chip->bulkIn(0x81, 64, true, &status);
    EXPECT_EQ(small, QByteArray("\x31\x60", 2)) << "nothing left";
}

TEST_F(UsbFtdiChipTest, TheHighSpeedChipsSendPacketsOf512Bytes)
{
    auto chip = claimed("QZAH019010003");
    const QByteArray stream(600, 'y');
    ASSERT_EQ(SimBench::instance().sendUnsolicited(QStringLiteral("QZAH019010003"), 0, stream),
        SimBench::kOk);
    int status = -1;
    EXPECT_EQ(chip->bulkIn(0x81, 65536, false, &status),
        QByteArray("\x31\x60", 2) + stream.left(510) + QByteArray("\x31\x60", 2) + stream.mid(510));
}

TEST_F(UsbFtdiChipTest, ClaimsBelongToOneOwnerAndDieWithTheDevice)
{
    auto chip = std::make_unique<UsbFtdiChip>(benchChip(QStringLiteral("QZAH015010001")), 1);
    int other = 0;
    EXPECT_EQ(chip->claim(0, this), 0);
    EXPECT_EQ(chip->claim(0, &other), EBUSY);
    chip->release(0, &other);
    EXPECT_EQ(chip->claim(0, &other), EBUSY) << "another owner's release changes nothing";
    ASSERT_EQ(
        SimBench::instance().setPlugged(QStringLiteral("QZAH015010001"), false), SimBench::kOk);
    int status = 0;
    chip->bulkIn(0x81, 64, true, &status);
    EXPECT_EQ(status, -ENODEV);
    EXPECT_EQ(chip->bulkOut(0x02, QByteArray(1, 0)), -ENODEV);
    EXPECT_EQ(chip->claim(0, &other), ENODEV);
    ASSERT_EQ(
        SimBench::instance().setPlugged(QStringLiteral("QZAH015010001"), true), SimBench::kOk);
    EXPECT_EQ(chip->claim(0, &other), 0) << "the claim from before the unplug is gone";
    EXPECT_EQ(SimBench::instance().openHandleCount(), 1);
}

TEST_F(UsbFtdiChipTest, DescriptorsAndEepromWordsComeFromTheEeprom)
{
    auto chip = claimed("QZAH015010001");
    // Device descriptor: USB 2.0, packet size 8, 0403:6001, release 6.00, strings 1 to 3.
    EXPECT_EQ(in(*chip, 0x80, 0x06, 0x0100, 0, 18).toHex(),
        QByteArray("120100020000000803040160000601020301"));
    QByteArray serial = QByteArray::fromHex("1c03");
    for (char c : QByteArray("QZAH015010001"))
        serial += QByteArray(1, c) + QByteArray(1, '\0');
    EXPECT_EQ(in(*chip, 0x80, 0x06, 0x0303, 0x0409, 255), serial);
    // Word 1 is the vendor id; a failed read stalls once.
    EXPECT_EQ(in(*chip, 0xC0, 0x90, 0, 1, 2), QByteArray("\x03\x04", 2));
    ASSERT_EQ(SimBench::instance().injectFault(
                  QStringLiteral("QZAH015010001"), SimBench::Fault::FailEepromReads, 1),
        SimBench::kOk);
    EXPECT_EQ(in(*chip, 0xC0, 0x90, 0, 1, 2), QByteArray("stall"));
    EXPECT_EQ(in(*chip, 0xC0, 0x90, 0, 1, 2), QByteArray("\x03\x04", 2));

    // Words written that make a whole image reach the D2XX bench's EEPROM.
    FtdiEepromImage::Fields fields;
    ASSERT_TRUE(FtdiEepromImage::fieldsOf(
        benchChip(QStringLiteral("QZAH015010001"))->eeprom(), FT_DEVICE_232R, &fields));
    fields.texts.serial = QStringLiteral("QZAH015010077");
    const FtdiEepromImage image = FtdiEepromImage::encode(FT_DEVICE_232R, fields);
    EXPECT_EQ(out(*chip, 0x92, 0, 0), UsbFtdiChip::Outcome::Done);
    for (int i = 0; i < image.wordCount(); ++i)
        EXPECT_EQ(out(*chip, 0x91, image.word(i), uint16_t(i)), UsbFtdiChip::Outcome::Done);
    EXPECT_EQ(chip->eepromWords(), image.words());
    QByteArray state;
    ASSERT_EQ(
        SimBench::instance().unitState(QStringLiteral("QZAH015010001"), &state), SimBench::kOk);
    EXPECT_EQ(QJsonDocument::fromJson(state)
                  .object()
                  .value(QStringLiteral("chip"))
                  .toObject()
                  .value(QStringLiteral("eeprom"))
                  .toObject()
                  .value(QStringLiteral("serial"))
                  .toString(),
        QStringLiteral("QZAH015010077"));
}

} // namespace
