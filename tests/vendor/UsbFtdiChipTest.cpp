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

#include <algorithm>
#include <climits>
#include <memory>
#include <tuple>
#include <utility>

namespace {

// The modem and line status bytes that lead every bulk IN packet: CTS and DSR from the unit.
const QByteArray kStatus("\x31\x60", 2);

TEST(FtdiBaudDivisor, DecodesTheDivisorsOfCommonRates)
{
    // High speed, wValue, wIndex, baud rate.
    const std::tuple<bool, uint16_t, uint16_t, uint32_t> table[] = {
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
    for (const auto& [highSpeed, value, index, baudRate] : table)
        EXPECT_EQ(FtdiBaudDivisor::baudRate(highSpeed, value, index), baudRate)
            << std::hex << value << " " << index;
}

std::shared_ptr<SimChip> benchChip(const QString& serial)
{
    return SimBench::instance().withChips([&](const auto& chips) {
        const auto found = std::find_if(chips.begin(), chips.end(),
            [&](const auto& chip) { return chip->benchSerial() == serial; });
        return found == chips.end() ? nullptr : *found;
    });
}

QStringList configCalls(const char* serial, int link)
{
    QByteArray json;
    SimBench::instance().takeConfigCalls(QString::fromLatin1(serial), link, INT_MAX, &json);
    QStringList lines;
    for (const QJsonValue& call : QJsonDocument::fromJson(json).array()) {
        QStringList args;
        for (const QJsonValue& arg : call["args"].toArray())
            args.append(QString::number(arg.toDouble()));
        lines.append(call["call"].toString() + '(' + args.join(',') + ')');
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
    // Request, wValue, wIndex, the D2XX call the bench records.
    const std::tuple<uint8_t, uint16_t, uint16_t, const char*> table[] = {
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
    for (const auto& [request, value, index, recorded] : table) {
        SCOPED_TRACE(recorded);
        EXPECT_EQ(out(*chip, request, value, index), UsbFtdiChip::Outcome::Done);
        EXPECT_EQ(configCalls("QZAH015010001", 0).value(0), QString::fromLatin1(recorded));
    }
    EXPECT_EQ(in(*chip, 0xC0, 0x0A, 0, 0, 1), QByteArray(1, 2)) << "latency read back";
    EXPECT_EQ(in(*chip, 0xC0, 0x05, 0, 0, 2), kStatus) << "CTS and DSR from the unit";
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
    EXPECT_EQ(chip->bulkIn(0x81, 4096, true, &status), kStatus + reply);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(chip->bulkIn(0x81, 4096, true, &status), kStatus) << "status bytes alone";
}

TEST_F(UsbFtdiChipTest, FullPacketsLeaveAtOnceEachWithItsStatusBytes)
{
    // Packets of 64 bytes on the full-speed chips, of 512 on the high-speed ones.
    const std::pair<const char*, int> chips[] = {{"QZAH015010001", 64}, {"QZAH019010003", 512}};
    for (const auto& [serial, size] : chips) {
        SCOPED_TRACE(serial);
        auto chip = claimed(serial);
        const QByteArray stream(2 * size + 6, 'x');
        ASSERT_EQ(SimBench::instance().sendUnsolicited(QString::fromLatin1(serial), 0, stream),
            SimBench::kOk);
        QByteArray packets;
        for (int at = 0; at < stream.size(); at += size - 2)
            packets += kStatus + stream.mid(at, size - 2);
        int status = -1;
        EXPECT_EQ(chip->bulkIn(0x81, 65536, false, &status), packets);
        EXPECT_EQ(chip->bulkIn(0x81, 64, true, &status), kStatus) << "nothing left";
    }
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
    EXPECT_EQ(QJsonDocument::fromJson(state)["chip"]["eeprom"]["serial"].toString(),
        QStringLiteral("QZAH015010077"));
}

} // namespace
