#include "UnitHarness.h"

using namespace UnitHarness;

// The calibration records as the units hold them, in each form a bench file can ask for.
TEST(CalibrationRecord, CarriesTheConfiguredWordsInItsForm)
{
    const char* alder = R"({"serial":"QZAH01501","calibration":{"voltageGain":12000,
        "voltageOffset":-50,"currentGain":10000,"currentOffset":30,"currentCoupling":1638,
        "pairs":[[1,2]]}})";
    const char* generic25 = R"({"serial":"QZAH02501",
        "calibration":[{"form":"none"},{"voltageGain":19500}]})";
    const ReplyCase cases[] = {
        // Alder 'g': the pair table, then the words from byte 29.
        {"AlderPairTable", alder, 0x45, 150, 0, hex("67 0100 0200 0000 3075")},
        {"AlderWords", alder, 0x45, 150, 29, hex("0000 3075 e02e ceff 1027 1e00 6606 0000")},
        // Alder 'O': only the voltage words.
        {"AlderFormO", R"({"serial":"QZAH01501","calibration":{"form":"O","voltageGain":9000}})",
            0x45, 150, 61, hex("0000 3075 2823 0000 0000")},
        {"AlderNone", R"({"serial":"QZAH01501"})", 0x45, 150, 0, QByteArray(150, '\xff')},
        // Generic 'm': one record, or one per polarity.
        {"Generic19FormM", R"({"serial":"QZAH01901","calibration":{"voltageGain":7600,
            "voltageOffset":-35,"currentGain":3000,"currentOffset":12,"currentCoupling":800}})",
            0x41, 20, 0, hex("6d b01d ddff b80b 0c00 2003 000000000000000000")},
        {"Generic25FirstPolarityNone", generic25, 0x42, 20, 0, QByteArray(20, '\xff')},
        {"Generic25SecondPolarity", generic25, 0x43, 20, 0, hex("6d 2c4c 0000 e505 0000 0000")},
    };
    for (const ReplyCase& c : cases)
        expectReply(c);
}
