// Property records of the device families: the encodings and decodings the end-to-end tests do
// not reach (cut values, limits, offsets, halves of negative readings, calibration layouts).

#include "KavraDriver_Alder_PWM.h"
#include "KavraDriver_Alder_Polarity.h"
#include "KavraDriver_Alder_SupplyState.h"
#include "KavraDriver_Alder_UserData.h"
#include "KavraDriver_Alder_Voltage.h"
#include "KavraDriver_Birch_Voltage.h"
#include "KavraDriver_Cedar_HVBus.h"
#include "KavraDriver_Cedar_SupplyState.h"
#include "KavraDriver_Cedar_Voltage.h"
#include "KavraDriver_Generic_SupplyState.h"
#include "KavraDriver_Generic_UserData.h"
#include "KavraDriver_Generic_Voltage.h"
#include "KavraDriver_Rowan_Voltage.h"
#include "KavraDriver_SupplyStateObserver.h"

#include <QByteArray>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

// Bytes written in hex, with spaces between the fields for the reader.
QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text));
}

// A reply of the given length, zero-filled, with words written at the given offsets.
QByteArray reply(int length, char marker, std::vector<std::pair<int, quint16>> words = {})
{
    QByteArray data(length, '\0');
    data[0] = marker;
    for (const auto& word : words) {
        data[word.first] = static_cast<char>(word.second & 0xFF);
        data[word.first + 1] = static_cast<char>(word.second >> 8);
    }
    return data;
}

// Alder calibration in the single-pair layout with chosen words.
KavraDriver_Alder_UserData alderCalibration(quint16 voltageGain, qint16 voltageOffset,
    quint16 currentGain, qint16 currentOffset, quint16 coupling)
{
    return KavraDriver_Alder_UserData(reply(150, 'g',
        {{33, voltageGain}, {35, static_cast<quint16>(voltageOffset)}, {37, currentGain},
            {39, static_cast<quint16>(currentOffset)}, {41, coupling}}));
}

KavraDriver_Generic_UserData genericCalibration(quint16 voltageGain, qint16 voltageOffset,
    quint16 currentGain, qint16 currentOffset, quint16 coupling)
{
    return KavraDriver_Generic_UserData(ModelId(19, 1),
        reply(20, 'm',
            {{1, voltageGain}, {3, static_cast<quint16>(voltageOffset)}, {5, currentGain},
                {7, static_cast<quint16>(currentOffset)}, {9, coupling}}));
}

// The five calibration words, in the order of the layouts: one comparison per record.
template <class UserData> std::vector<int> words(const UserData& data)
{
    return {data.voltageGain(), data.voltageOffset(), data.currentGain(), data.currentOffset(),
        data.currentCoupling()};
}

// The values of the given keys as whole numbers.
template <class Record> std::vector<int> ints(const Record& record, std::vector<int> keys)
{
    for (int& key : keys)
        key = record.value(key).toInt();
    return keys;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Alder

TEST(AlderRecords, PwmEncoding)
{
    struct Case
    {
        int mode;
        QVariant alternate;
        int duty;
        const char* bytes;
    };
    const Case cases[] = {
        {2, true, 100, "0264"}, // bit 2 clear: the flag adds nothing
        {6, QVariant(), 0, "0600"}, // bit 2 set, flag absent
        {6, true, 7, "0707"}, // bit 2 set and flag true: bit 0 added
        {22, false, 300, "162c"}, // duty sent as its low byte
    };
    for (const Case& c : cases) {
        KavraDriver_Alder_PWM pwm;
        pwm.setValue(KavraDriver_Alder_PWM::Mode, c.mode);
        pwm.setValue(KavraDriver_Alder_PWM::Duty, c.duty);
        if (c.alternate.isValid())
            pwm.setValue(KavraDriver_Alder_PWM::Alternate, c.alternate);
        EXPECT_EQ(pwm.encode().toHex(), hex(c.bytes).toHex()) << c.mode << " " << c.duty;
    }
}

TEST(AlderRecords, VoltageEncodingCutsValuesAndFollowsPolarity)
{
    struct Case
    {
        double voltage;
        double current;
        int polarity;
        KavraDriver_Alder_UserData calibration;
        const char* bytes;
    };
    // Default calibration: gains 10560 and 22400, no offsets.
    const KavraDriver_Alder_UserData defaults;
    const Case cases[] = {
        {1000, 500, 0, defaults, "4029 80b5 0000 0000 0000"}, // 10560; 112000 cut to 16 bits
        {1000, 500, 1, defaults, "c0d6 804a 0000 0000 0000"}, // -10560; -112000 cut to 16 bits
        {100.9, 0.99, 0, defaults, "2004 0000 0000 0000 0000"}, // 100 -> 1056; 0.99 -> 0
        // Offsets: the voltage code adds tenths exactly, the offset words divide toward zero.
        // 10 - 2.5 = 7.5 -> 7
        {10, 0, 0, alderCalibration(1000, -25, 100, 19, 77), "0700 0000 feff 0100 4d00"},
    };
    for (const Case& c : cases) {
        KavraDriver_Alder_Polarity polarity;
        polarity.setValue(KavraDriver_Alder_Polarity::Polarity, c.polarity);
        KavraDriver_Alder_Voltage voltage;
        voltage.setValue(KavraDriver_Alder_Voltage::Voltage, c.voltage);
        voltage.setValue(KavraDriver_Alder_Voltage::Current, c.current);
        EXPECT_EQ(voltage.encode(c.calibration, polarity).toHex(), hex(c.bytes).toHex())
            << c.voltage << " " << c.polarity;
    }
}

TEST(AlderRecords, UserDataLayouts)
{
    // Single-pair layout: eight pairs from byte 1, then the five words from byte 33.
    QByteArray single = reply(150, 'g', {{33, 7000}, {35, 0xFFF6}, {37, 1234}, {39, 30}, {41, 99}});
    for (int pair = 0; pair < 8; ++pair) {
        single[1 + 4 * pair] = static_cast<char>(pair + 1);
        single[3 + 4 * pair] = static_cast<char>(pair + 101);
    }
    const KavraDriver_Alder_UserData fromSingle(single);
    EXPECT_EQ(words(fromSingle), (std::vector<int>{7000, -10, 1234, 30, 99}));
    EXPECT_EQ(fromSingle.firstTable()[0][0][0], 1);
    EXPECT_EQ(fromSingle.secondTable()[0][3][0], 104);
    EXPECT_EQ(fromSingle.firstTable()[1][0][0], 5);
    EXPECT_EQ(fromSingle.secondTable()[1][3][0], 108);

    // Paired layout: sixteen pairs, then only the voltage words; the current words keep defaults.
    QByteArray paired = reply(150, 'O', {{65, 9000}, {67, 40}, {37, 1}, {41, 1}});
    paired[1 + 4 * 3] = 42; // pair 3: a = 0, b = 1, second pair of the entry
    const KavraDriver_Alder_UserData fromPaired(paired);
    EXPECT_EQ(words(fromPaired), (std::vector<int>{9000, 40, 22400, 0, 0}));
    EXPECT_EQ(fromPaired.firstTable()[0][1][1], 42);

    // Any other first byte: the unit holds no calibration.
    const KavraDriver_Alder_UserData unknown(reply(150, 'm', {{33, 1}, {65, 1}}));
    EXPECT_EQ(words(unknown), (std::vector<int>{10560, 0, 22400, 0, 0}));
    EXPECT_EQ(unknown.secondTable()[1][2][0], 30000);
}

TEST(AlderRecords, SupplyStateDecoding)
{
    // Gain 1 per count, voltage offset +0.5 count, current offset -0.5 count: halves everywhere.
    const KavraDriver_Alder_UserData calibration = alderCalibration(1000, 5, 100, -5, 0);
    using S = KavraDriver_Alder_SupplyState;
    struct Case
    {
        const char* bytes;
        std::vector<int> values; // raw voltage and current, voltage, current, flags, error code
        const char* text;
    };
    const Case cases[] = {
        {"06 0a00 0300", {10, 3, 10, 4, 0, 1, 1}, "Output short circuit"}, // 9.5, 3.5
        {"01 f6ff fdff", {-10, -3, -10, -2, 1, 0, 0}, "No error"}, // -10.5, -2.5
        {"0b 0000 0000", {0, 0, 0, 1, 1, 1, 2}, "Unknown error"}, // -0.5, 0.5
    };
    for (const Case& c : cases) {
        const S state(hex(c.bytes), calibration);
        EXPECT_EQ(ints(state,
                      {S::RawVoltage, S::RawCurrent, S::Voltage, S::Current, S::FirstFlag,
                          S::SecondFlag, S::ErrorCode}),
            c.values)
            << c.bytes;
        EXPECT_EQ(state.statusText(), QString::fromLatin1(c.text));
    }

    // The current reading contains a share of the voltage term: gain 2, coupling 1/2.
    const S coupled(hex("00 6400 6400"), alderCalibration(2000, 0, 100, 0, 8192));
    // 100 / 2, and 100 - 2*50/2
    EXPECT_EQ(ints(coupled, {S::Voltage, S::Current}), (std::vector<int>{50, 50}));

    // A zero gain gives no number; the reading must still be a defined integer.
    const S zeroGain(hex("00 6400 6400"), alderCalibration(0, 0, 0, 0, 0));
    EXPECT_TRUE(zeroGain.value(S::Voltage).isValid());
}

// ---------------------------------------------------------------------------------------------
// Birch

TEST(BirchRecords, VoltageEncodingCutsNegativeValuesTowardZero)
{
    // (Positive and whole values: FamilyBehaviour.ExactBytesOnTheWire.)
    KavraDriver_Birch_Voltage voltage;
    voltage.setValue(KavraDriver_Birch_Voltage::Voltage, 7);
    voltage.setValue(KavraDriver_Birch_Voltage::Second, -0.0019);
    EXPECT_EQ(voltage.encode().toHex(), hex("0700 ffffffff").toHex()); // -1.9 thousandths -> -1
}

// ---------------------------------------------------------------------------------------------
// Cedar

TEST(CedarRecords, VoltageEncodingByFirmware)
{
    struct Case
    {
        int firmware;
        double voltage;
        int waveform;
        double level2;
        double period;
        const char* bytes;
    };
    const Case cases[] = {
        {1, 100.02, 3, 50, 2, "479c"}, // not cut to whole volts first: 40007
        {0, 100, 0, 0, 1, "3f9c 00 e803 0000"}, // the waveform form
        {1, 200, 0, 0, 1, "ffff"}, // limited to 65535
        {3, 125, 1, 200, 50, "4fc3 01 50c3 ffff"}, // 49999, 50000 ms, limited
    };
    for (const Case& c : cases) {
        KavraDriver_Cedar_Voltage voltage;
        voltage.setValue(KavraDriver_Cedar_Voltage::Voltage, c.voltage);
        voltage.setValue(KavraDriver_Cedar_Voltage::Waveform, c.waveform);
        voltage.setValue(KavraDriver_Cedar_Voltage::SecondLevel, c.level2);
        voltage.setValue(KavraDriver_Cedar_Voltage::Period, c.period);
        EXPECT_EQ(voltage.encode(c.firmware).toHex(), hex(c.bytes).toHex())
            << c.firmware << " " << c.voltage;
    }
    // The defaults under the waveform form: constant, period 1 s.
    EXPECT_EQ(KavraDriver_Cedar_Voltage().encode(0).toHex(), hex("0000 00 e803 0000").toHex());
}

TEST(CedarRecords, BusLevelLimits)
{
    const std::pair<const char*, double> cases[]
        = {{"00", 75}, {"01", 100}, {"02", 125}, {"03", 75}, {"ff", 75}};
    for (const auto& [reply, highest] : cases) {
        const KavraDriver_Cedar_HVBus bus(hex(reply));
        EXPECT_EQ(bus.highestVoltage(), highest) << reply;
        EXPECT_EQ(bus.encode(), hex(reply));
    }
    EXPECT_EQ(KavraDriver_Cedar_HVBus().highestVoltage(), 75);
}

TEST(CedarRecords, SupplyStateAndErrorText)
{
    const KavraDriver_Cedar_SupplyState state(hex("21 0101 d204 0000 ffff 05"));
    EXPECT_DOUBLE_EQ(state.value(KavraDriver_Cedar_SupplyState::FirstReading).toDouble(), 123.4);
    EXPECT_DOUBLE_EQ(state.value(KavraDriver_Cedar_SupplyState::ThirdReading).toDouble(), 6553.5);
    EXPECT_TRUE(state.statusBit(KavraDriver_Cedar_SupplyState::ReadyBit));
    EXPECT_FALSE(state.statusBit(KavraDriver_Cedar_SupplyState::SecondaryReadyBit));
    EXPECT_TRUE(state.statusBit(KavraDriver_Cedar_SupplyState::ErrorBit));
    EXPECT_TRUE(state.outputBit(2));
    EXPECT_FALSE(state.outputBit(1));

    const std::pair<const char*, const char*> cases[] = {
        {"2000", "Output 3 over-load"},
        {"c000", "Low-power USB under-voltage\nHigh-power USB under-voltage"},
        {"00fe", ""}, // bits above 8 name nothing
    };
    for (const auto& [errorWord, text] : cases) {
        const KavraDriver_Cedar_SupplyState s(hex("00") + hex(errorWord) + QByteArray(7, '\0'));
        EXPECT_EQ(s.errorText(), QString::fromLatin1(text)) << errorWord;
    }

    // Every bit set: nine lines and eight newlines, within the 222 bytes a caller provides.
    const KavraDriver_Cedar_SupplyState all(hex("00 ff01") + QByteArray(7, '\0'));
    EXPECT_EQ(all.errorText().count(QLatin1Char('\n')), 8);
    EXPECT_EQ(all.errorText().size() + 1, 222);
}

// ---------------------------------------------------------------------------------------------
// Generic

TEST(GenericRecords, CalibrationDefaultsAndReply)
{
    struct Case
    {
        ModelId model;
        quint16 voltageGain;
        quint16 currentGain;
    };
    const Case cases[] = {{ModelId(19, 1), 7588, 3036}, {ModelId(25, 1), 18860, 1509},
        {ModelId(15, 1), 1000, 1000}, {ModelId(), 1000, 1000}};
    for (const Case& c : cases) {
        // Without the marker the reply is ignored and the model's defaults stand.
        for (const KavraDriver_Generic_UserData& data : {KavraDriver_Generic_UserData(c.model),
                 KavraDriver_Generic_UserData(c.model, reply(20, 'M', {{1, 1}, {5, 1}}))}) {
            EXPECT_EQ(words(data), (std::vector<int>{c.voltageGain, 0, c.currentGain, 0, 0}))
                << c.model.product;
        }
    }

    const KavraDriver_Generic_UserData stored(ModelId(25, 1),
        reply(20, 'm', {{1, 7000}, {3, 0xFFEC}, {5, 321}, {7, 15}, {9, 4096}, {11, 9}}));
    EXPECT_EQ(words(stored), (std::vector<int>{7000, -20, 321, 15, 4096}));
}

TEST(GenericRecords, VoltageEncoding)
{
    // Model (19, 1) defaults; the code is cut, not rounded: 1234 -> 9363.6 -> 9363.
    KavraDriver_Generic_Voltage voltage;
    voltage.setValue(KavraDriver_Generic_Voltage::Voltage, 1234.9);
    voltage.setValue(KavraDriver_Generic_Voltage::Current, 100.7);
    EXPECT_EQ(voltage.encode(KavraDriver_Generic_UserData(ModelId(19, 1))).toHex(),
        hex("9324 dc0b 0000 0000 0000 00 0000 50c3").toHex());

    // The settings travel as they are; offsets divide toward zero in their own words.
    voltage.setValue(KavraDriver_Generic_Voltage::Voltage, 10);
    voltage.setValue(KavraDriver_Generic_Voltage::Current, 1);
    voltage.setValue(KavraDriver_Generic_Voltage::SettingByte, 0x1AB);
    voltage.setValue(KavraDriver_Generic_Voltage::SettingWord, 0x1234);
    voltage.setValue(KavraDriver_Generic_Voltage::SecondSettingWord, 55000);
    EXPECT_EQ(voltage.encode(genericCalibration(1000, -25, 100, 19, 77)).toHex(),
        hex("0700 0100 feff 0100 4d00 ab 3412 d8d6").toHex());
}

TEST(GenericRecords, SupplyStateDecoding)
{
    // Gain 1 per count, voltage offset +0.5 count, current offset -0.5 count.
    const KavraDriver_Generic_UserData calibration = genericCalibration(1000, 5, 100, -5, 0);
    using S = KavraDriver_Generic_SupplyState;
    struct Case
    {
        const char* bytes;
        // Raw voltage and current, voltage, current, polarity code, flags, error code.
        std::vector<int> values;
        const char* status;
        const char* sign;
    };
    const Case cases[] = {
        // 9.5 -> 10 and 3.5 -> 4; positive.
        {"05 0a00 0300 3412 00", {10, 3, 10, 4, 0, 1, 0, 1}, "Output short circuit", "Positive"},
        // Same readings negated: -9.5 -> -9, -3.5 -> -3 (halves upward for negatives too).
        {"02 0a00 0300 0000 01", {10, 3, -9, -3, 1, 0, 1, 0}, "No error", "Negative"},
        // Raw voltage unsigned, raw current signed: 65535 and -3 (-2.5 -> -2).
        {"0c ffff fdff 0000 02", {65535, -3, 65535, -2, 2, 0, 0, 3}, "Unknown error", "Undefined"},
    };
    for (const Case& c : cases) {
        const S state(hex(c.bytes), calibration);
        EXPECT_EQ(ints(state,
                      {S::RawVoltage, S::RawCurrent, S::Voltage, S::Current, S::PolarityCode,
                          S::FirstFlag, S::SecondFlag, S::ErrorCode}),
            c.values)
            << c.bytes;
        EXPECT_EQ(state.statusText(), QString::fromLatin1(c.status));
        EXPECT_EQ(state.value(S::PolarityText).toString(), QString::fromLatin1(c.sign));
    }
    const S withWord(hex("00 0000 0000 3412 00"), calibration);
    EXPECT_EQ(withWord.value(S::SettingWord).toInt(), 0x1234);

    // Model defaults: 7588 counts per 1000 V.
    const S modelDefaults(
        hex("00 a41d dc0b 0000 00"), KavraDriver_Generic_UserData(ModelId(19, 1)));
    EXPECT_EQ(ints(modelDefaults, {S::Voltage, S::Current}), (std::vector<int>{1000, 100}));
}

// ---------------------------------------------------------------------------------------------
// Rowan

TEST(RowanRecords, ConverterReading)
{
    const std::pair<const char*, double> cases[] = {
        {"00000080", -2147483648.0 / 200.0},
        {"ffffff7f", 2147483647.0 / 200.0},
    };
    for (const auto& [bytes, value] : cases)
        EXPECT_DOUBLE_EQ(KavraDriver_Rowan_Voltage(hex(bytes)).value(), value) << bytes;
}

// ---------------------------------------------------------------------------------------------
// Shared behaviour

namespace {
class RecordingObserver : public KavraDriver_SupplyStateObserver
{
public:
    RecordingObserver(std::vector<int>& order, int id) : m_order(order), m_id(id) { }
    void supplyStateDestroyed(const void* record) override
    {
        m_order.push_back(m_id);
        seen = record;
    }
    const void* seen = nullptr;

private:
    std::vector<int>& m_order;
    int m_id;
};
} // namespace

TEST(FamilyRecords, SupplyStateTellsObserversInOrderAndCopiesDoNot)
{
    std::vector<int> order;
    RecordingObserver first(order, 1);
    RecordingObserver second(order, 2);
    const void* address = nullptr;
    {
        KavraDriver_Cedar_SupplyState state(QByteArray(10, '\0'));
        address = &state;
        state.addObserver(&second);
        state.addObserver(&first);
        state.addObserver(&second); // once is enough
        {
            const KavraDriver_Cedar_SupplyState copy(state);
            EXPECT_EQ(copy.value(KavraDriver_Cedar_SupplyState::StatusBits).toInt(), 0);
        }
        EXPECT_TRUE(order.empty());
    }
    EXPECT_EQ(order, (std::vector<int>{2, 1}));
    EXPECT_EQ(first.seen, address);

    order.clear();
    {
        KavraDriver_Generic_SupplyState state(QByteArray(8, '\0'), KavraDriver_Generic_UserData());
        state.addObserver(&first);
        state.addObserver(&second);
        state.removeObserver(&first);
        KavraDriver_Alder_SupplyState alder(QByteArray(5, '\0'), KavraDriver_Alder_UserData());
        alder.addObserver(&first);
    }
    EXPECT_EQ(order, (std::vector<int>{1, 2})); // the Alder record goes first, being declared last
}
