// Family devices driving units of the virtual bench in process: the instruction bytes and data that
// reach the unit, and readings decoded through what the unit reports.

#include "KavraDriver_Alder_Device.h"
#include "KavraDriver_Birch_Device.h"
#include "KavraDriver_Cedar_Device.h"
#include "KavraDriver_Generic_Device.h"
#include "KavraDriver_Rowan_Device.h"
#include "TestTransportBench.h"
#include "USBDevice.h"
#include "USBDriver.h"

#include <cstring>
#include <memory>

namespace {

class FamilyBenchTest : public TransportBenchTest
{
protected:
    // Builds the family device and opens it on the bench unit with this serial number.
    template <typename Device> std::unique_ptr<Device> openUnit(const char* serial)
    {
        USBDriver enumerator;
        for (const std::shared_ptr<USBDevice>& usb : enumerator.enumerateDevices(false)) {
            if (usb->serialNumber() == QLatin1String(serial)) {
                auto device = std::make_unique<Device>();
                const int status = device->open(usb);
                EXPECT_EQ(status, 0) << serial;
                bench().wireLog(serial); // only what the test sends from here on
                return status == 0 ? std::move(device) : nullptr;
            }
        }
        ADD_FAILURE() << "no unit " << serial;
        return nullptr;
    }

    // The request packets sent to the unit since the last call, each as "instruction: data" in hex.
    QStringList sent(const char* serial)
    {
        QByteArray bytes;
        for (const QString& line : bench().wireLog(serial)) {
            if (line.startsWith(QLatin1String("out 0: ")))
                bytes += QByteArray::fromHex(line.mid(7).toLatin1());
        }
        QStringList packets;
        while (bytes.size() >= 8) {
            const int length = static_cast<quint8>(bytes[6]) | (static_cast<quint8>(bytes[7]) << 8);
            packets << QString::fromLatin1(bytes.mid(5, 1).toHex() + ": " + bytes.mid(8, length).toHex());
            bytes.remove(0, 8 + length);
        }
        return packets;
    }
};

} // namespace

TEST_F(FamilyBenchTest, CedarVoltageEncodingFollowsTheFirmwareVersion)
{
    loadBench(R"({"units": [
        {"chip": "FT232R", "serial": "QZAH017010011", "versionWords": [1, 1, 0, 0, 0], "busLevel": 1},
        {"chip": "FT232R", "serial": "QZAH017010012", "busLevel": 1}]})");
    {
        auto plain = openUnit<KavraDriver_Cedar_Device>("QZAH017010011");
        ASSERT_TRUE(plain);
        EXPECT_EQ(plain->setVoltage(2, 100, 0), 0);
        EXPECT_EQ(sent("QZAH017010011"), QStringList{"22: 3f9c"});
        EXPECT_EQ(plain->setVoltage(2, 100.5, 0), 19);
        EXPECT_TRUE(sent("QZAH017010011").isEmpty());
    }
    {
        auto waveform = openUnit<KavraDriver_Cedar_Device>("QZAH017010012");
        ASSERT_TRUE(waveform);
        EXPECT_EQ(waveform->setVoltage(3, 100, 0), 0);
        EXPECT_EQ(waveform->setVoltageWaveform(1, 2, 10, 20, 0.5), 0);
        EXPECT_EQ(sent("QZAH017010012"),
                  (QStringList{"23: 3f9c00e8030000", "21: 9f0f03f4013f1f"}));
    }
}

TEST_F(FamilyBenchTest, CedarSwitchOnRefusalsAndErrorText)
{
    loadBench(R"({"units": [
        {"chip": "FT232R", "serial": "QZAH017010021", "outputs23Ready": false, "errorWord": 257},
        {"chip": "FT232R", "serial": "QZAH017010022", "ready": false}]})");
    {
        auto device = openUnit<KavraDriver_Cedar_Device>("QZAH017010021");
        ASSERT_TRUE(device);
        EXPECT_EQ(device->turnVoltageOn(2), 30);
        EXPECT_EQ(sent("QZAH017010021"), QStringList{"49: "});
        EXPECT_EQ(device->turnVoltageOn(1), 0);
        EXPECT_EQ(sent("QZAH017010021"), (QStringList{"49: ", "2a: "}));

        bool flag = false;
        char text[222];
        EXPECT_EQ(device->getSupplyStatus(&flag, text), 0);
        EXPECT_STREQ(text, "Output 1 over-temperature\nLow-voltage bus under-voltage");
        bool first = false;
        bool second = false;
        EXPECT_EQ(device->getChannelStatus(1, &first, &second), 0);
        EXPECT_TRUE(first);
        EXPECT_TRUE(second);
    }
    {
        auto device = openUnit<KavraDriver_Cedar_Device>("QZAH017010022");
        ASSERT_TRUE(device);
        EXPECT_EQ(device->turnVoltageOn(1), 29);
        EXPECT_EQ(sent("QZAH017010022"), QStringList{"49: "});
    }
}

TEST_F(FamilyBenchTest, AlderAndBirchInstructionBytes)
{
    loadBench(R"({"units": [
        {"chip": "FT232R", "serial": "QZAH015010031"},
        {"chip": "FT232R", "serial": "QZAH040010032"}]})");
    auto alder = openUnit<KavraDriver_Alder_Device>("QZAH015010031");
    auto birch = openUnit<KavraDriver_Birch_Device>("QZAH040010032");
    ASSERT_TRUE(alder && birch);

    EXPECT_EQ(alder->setPWMFrequency(200000), 0);
    EXPECT_EQ(alder->setPWM(1, 30), 0);
    EXPECT_EQ(alder->clearError(), 0);
    EXPECT_EQ(sent("QZAH015010031"),
              (QStringList{"23: 400d0300", "28: ", "24: 021e", "28: ", "27: "}));

    EXPECT_EQ(birch->setAccurateVoltage(1, 52000, -2500), 0);
    EXPECT_EQ(birch->setAccurateVoltage(1, 100.9, 0.0015), 0);
    EXPECT_EQ(birch->turnVoltageOff(1), 0);
    EXPECT_EQ(sent("QZAH040010032"),
              (QStringList{"20: 20cb60dad9ff", "20: 640001000000", "20: 000000000000"}));
}

TEST_F(FamilyBenchTest, GenericUsesTheModelsBytesLimitsAndCalibration)
{
    loadBench(R"({"units": [
        {"chip": "FT232R", "serial": "QZAH019010041"},
        {"chip": "FT232R", "serial": "QZAH025010042", "polarity": 1}]})");
    auto single = openUnit<KavraDriver_Generic_Device>("QZAH019010041");
    auto dual = openUnit<KavraDriver_Generic_Device>("QZAH025010042");
    ASSERT_TRUE(single && dual);

    EXPECT_EQ(single->setVoltage(1, 5000.5, 200), 19);
    EXPECT_EQ(single->setVoltage(1, 5000, 200.5), 20);
    EXPECT_EQ(single->setPolarity(2, 0), 10);
    EXPECT_EQ(single->setVoltage(1, 1000, 100), 0);
    EXPECT_EQ(single->turnVoltageOff(1), 0);
    EXPECT_EQ(sent("QZAH019010041"),
              (QStringList{"20: a41d" "dc0b" "0000" "0000" "0000" "00" "0000" "d8d6", "23: "}));

    // The dual-polarity unit reported polarity 1 when it was opened.
    EXPECT_EQ(dual->polarity().value(KavraDriver_Generic_Polarity::Polarity).toInt(), 1);
    EXPECT_EQ(dual->setVoltage(1, 2000.5, 0), 19);
    EXPECT_EQ(dual->setPolarity(1, 2), 22);
    EXPECT_EQ(dual->setPolarity(1, 0), 0);
    EXPECT_EQ(dual->turnVoltageOn(1), 0);
    EXPECT_EQ(sent("QZAH025010042"), (QStringList{"21: 00", "24: "}));
}

TEST_F(FamilyBenchTest, RowanReadsTheConverter)
{
    loadBench(R"({"units": [{"chip": "FT232R", "serial": "QZAH041010051", "adcInput": -1.0}]})");
    auto rowan = openUnit<KavraDriver_Rowan_Device>("QZAH041010051");
    ASSERT_TRUE(rowan);
    double value = 0;
    EXPECT_EQ(rowan->getADCValue(&value), 0);
    EXPECT_DOUBLE_EQ(value, -1.0);
    EXPECT_EQ(rowan->getADCValue(nullptr), 0);
    EXPECT_EQ(sent("QZAH041010051"), (QStringList{"40: ", "40: "}));
}
