#include "TransportBenchTest.h"

#include "USBDriver.h"
#include "USBFtdiBufferedSocket.h"
#include "USBFtdiDevice.h"
#include "USBFtdiSocket.h"

#include <cstring>
#include <vector>
#include <functional>

namespace {

class TransportDevicesTest : public TransportBenchTest
{ };

TEST_F(TransportDevicesTest, EnumerationGroupsChipsInLocationOrder)
{
    // Listed out of location order; a dual-channel chip; one whose channel A has ID 0 and a plain
    // entry with ID 0 (both left out); a lower-case serial that parses but is not ours.
    loadBench(R"({"units": [
      {"chip": "FT232R",  "serial": "QZAH015010001", "description": "Kavra Alder", "location": 1024},
      {"chip": "FT-X",    "serial": "QZBH025010004", "description": "Kavra Generic", "location": 512},
      {"chip": "FT2232H", "serial": "QZAH017010002", "description": "Kavra Cedar", "location": 768},
      {"chip": "FT2232H", "serial": "QZAH017010007", "location": 640, "listedId": [0, 67330064]},
      {"chip": "FT232R",  "serial": "QZAH041010006", "location": 256, "listedId": 0},
      {"chip": "FT232R",  "serial": "qzah015010008", "location": 128}
    ]})");

    struct Expected
    {
        const char* serial;
        QStringList listedSockets; // listed serial of each socket's entry, in socket order
    };
    const QVector<Expected> expected = {
        {"QZBH025010004", {QStringLiteral("QZBH025010004")}},
        {"QZAH017010002", {QStringLiteral("QZAH017010002B"), QStringLiteral("QZAH017010002A")}},
        {"QZAH015010001", {QStringLiteral("QZAH015010001")}},
    };
    USBDriver driver;
    const QList<std::shared_ptr<USBDevice>> devices = driver.enumerateDevices(true);
    ASSERT_EQ(devices.size(), expected.size());
    for (int i = 0; i < devices.size(); ++i) {
        const Expected& e = expected.at(i);
        SCOPED_TRACE(e.serial);
        const auto device = std::dynamic_pointer_cast<USBFtdiDevice>(devices.at(i));
        ASSERT_TRUE(device);
        EXPECT_EQ(device->serialNumber(), QString::fromLatin1(e.serial));
        const auto sockets = device->sockets();
        ASSERT_EQ(sockets.size(), e.listedSockets.size());
        for (int k = 0; k < sockets.size(); ++k)
            EXPECT_EQ(int(sockets.at(k)->deviceIndex()), listPosition(e.listedSockets.at(k)));
        // Channel B is the UART command link; channel A the buffered stream.
        const auto first = std::dynamic_pointer_cast<USBFtdiSocket>(sockets.at(0));
        ASSERT_TRUE(first);
        EXPECT_EQ(first->flags(), sockets.size() == 2 ? USBFtdiSocket::UartMode : 0u);
        if (sockets.size() == 2) {
            EXPECT_TRUE(std::dynamic_pointer_cast<USBFtdiBufferedSocket>(sockets.at(1)));
        }
    }
}

// The FT_PROGRAM_DATA a chip holds now, read back through a handle of the test's own.
struct ReadBack
{
    FT_STATUS status = FT_OTHER_ERROR;
    FT_PROGRAM_DATA data{};
    FT_EEPROM_X_SERIES x{};
    char manufacturer[64] = {};
    char manufacturerId[64] = {};
    char description[64] = {};
    char serial[64] = {};
};

ReadBack readBack(int position, FT_DEVICE type)
{
    const D2xxLibrary& d2xx = D2xxLibrary::instance();
    ReadBack r;
    FT_HANDLE handle = nullptr;
    if ((r.status = d2xx.open(position, &handle)) != FT_OK)
        return r;
    if (type == FT_DEVICE_X_SERIES) {
        r.x.common.deviceType = FT_DEVICE_X_SERIES;
        r.status = d2xx.eepromRead(
            handle, &r.x, sizeof(r.x), r.manufacturer, r.manufacturerId, r.description, r.serial);
    } else {
        r.data.Signature2 = 0xFFFFFFFF;
        r.data.Version = 5;
        r.data.Manufacturer = r.manufacturer;
        r.data.ManufacturerId = r.manufacturerId;
        r.data.Description = r.description;
        r.data.SerialNumber = r.serial;
        r.status = d2xx.eeRead(handle, &r.data);
    }
    d2xx.close(handle);
    return r;
}

TEST_F(TransportDevicesTest, ProgramEepromWritesEachChipType)
{
    loadBench(R"({"units": [
      {"chip": "FT232R",  "serial": "QZAH015010001", "location": 256},
      {"chip": "FT2232H", "serial": "QZAH017010002", "location": 512, "eepromProgrammed": false},
      {"chip": "FT232H",  "serial": "QZAH019010003", "location": 768, "eepromProgrammed": false},
      {"chip": "FT-X",    "serial": "QZAH025010004", "location": 1024},
      {"chip": "FT-X",    "serial": "QZAH040010005", "location": 1280}
    ]})");
    struct Case
    {
        const char* benchSerial;
        const char* newSerial;
        const char* listedAfter;
        FT_DEVICE type;
        bool alternateCbus;
        std::function<void(const ReadBack&)> check;
    };
    // The FT-X fields, in the order of the lists below.
    const auto xSeries = [](std::vector<int> expected) {
        return [expected](const ReadBack& r) {
            EXPECT_EQ((std::vector<int>{r.x.common.SerNumEnable, r.x.BCDDisableSleep,
                          r.x.DriverType, r.x.common.PullDownEnable, r.x.Cbus0, r.x.Cbus1,
                          r.x.Cbus2, r.x.Cbus3, r.x.BCDEnable, r.x.BCDForceCbusPWREN}),
                expected);
        };
    };
    const Case cases[] = {
        {"QZAH015010001", "QZBH015010101", "QZBH015010101", FT_DEVICE_232R, false,
            [](const ReadBack& r) {
                EXPECT_EQ(r.data.PullDownEnableR, 1);
                EXPECT_EQ(r.data.SerNumEnableR, 1);
                EXPECT_EQ(r.data.RIsD2XX, 1);
                EXPECT_EQ(r.data.Cbus0, 4);
            }},
        {"QZAH017010002", "QZBH017010102", "QZBH017010102B", FT_DEVICE_2232H, false,
            [](const ReadBack& r) {
                // A blank chip starts from the vendor defaults.
                EXPECT_STREQ(r.manufacturer, "FTDI");
                EXPECT_STREQ(r.manufacturerId, "FT");
                EXPECT_EQ(r.data.VendorId, 0x0403);
                EXPECT_EQ(r.data.ProductId, 0x6001);
                EXPECT_EQ(r.data.PnP, 1);
                EXPECT_EQ(r.data.USBVersionEnable, 1);
                EXPECT_EQ(r.data.USBVersion, 0x0200);
                EXPECT_EQ((std::vector<int>{r.data.PullDownEnable7, r.data.SerNumEnable7,
                              r.data.ALSlowSlew, r.data.ALDriveCurrent, r.data.AHSlowSlew,
                              r.data.AHDriveCurrent, r.data.BLSlowSlew, r.data.BLDriveCurrent,
                              r.data.BHSlowSlew, r.data.BHDriveCurrent, r.data.IFAIsFifo7,
                              r.data.IFAIsFifoTar7, r.data.IFAIsFastSer7, r.data.AIsVCP7,
                              r.data.IFBIsFifo7, r.data.IFBIsFifoTar7, r.data.IFBIsFastSer7,
                              r.data.BIsVCP7, r.data.PowerSaveEnable}),
                    (std::vector<int>{
                        1, 1, 0, 16, 0, 16, 0, 16, 0, 16, 1, 0, 0, 0, 0, 0, 0, 0, 0}));
            }},
        {"QZAH019010003", "QZBH019010103", "QZBH019010103", FT_DEVICE_232H, false,
            // (The blank chip's vendor defaults and USB 2.0: the FT2232H above, the same path.)
            [](const ReadBack& r) {
                EXPECT_EQ((std::vector<int>{r.data.PullDownEnableH, r.data.SerNumEnableH,
                              r.data.ACSlowSlewH, r.data.ACDriveCurrentH, r.data.ADSlowSlewH,
                              r.data.ADDriveCurrentH, r.data.Cbus8H, r.data.Cbus9H, r.data.IsFifoH,
                              r.data.IsFifoTarH, r.data.IsFastSerH, r.data.IsFT1248H, r.data.IsVCPH,
                              r.data.PowerSaveEnableH}),
                    (std::vector<int>{1, 1, 0, 16, 0, 16, 4, 4, 1, 0, 0, 0, 0, 0}));
            }},
        {"QZAH025010004", "QZBH025010104", "QZBH025010104", FT_DEVICE_X_SERIES, false,
            xSeries({1, 1, 0, 0, 0x0E, 4, 5, 4, 1, 0})},
        {"QZAH040010005", "QZBH040010105", "QZBH040010105", FT_DEVICE_X_SERIES, true,
            xSeries({1, 1, 0, 1, 4, 3, 0, 0, 1, 1})},
    };

    USBDriver driver;
    const auto devices = driver.enumerateDevices(true);
    ASSERT_EQ(devices.size(), 5);
    for (int i = 0; i < 5; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.benchSerial);
        EepromSettings settings;
        settings.serialNumber = QString::fromLatin1(c.newSerial);
        settings.description = QStringLiteral("Kavra unit %1").arg(i);
        settings.selfPowered = 1;
        settings.maxPower = 90 + i;
        settings.alternateCbus = c.alternateCbus;

        const USBResult result = devices.at(i)->programEeprom(settings);
        EXPECT_TRUE(result.isSuccess()) << qPrintable(result.text());
        EXPECT_EQ(bench().openHandleCount(), 0);

        // The chip re-enumerated and lists what it was programmed with.
        const int position = listPosition(QString::fromLatin1(c.listedAfter));
        ASSERT_GE(position, 0);
        const ReadBack r = readBack(position, c.type);
        ASSERT_EQ(r.status, FT_OK);
        EXPECT_STREQ(r.serial, c.newSerial);
        EXPECT_EQ(QString::fromLatin1(r.description), settings.description);
        if (c.type == FT_DEVICE_X_SERIES) {
            EXPECT_EQ(r.x.common.MaxPower, settings.maxPower);
            EXPECT_EQ(r.x.common.SelfPowered, 1);
        } else {
            EXPECT_EQ(r.data.MaxPower, settings.maxPower);
            EXPECT_EQ(r.data.SelfPowered, 1);
        }
        c.check(r);
    }
}

TEST_F(TransportDevicesTest, ProgramEepromFailuresCloseTheHandle)
{
    loadBench(R"({"units": [
      {"chip": "FT232R", "serial": "QZAH015010001", "location": 256},
      {"chip": "FT-X",   "serial": "QZAH025010004", "location": 512}
    ]})");
    USBDriver driver;
    const auto devices = driver.enumerateDevices(true);
    ASSERT_EQ(devices.size(), 2);
    EepromSettings settings;
    settings.serialNumber = QStringLiteral("QZBH015010999");

    struct Case
    {
        const char* serial;
        int device;
        bool failOpen;
        int expectedCode;
    };
    const Case cases[] = {
        {"QZAH015010001", 0, true, int(FT_DEVICE_NOT_OPENED)},
        {"QZAH015010001", 0, false, int(FT_EEPROM_READ_FAILED)},
        {"QZAH025010004", 1, false, int(FT_EEPROM_READ_FAILED)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.serial);
        if (c.failOpen) {
            ASSERT_EQ(bench().failOpens(c.serial, 1), 0);
        } else {
            ASSERT_EQ(bench().failEepromReads(c.serial, 1), 0);
        }
        const USBResult result = devices.at(c.device)->programEeprom(settings);
        EXPECT_EQ(result.code(), c.expectedCode);
        EXPECT_EQ(result.category(), 0);
        EXPECT_EQ(bench().openHandleCount(), 0);
        // Nothing was written: the chip is still listed under its old serial number.
        EXPECT_GE(listPosition(QString::fromLatin1(c.serial)), 0);
    }
}

} // namespace
