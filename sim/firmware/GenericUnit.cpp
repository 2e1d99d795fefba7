#include "GenericUnit.h"

#include "WireBytes.h"

#include <QJsonArray>

#include <cmath>

namespace {

const int kRecordSize = 20;
const int kVoltageSettingSize = 15;

// Model-independent instruction codes.
enum Code {
    SetVoltage = 0,
    SetPolarity = 1,
    Auxiliary2 = 2,
    Auxiliary3 = 3,
    Auxiliary4 = 4,
    OutputOn = 5,
    OutputOff = 6,
    ReadVoltageSetting = 7,
    ReadPolarity = 8,
    ReadCalibration = 9,
    ReadCalibrationPositive = 10,
    ReadCalibrationNegative = 11,
    ReadSupplyState = 12,
};

long roundHalfUp(double value)
{
    return static_cast<long>(std::floor(value + 0.5));
}

} // namespace

GenericUnit::GenericUnit(const QJsonObject& config)
    : FirmwareUnit(config, QStringLiteral("Generic"), {1, 1, 0, 0, 0}), m_output(config)
{
    // Instruction bytes per code: (19, 1) first, (25, 1) second; 0 where the model lacks the code.
    static const int kTable[][2] = {
        {0x20, 0x20},
        {0, 0x21},
        {0x21, 0},
        {0, 0x22},
        {0, 0x23},
        {0x22, 0x24},
        {0x23, 0x25},
        {0x40, 0x40},
        {0, 0x41},
        {0x41, 0},
        {0, 0x42},
        {0, 0x43},
        {0x42, 0x44},
    };
    const int column = isDualPolarity() ? 1 : 0;
    for (int code = 0; code <= ReadSupplyState; ++code) {
        if (kTable[code][column] != 0)
            m_codeByInstruction.insert(kTable[code][column], code);
    }

    const CalibrationWords defaults = isDualPolarity() ? CalibrationWords(18860, 0, 0, 1509, 0)
                                                       : CalibrationWords(7588, 0, 0, 3036, 0);
    // "calibration" is one object for every polarity, or a list with one per polarity.
    const QJsonValue value = config.value(QStringLiteral("calibration"));
    for (int polarity = 0; polarity < 2; ++polarity) {
        const QJsonObject calibration
            = value.isArray() ? value.toArray().at(polarity).toObject() : value.toObject();
        QString form
            = calibration.value(QStringLiteral("form"))
                  .toString(calibration.isEmpty() ? QStringLiteral("none") : QStringLiteral("m"));
        QByteArray record;
        if (form == QLatin1String("m")) {
            m_calibration[polarity] = defaults.overriddenBy(calibration);
            const CalibrationWords& words = m_calibration[polarity];
            record.append('m');
            WireBytes::appendWord(record, words.voltageGain());
            WireBytes::appendWord(record, words.voltageOffset());
            WireBytes::appendWord(record, words.currentGain());
            WireBytes::appendWord(record, words.currentOffset());
            WireBytes::appendWord(record, words.currentCoupling());
            record.append(QByteArray(kRecordSize - record.size(), '\0'));
        } else {
            // An erased record: the host then uses the model's defaults, and so does the unit.
            form = QStringLiteral("none");
            m_calibration[polarity] = defaults;
            record = QByteArray(kRecordSize, '\xFF');
        }
        m_calibrationForm[polarity] = form;
        m_calibrationRecord[polarity] = record;
    }
    m_polarity = config.value(QStringLiteral("polarity")).toInt(0) == 1 ? 1 : 0;
}

bool GenericUnit::isDualPolarity() const
{
    return product() == 25 && revision() == 1;
}

const CalibrationWords& GenericUnit::calibrationInUse() const
{
    return m_calibration[isDualPolarity() ? m_polarity : 0];
}

FirmwareUnit::Reply GenericUnit::handleInstruction(quint8 instruction, const QByteArray& data)
{
    const auto found = m_codeByInstruction.constFind(instruction);
    if (found == m_codeByInstruction.constEnd())
        return rejected();
    const int code = found.value();
    switch (code) {
    case SetVoltage:
        return data.size() == kVoltageSettingSize ? setVoltage(data) : rejected();
    case SetPolarity: {
        const int polarity = WireBytes::byteAt(data, 0);
        if (data.size() != 1 || polarity > 1)
            return rejected();
        m_polarity = polarity;
        return ok();
    }
    case Auxiliary2:
    case Auxiliary3:
    case Auxiliary4:
        return ok(); // accepted and kept only in the request log
    default:
        break;
    }
    if (!data.isEmpty())
        return rejected();
    switch (code) {
    case OutputOn:
        m_output.switchOn();
        return ok();
    case OutputOff:
        m_output.switchOff();
        return ok();
    case ReadVoltageSetting:
        return ok(m_voltageSetting);
    case ReadPolarity:
        return ok(QByteArray(1, static_cast<char>(m_polarity)));
    case ReadCalibration:
    case ReadCalibrationPositive:
        return ok(m_calibrationRecord[0]);
    case ReadCalibrationNegative:
        return ok(m_calibrationRecord[1]);
    case ReadSupplyState:
        return ok(supplyState());
    default:
        return rejected();
    }
}

FirmwareUnit::Reply GenericUnit::setVoltage(const QByteArray& data)
{
    // The codes are magnitudes; the polarity relay gives the sign.
    const CalibrationWords& calibration = calibrationInUse();
    m_voltageSetting = data;
    m_output.setVoltage(qMax(0.0, calibration.voltageFromCode(WireBytes::word(data, 0))));
    m_output.setCurrentLimit(calibration.currentFromCode(WireBytes::word(data, 2)));
    return ok();
}

QByteArray GenericUnit::supplyState() const
{
    const CalibrationWords& calibration = calibrationInUse();
    const int rv
        = WireBytes::clampUnsigned16(roundHalfUp(calibration.voltageReading(m_output.voltage())));
    const int ri
        = WireBytes::clampSigned16(roundHalfUp(calibration.currentReading(m_output.current(), rv)));
    QByteArray reply;
    reply.append(static_cast<char>((m_output.isOn() ? 0x01 : 0)
        | (m_output.currentLimited() ? 0x02 : 0) | (m_output.errorCode() << 2)));
    WireBytes::appendWord(reply, rv);
    WireBytes::appendWord(reply, ri);
    WireBytes::appendWord(reply, WireBytes::word(m_voltageSetting, 0));
    reply.append(static_cast<char>(m_polarity));
    return reply;
}

void GenericUnit::addFamilyState(QJsonObject& state) const
{
    QJsonArray calibrations;
    for (int polarity = 0; polarity < (isDualPolarity() ? 2 : 1); ++polarity) {
        QJsonObject calibration = m_calibration[polarity].toJson();
        calibration.insert(QStringLiteral("form"), m_calibrationForm[polarity]);
        calibrations.append(calibration);
    }
    state.insert(QStringLiteral("calibration"), calibrations);
    state.insert(QStringLiteral("dualPolarity"), isDualPolarity());
    state.insert(QStringLiteral("polarity"), m_polarity);
    state.insert(QStringLiteral("output"), m_output.toJson());
    state.insert(QStringLiteral("voltageSetting"), QString::fromLatin1(m_voltageSetting.toHex()));
}
