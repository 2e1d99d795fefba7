// The library on FTDI's own D2XX library, driving the bench's units through the USB-level bench:
// counting, opening every model on each chip type with the vendor requests that configure it,
// each family's calls with their bytes on the wire, a dropped reply and an unplug.
#include "KavraLib.h"
#include "UsbBenchClient.h"

#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

struct Unit
{
    const char* serial;
    const char* family;
    // The vendor requests that open configures the chip with, in order (purges, EEPROM reads
    // and FTDI's own requests left out): request type, request, value, index.
    QStringList configuration;
};

const QStringList kSerialPort
    = {"40 03 0006 0000", "40 02 0000 0000", "40 04 0208 0000", "40 09 0002 0000"};

const Unit kUnits[] = {
    {"QZAH015010001", "Alder", kSerialPort},
    // Channel B (port 2) as a serial port at 500000 baud from the 12 MHz clock, then channel A
    // (port 1) as a FIFO; FTDI's library raises RTS with RTS/CTS flow control.
    {"QZAH017010002", "Cedar",
        {"40 0b 00ff 0002", "40 03 0018 0202", "40 02 0000 0002", "40 04 0208 0002",
            "40 09 0002 0002", "40 0b 00ff 0001", "40 09 0002 0001", "40 02 0000 0101",
            "40 01 0202 0001"}},
    {"QZAH019010003", "Generic",
        {"40 0b 00ff 0000", "40 0b 40ff 0000", "40 09 0002 0000", "40 02 0000 0100",
            "40 01 0202 0000"}},
    {"QZAH025010004", "Generic", kSerialPort},
    {"QZAH040010005", "Birch", kSerialPort},
    {"QZAH041010006", "Rowan", kSerialPort},
};

class VendorEndToEnd : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { initialiseSession(); }
    static void TearDownTestSuite() { closeSession(); }

    void SetUp() override
    {
        if (!client().isConnected()
            || !QFileInfo::exists(qEnvironmentVariable("KAVRA_D2XX_LIBRARY")))
            GTEST_SKIP() << "not under kavra-usbbench with FTDI's D2XX library (scripts/setup "
                            "builds it when the npm registry is reachable)";
    }

    static UsbBenchClient& client()
    {
        static UsbBenchClient instance;
        return instance;
    }

    // A unit's index, found once: indices never change within the session, and finding one
    // opens the unit.
    static int indexOf(const char* serial)
    {
        static QHash<QByteArray, int> known;
        if (!known.contains(serial)) {
            int index = -1;
            EXPECT_EQ(getDeviceIndex(serial, &index), 0) << serial;
            known.insert(serial, index);
        }
        return known.value(serial);
    }

    // The request packets the host wrote to a unit since the last call.
    static QList<QByteArray> sent(const char* serial)
    {
        QByteArray bytes;
        for (const QJsonValue& entry : client().takeWireLog(QString::fromLatin1(serial))) {
            if (entry["dir"] == "out" && entry["link"] == 0)
                bytes += QByteArray::fromHex(entry["data"].toString().toLatin1());
        }
        QList<QByteArray> packets;
        for (int at = 0; at + 8 <= bytes.size(); ++at) {
            if (quint8(bytes.at(at)) == 0x05) {
                const int length = quint8(bytes.at(at + 6)) | quint8(bytes.at(at + 7)) << 8;
                packets.append(bytes.mid(at, 8 + length));
                at += 7 + length;
            }
        }
        return packets;
    }
};

// (An unknown serial number: OpeningAndRegistry.FindsUnitsBySerialNumberAndLeavesTheRegistryAsItWas.)
TEST_F(VendorEndToEnd, CountsEveryOwnUnitAndFindsEachBySerialNumber)
{
    int count = -1;
    ASSERT_EQ(getDeviceCount(&count), 0);
    EXPECT_EQ(count, 6) << "the FT4232H is not counted";
    QList<int> indices;
    for (const Unit& unit : kUnits) {
        const int index = indexOf(unit.serial);
        EXPECT_GE(index, 1) << unit.serial;
        EXPECT_LE(index, count) << unit.serial;
        EXPECT_FALSE(indices.contains(index)) << unit.serial;
        indices.append(index);
    }
}

TEST_F(VendorEndToEnd, OpensAndIdentifiesEveryModelWithItsChipConfiguration)
{
    for (const Unit& unit : kUnits) {
        SCOPED_TRACE(unit.serial);
        const int index = indexOf(unit.serial);
        const QString benchSerial = QString::fromLatin1(unit.serial);
        client().takeUsbRequests(benchSerial);
        ASSERT_EQ(clearError(index), 0);
        char serial[32] = {};
        ASSERT_EQ(getDeviceSerialNumber(index, serial, sizeof serial), 0);
        EXPECT_STREQ(serial, unit.serial);
        // Resets and purges (request 0), modem status, latency reads and EEPROM reads left out.
        EXPECT_EQ(client().takeUsbRequests(benchSerial).filter(QRegularExpression("^(?!40 00|c0)")),
            unit.configuration);
        // Identification read the unit's page; the unit answered on its command link.
        EXPECT_EQ(client().unitState(benchSerial).value("chip")["openHandles"].toInt(),
            QByteArray(unit.serial).startsWith("QZAH017") ? 2 : 1);
    }
}

TEST_F(VendorEndToEnd, FamilyCallsPutTheirBytesOnTheWireAndReadBack)
{
    struct Call
    {
        const char* what;
        const char* serial;
        std::function<int(int)> call;
        int instruction;
        const char* payload;
    };
    const Call calls[] = {
        {"Alder PWM frequency", "QZAH015010001", [](int i) { return setPWMFrequency(i, 200000); },
            0x23, "400d0300"},
        {"Birch accurate voltage", "QZAH040010005",
            [](int i) { return setAccurateVoltage(i, 1, 52000, -2500); }, 0x20, "20cb60dad9ff"},
        {"Birch voltage off", "QZAH040010005", [](int i) { return turnVoltageOff(i, 1); }, 0x20,
            "000000000000"},
    };
    for (const Call& call : calls) {
        SCOPED_TRACE(call.what);
        const int index = indexOf(call.serial);
        ASSERT_EQ(clearError(index), 0);
        sent(call.serial);
        ASSERT_EQ(call.call(index), 0);
        const auto packets = sent(call.serial);
        ASSERT_FALSE(packets.isEmpty());
        EXPECT_EQ(quint8(packets.first().at(5)), call.instruction);
        EXPECT_EQ(packets.first().mid(8).toHex(), QByteArray(call.payload));
    }
    // Reads: every family answers through its own instruction, decoded by the library.
    for (const Unit& unit : kUnits) {
        SCOPED_TRACE(unit.serial);
        const int index = indexOf(unit.serial);
        bool flag = true;
        char text[256] = {};
        sent(unit.serial);
        double value = 0;
        if (std::strcmp(unit.family, "Birch") == 0) {
            EXPECT_EQ(setAccurateVoltage(index, 1, 100, 1), 0);
        } else if (std::strcmp(unit.family, "Rowan") == 0) {
            EXPECT_EQ(getADCValue(index, &value), 0);
        } else {
            EXPECT_EQ(getSupplyStatus(index, &flag, text), 0);
            EXPECT_FALSE(flag) << text;
        }
        EXPECT_EQ(sent(unit.serial).size(), 1);
    }
}

TEST_F(VendorEndToEnd, ADroppedReplyFailsOnlyThatCall)
{
    const int rowan = indexOf("QZAH041010006");
    double value = 42;
    ASSERT_EQ(getADCValue(rowan, &value), 0);
    ASSERT_EQ(
        client().fault(QStringLiteral("drop_replies"), QStringLiteral("QZAH041010006"), 1), 0);
    value = 42;
    EXPECT_EQ(getADCValue(rowan, &value), 31);
    EXPECT_EQ(value, 42);
    EXPECT_EQ(getADCValue(rowan, &value), 0);
    EXPECT_NE(value, 42);
}

TEST_F(VendorEndToEnd, AnUnpluggedUnitFailsAndComesBackUnderItsIndex)
{
    const int alder = indexOf("QZAH015010001");
    bool flag = false;
    char text[256];
    ASSERT_EQ(getSupplyStatus(alder, &flag, text), 0);
    ASSERT_EQ(client().unplug(QStringLiteral("QZAH015010001")), 0);
    EXPECT_EQ(getSupplyStatus(alder, &flag, text), 31);
    ASSERT_EQ(client().replug(QStringLiteral("QZAH015010001")), 0);
    EXPECT_EQ(getSupplyStatus(alder, &flag, text), 0);
    EXPECT_EQ(indexOf("QZAH015010001"), alder);
}

} // namespace
