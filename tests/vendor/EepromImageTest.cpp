// The USB-level bench's EEPROM images against FTDI's own library: what the library programs
// through FTDI's library, word for word, is the image the bench builds from the same fields, and
// the bench reads the fields back out of it.
#include "D2xxFunctions.h"
#include "FtdiEepromImage.h"
#include "UsbBenchClient.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

struct Case
{
    const char* name;
    const char* listedSerial; // the entry to open
    const char* benchSerial; // the unit in the bench's control interface
    uint32_t type;
    DWORD version; // FT_PROGRAM_DATA version, 0 for FT_EEPROM_X_SERIES
    // The library's EEPROM settings for the chip.
    std::function<void(FT_PROGRAM_DATA&)> program;
    std::function<void(FT_EEPROM_X_SERIES&)> programX;
};

const Case kCases[] = {
    {"FT232R", "QZAH015010001", "QZAH015010001", FT_DEVICE_232R, 2,
        [](FT_PROGRAM_DATA& d) {
            d.PullDownEnableR = 1;
            d.SerNumEnableR = 1;
            d.RIsD2XX = 1;
            d.Cbus0 = 4;
        },
        nullptr},
    {"FT2232H", "QZAH017010002A", "QZAH017010002", FT_DEVICE_2232H, 3,
        [](FT_PROGRAM_DATA& d) {
            d.USBVersionEnable = 1;
            d.USBVersion = 0x0200;
            d.PullDownEnable7 = 1;
            d.SerNumEnable7 = 1;
            d.ALDriveCurrent = d.AHDriveCurrent = d.BLDriveCurrent = d.BHDriveCurrent = 16;
            d.IFAIsFifo7 = 1;
        },
        nullptr},
    {"FT232H", "QZAH019010003", "QZAH019010003", FT_DEVICE_232H, 5,
        [](FT_PROGRAM_DATA& d) {
            d.USBVersionEnable = 1;
            d.USBVersion = 0x0200;
            d.PullDownEnableH = 1;
            d.SerNumEnableH = 1;
            d.ACDriveCurrentH = d.ADDriveCurrentH = 16;
            d.Cbus8H = d.Cbus9H = 4;
            d.IsFifoH = 1;
        },
        nullptr},
    {"FT4232H", "FT4232H00001A", "FT4232H00001", FT_DEVICE_4232H, 4,
        [](FT_PROGRAM_DATA& d) {
            d.PullDownEnable8 = 1;
            d.SerNumEnable8 = 1;
            d.BRIIsTXDEN = 1;
            d.CIsVCP8 = 1;
        },
        nullptr},
    {"FTX", "QZAH025010004", "QZAH025010004", FT_DEVICE_X_SERIES, 0, nullptr,
        [](FT_EEPROM_X_SERIES& x) {
            x.common.SerNumEnable = 1;
            x.BCDDisableSleep = 1;
            x.DriverType = 0;
            x.Cbus0 = 0x0E;
            x.Cbus1 = 4;
            x.Cbus2 = 5;
            x.Cbus3 = 4;
            x.common.PullDownEnable = 0;
            x.BCDEnable = 1;
            x.BCDForceCbusPWREN = 0;
        }},
    {"FTXAlternateCbus", "QZAH040010005", "QZAH040010005", FT_DEVICE_X_SERIES, 0, nullptr,
        [](FT_EEPROM_X_SERIES& x) {
            x.common.SerNumEnable = 1;
            x.BCDDisableSleep = 1;
            x.Cbus0 = 4;
            x.Cbus1 = 3;
            x.Cbus2 = 0;
            x.Cbus3 = 0;
            x.common.PullDownEnable = 1;
            x.BCDEnable = 1;
            x.BCDForceCbusPWREN = 1;
        }},
};

class EepromImage : public ::testing::TestWithParam<Case>
{
protected:
    void SetUp() override
    {
        if (!d2xx.isVendor() || !client.isConnected())
            GTEST_SKIP() << "not under kavra-usbbench with FTDI's D2XX library (scripts/setup "
                            "builds it when the npm registry is reachable)";
    }

    const D2xxFunctions& d2xx = D2xxFunctions::instance();
    UsbBenchClient client;
};

TEST_P(EepromImage, FtdisLibraryProgramsTheImageTheBenchBuilds)
{
    const Case& c = GetParam();
    FT_HANDLE handle = openListed(c.listedSerial);
    ASSERT_NE(handle, nullptr);
    Eeprom eeprom(c.version);
    ASSERT_EQ(eeprom.read(handle), FT_OK);
    std::strcpy(eeprom.manufacturer, "FTDI");
    std::strcpy(eeprom.manufacturerId, "FT");
    std::strcpy(eeprom.description, "Kavra Test");
    std::strcpy(eeprom.serial, "QZAH015010099");
    if (c.version) {
        eeprom.data.MaxPower = 120;
        eeprom.data.SelfPowered = 0;
        eeprom.data.PnP = 1;
        c.program(eeprom.data);
    } else {
        eeprom.x.common.MaxPower = 120;
        eeprom.x.common.SelfPowered = 0;
        c.programX(eeprom.x);
    }
    ASSERT_EQ(eeprom.program(handle), FT_OK);
    // Cycling the port makes the chip enumerate with what its EEPROM holds now, as a new device.
    // The handle goes with the old one: FTDI's library reports that as FT_IO_ERROR from
    // FT_CyclePort or from FT_Close, depending on which of its threads notices first.
    d2xx.cyclePort(handle);
    d2xx.close(handle);
    const QString suffix
        = QString::fromLatin1(c.listedSerial)
              .right(c.type == FT_DEVICE_2232H || c.type == FT_DEVICE_4232H ? 1 : 0);
    EXPECT_GE(indexOf(QStringLiteral("QZAH015010099") + suffix), 0);

    FtdiEepromImage::Fields fields;
    fields.data = eeprom.data;
    fields.x = eeprom.x;
    fields.texts = FtdiEepromImage::Texts{QStringLiteral("FTDI"), QStringLiteral("QZ"),
        QStringLiteral("Kavra Test"), QStringLiteral("QZAH015010099")};
    const QVector<uint16_t> programmed = client.eepromImage(QString::fromLatin1(c.benchSerial));
    const FtdiEepromImage built = FtdiEepromImage::encode(c.type, fields);
    ASSERT_EQ(programmed.size(), built.wordCount());
    for (int i = 0; i < programmed.size(); ++i)
        EXPECT_EQ(programmed.at(i), built.word(i)) << "word 0x" << std::hex << i;

    // The bench reads back what the library programmed.
    FtdiEepromImage image(c.type);
    for (int i = 0; i < programmed.size(); ++i)
        image.setWord(i, programmed.at(i));
    FtdiEepromImage::Fields decoded;
    ASSERT_TRUE(image.decode(&decoded));
    EXPECT_EQ(decoded.texts.serial, QStringLiteral("QZAH015010099"));
    EXPECT_EQ(decoded.texts.description, QStringLiteral("Kavra Test"));
    EXPECT_EQ(FtdiEepromImage::encode(c.type, decoded).words(), programmed)
        << "decoding loses nothing";
}

INSTANTIATE_TEST_SUITE_P(Chips, EepromImage, ::testing::ValuesIn(kCases),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

} // namespace
