// Every family against all 16 unit functions: what a supported operation puts on the wire, that
// an unsupported one answers 10 and sends nothing, and that the family exports say the same
// before and after the unit is opened.

#include "BenchTest.h"

#include <QFile>
#include <QRegularExpression>

#include <map>

namespace {

// What the listing and the family exports say of a unit: serial number, family, outputs, PWM
// outputs, largest current limit, highest voltage and the operation bits.
std::string describe(int index)
{
    char serial[16] = "x", family[16] = "x";
    int channels = -1, pwmChannels = -1;
    double highestCurrent = -1, highestVoltage = -1;
    unsigned operations = 0xFFFFFFFFu;
    EXPECT_EQ(getDeviceSerialNumber(index, serial, sizeof serial), 0);
    EXPECT_EQ(getFamilyName(index, family, sizeof family), 0);
    EXPECT_EQ(getChannelCount(index, &channels), 0);
    EXPECT_EQ(getPwmChannelCount(index, &pwmChannels), 0);
    EXPECT_EQ(getHighestCurrent(index, &highestCurrent), 0);
    EXPECT_EQ(getHighestVoltage(index, &highestVoltage), 0);
    EXPECT_EQ(getSupportedOperations(index, &operations), 0);
    return std::string(serial) + " " + family + " " + std::to_string(channels) + " "
        + std::to_string(pwmChannels) + " " + QString::number(highestCurrent).toStdString() + " "
        + QString::number(highestVoltage).toStdString() + " " + std::to_string(operations);
}

struct Family
{
    const char* description; // family, outputs, PWM outputs, largest current, highest voltage
    // The packets a supported call sends, as "instruction:payload" (a payload of * is not
    // checked: it follows the unit's calibration); a function missing here is unsupported.
    std::map<std::string, const char*> sent;
};

const std::map<int, Family>& families()
{
    static const std::map<int, Family> table = {
        {DefaultBench::Alder,
            {"Alder 1 1 1000 2000",
                {{"setPWM", "24:0232 28:"}, {"setPWMFrequency", "23:e8030000 28:"},
                    {"setVoltage", "20:*"}, {"setPolarity", "21:00"}, {"turnVoltageOn", "26:"},
                    {"turnVoltageOff", "27:"}, {"getSupplyStatus", "46:"},
                    {"getChannelStatus", "46:"}, {"getChannelCurrent", "46:"},
                    {"clearError", "27:"}}}},
        // Whole thousandths: 100.9 V and 0.0015 are sent as 100 and 1.
        {DefaultBench::Birch,
            {"Birch 1 0 0 52000",
                {{"setAccurateVoltage", "20:640001000000"}, {"turnVoltageOff", "20:000000000000"},
                    {"clearError", ""}}}},
        {DefaultBench::Cedar,
            {"Cedar 3 2 0 125",
                {{"setPWMFunction", "26:1632 30:"}, {"setPWM", "26:0232 30:"},
                    {"setPWMFrequency", "25:e8030000 30:"}, {"setVoltage", "21:*"},
                    {"setVoltageWaveform", "23:*"}, {"turnVoltageOn", "49: 2a:"},
                    {"turnVoltageOff", "2d:"}, {"enableInternalVoltageBus", "20:01"},
                    {"disableInternalVoltageBus", "32:"}, {"getSupplyStatus", "49:"},
                    {"getChannelStatus", "49:"}, {"clearError", "31:"}}}},
        {DefaultBench::Generic19,
            {"Generic 1 0 200 5000",
                {{"setVoltage", "20:*"}, {"turnVoltageOn", "22:"}, {"turnVoltageOff", "23:"},
                    {"getSupplyStatus", "42:"}, {"getChannelStatus", "42:"},
                    {"getChannelCurrent", "42:"}, {"clearError", "23:"}}}},
        {DefaultBench::Generic25,
            {"Generic 1 0 500 2000",
                {{"setVoltage", "20:*"}, {"setPolarity", "21:00"}, {"turnVoltageOn", "24:"},
                    {"turnVoltageOff", "25:"}, {"getSupplyStatus", "44:"},
                    {"getChannelStatus", "44:"}, {"getChannelCurrent", "44:"},
                    {"clearError", "25:"}}}},
        {DefaultBench::Rowan, {"Rowan 0 0 0 0", {{"getADCValue", "40:"}, {"clearError", ""}}}},
    };
    return table;
}

} // namespace

class UnitOperations : public BenchTest
{ };

TEST_F(UnitOperations, EveryFamilyAgainstEveryFunction)
{
    for (const auto& [index, family] : families()) {
        const char* serial = DefaultBench::serial(index);
        SCOPED_TRACE(serial);
        unsigned supported = 0;
        for (const UnitFunction& function : unitFunctions())
            supported |= family.sent.count(function.name) ? function.bit : 0u;
        const int openBefore = bench().openHandleCount();
        const std::string listed = describe(index);
        EXPECT_EQ(listed,
            std::string(serial) + " " + family.description + " " + std::to_string(supported));
        EXPECT_EQ(bench().openHandleCount(), openBefore); // described without opening

        ASSERT_EQ(clearError(index) % 10, 0); // opens the unit (10: no clearError)
        EXPECT_EQ(describe(index), listed);
        // The range checks accept exactly what the exports say.
        int pwmChannels = 0;
        double highestCurrent = 0, highestVoltage = 0;
        getPwmChannelCount(index, &pwmChannels);
        getHighestCurrent(index, &highestCurrent);
        getHighestVoltage(index, &highestVoltage);
        if (supported & KAVRA_OPERATION_SET_PWM) {
            EXPECT_EQ(setPWM(index, pwmChannels, 50), 0);
            EXPECT_EQ(setPWM(index, pwmChannels + 1, 50), 13);
        }
        if (highestCurrent > 0) {
            EXPECT_EQ(setVoltage(index, 1, 0, highestCurrent), 0);
            EXPECT_EQ(setVoltage(index, 1, 0, highestCurrent * 1.0001), 20);
        }
        // Cedar's highest needs the highest bus level, which only the unit sets (below).
        if ((supported & KAVRA_OPERATION_SET_VOLTAGE) && index != DefaultBench::Cedar) {
            EXPECT_EQ(setVoltage(index, 1, highestVoltage, highestCurrent), 0);
            EXPECT_EQ(setVoltage(index, 1, highestVoltage * 1.0001, highestCurrent), 19);
        }
        if (supported & KAVRA_OPERATION_SET_ACCURATE_VOLTAGE) {
            EXPECT_EQ(setAccurateVoltage(index, 1, highestVoltage, 0), 0);
            EXPECT_EQ(setAccurateVoltage(index, 1, highestVoltage * 1.0001, 0), 19);
        }
        bench().takeHostPackets(serial);
        for (const UnitFunction& function : unitFunctions()) {
            SCOPED_TRACE(function.name);
            const auto expected = family.sent.find(function.name);
            const int status = function.call(index);
            const std::string sent = bench().takeHostPacketsText(serial);
            if (expected == family.sent.end()) {
                EXPECT_EQ(status, 10);
                EXPECT_EQ(sent, "");
                continue;
            }
            EXPECT_EQ(status, 0);
            // A '*' stands for payload bytes that depend on the unit's calibration.
            const QRegularExpression pattern(QRegularExpression::anchoredPattern(
                QString::fromStdString(expected->second)
                    .replace(QLatin1Char('*'), QStringLiteral("[0-9a-f]+"))));
            EXPECT_TRUE(pattern.match(QString::fromStdString(sent)).hasMatch()) << sent;
        }
    }
    // A Cedar unit whose bus is at its highest level takes up to the exported voltage, and no more.
    loadBench(R"({"units": [{"chip": "FT2232H", "serial": "QZAH017010002", "busLevel": 2}]})");
    double highestVoltage = 0;
    ASSERT_EQ(getHighestVoltage(1, &highestVoltage), 0);
    EXPECT_EQ(setVoltage(1, 3, highestVoltage, 0), 0);
    EXPECT_EQ(setVoltage(1, 3, highestVoltage * 1.0001, 0), 19);
}

#ifdef KAVRA_PUBLIC_HEADER
// The header restates the family table's voltage limits for readers: each must be the table's.
TEST_F(UnitOperations, TheHeaderStatesTheTablesVoltageLimits)
{
    QFile file(QStringLiteral(KAVRA_PUBLIC_HEADER));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    // Comment lines joined, without their leading " * ".
    const QString header
        = QString::fromUtf8(file.readAll()).replace(QRegularExpression("\\n \\*"), "");
    const auto limit = [](int index) {
        double volts = -1;
        EXPECT_EQ(getHighestVoltage(index, &volts), 0);
        return QString::number(volts);
    };
    using namespace DefaultBench;
    const QString generic19 = limit(Generic19), generic25 = limit(Generic25);
    for (const QString& stated :
        {"(Alder " + limit(Alder) + ", Generic 19/1 " + generic19 + ", Generic 25/1 " + generic25
                + ", Cedar 75/100/" + limit(Cedar) + " by bus level)",
            "Birch: channel 1; voltage 0 to " + limit(Birch) + ";",
            "Alder (" + limit(Alder) + "), Generic 19/1 (" + generic19 + "), Generic 25/1 ("
                + generic25 + ")",
            "Birch (" + limit(Birch) + "); " + limit(Rowan) + " for Rowan",
            "this is the largest, " + limit(Cedar) + ";"})
        EXPECT_TRUE(header.simplified().contains(stated)) << stated.toStdString();
}
#endif
