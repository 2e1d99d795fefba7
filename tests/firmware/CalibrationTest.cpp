#include "UnitHarness.h"

using namespace UnitHarness;

namespace {

// The calibration records as the units hold them, in each form a bench file can ask for.
struct RecordCase
{
    const char* name;
    const char* config;
    int instruction;
    int offset;
    const char* bytes; // empty: a record of all 0xff
};

class CalibrationRecord : public testing::TestWithParam<RecordCase>
{ };

TEST_P(CalibrationRecord, CarriesTheConfiguredWordsInItsForm)
{
    const RecordCase& c = GetParam();
    const QByteArray record = exchange(*unit(c.config), c.instruction).data;
    ASSERT_EQ(record.size(), c.instruction == 0x45 ? 150 : 20);
    if (*c.bytes == '\0')
        EXPECT_EQ(record, QByteArray(record.size(), '\xff'));
    else
        EXPECT_EQ(text(record.mid(c.offset, hex(c.bytes).size())), text(hex(c.bytes)));
}

INSTANTIATE_TEST_SUITE_P(Forms, CalibrationRecord,
    testing::Values(
        // Alder 'g': the pair table, then the words from byte 29.
        RecordCase{"AlderPairTable",
            R"({"serial":"QZAH01501","calibration":{"voltageGain":12000,"voltageOffset":-50,
                    "currentGain":10000,"currentOffset":30,"currentCoupling":1638,"pairs":[[1,2]]}})",
            0x45, 0, "67 0100 0200 0000 3075"},
        RecordCase{"AlderWords",
            R"({"serial":"QZAH01501","calibration":{"voltageGain":12000,"voltageOffset":-50,
                    "currentGain":10000,"currentOffset":30,"currentCoupling":1638,"pairs":[[1,2]]}})",
            0x45, 29, "0000 3075 e02e ceff 1027 1e00 6606 0000"},
        // Alder 'O': only the voltage words.
        RecordCase{"AlderFormO",
            R"({"serial":"QZAH01501","calibration":{"form":"O","voltageGain":9000}})", 0x45, 61,
            "0000 3075 2823 0000 0000"},
        RecordCase{"AlderNone", R"({"serial":"QZAH01501"})", 0x45, 0, ""},
        // Generic 'm': one record, or one per polarity.
        RecordCase{"Generic19FormM",
            R"({"serial":"QZAH01901","calibration":{"voltageGain":7600,"voltageOffset":-35,
                    "currentGain":3000,"currentOffset":12,"currentCoupling":800}})",
            0x41, 0, "6d b01d ddff b80b 0c00 2003 000000000000000000"},
        RecordCase{"Generic25FirstPolarityNone",
            R"({"serial":"QZAH02501","calibration":[{"form":"none"},{"voltageGain":19500}]})", 0x42,
            0, ""},
        RecordCase{"Generic25SecondPolarity",
            R"({"serial":"QZAH02501","calibration":[{"form":"none"},{"voltageGain":19500}]})", 0x43,
            0, "6d 2c4c 0000 e505 0000 0000"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
