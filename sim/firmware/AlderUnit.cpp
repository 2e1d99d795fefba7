#include "AlderUnit.h"

#include "WireBytes.h"

#include <QJsonArray>

#include <cmath>

namespace {

const int kUserDataSize = 150;
const CalibrationWords kDefaults(10560, 0, 0, 22400, 0);

long roundHalfUp(double value)
{
    return static_cast<long>(std::floor(value + 0.5));
}

} // namespace

AlderUnit::AlderUnit(const QJsonObject& config)
    : FirmwareUnit(config, QStringLiteral("Alder"), {1, 1, 0, 0, 0})
    , m_calibration(kDefaults)
    , m_output(config)
{
    m_polarity = config.value(QStringLiteral("polarity")).toInt(0) == 1 ? 1 : 0;
    buildUserData(config.value(QStringLiteral("calibration")).toObject());
}

void AlderUnit::buildUserData(const QJsonObject& calibration)
{
    m_calibrationForm
        = calibration.value(QStringLiteral("form"))
              .toString(calibration.isEmpty() ? QStringLiteral("none") : QStringLiteral("g"));
    const QJsonArray pairs = calibration.value(QStringLiteral("pairs")).toArray();
    auto appendPairs = [&pairs](QByteArray& record, int count) {
        for (int i = 0; i < count; ++i) {
            const QJsonArray pair = pairs.at(i).toArray();
            WireBytes::appendWord(record, pair.size() > 0 ? pair.at(0).toInt() : 0);
            WireBytes::appendWord(record, pair.size() > 1 ? pair.at(1).toInt() : 30000);
        }
    };

    QByteArray record;
    if (m_calibrationForm == QLatin1String("O")) {
        // This form carries only the voltage words; the host keeps its defaults for the rest,
        // and so does the unit's physics.
        QJsonObject voltageOnly;
        for (const QString& key :
            {QStringLiteral("voltageGain"), QStringLiteral("voltageOffset")}) {
            if (calibration.contains(key))
                voltageOnly.insert(key, calibration.value(key));
        }
        m_calibration = kDefaults.overriddenBy(voltageOnly);
        record.append('O');
        appendPairs(record, 16);
        WireBytes::appendWord(record, m_calibration.voltageGain());
        WireBytes::appendWord(record, m_calibration.voltageOffset());
    } else if (m_calibrationForm == QLatin1String("g")) {
        m_calibration = kDefaults.overriddenBy(calibration);
        record.append('g');
        appendPairs(record, 8);
        WireBytes::appendWord(record, m_calibration.voltageGain());
        WireBytes::appendWord(record, m_calibration.voltageOffset());
        WireBytes::appendWord(record, m_calibration.currentGain());
        WireBytes::appendWord(record, m_calibration.currentOffset());
        WireBytes::appendWord(record, m_calibration.currentCoupling());
    } else {
        // An erased record: the host falls back to its defaults, which the unit shares.
        m_calibrationForm = QStringLiteral("none");
        m_calibration = kDefaults;
        record = QByteArray(kUserDataSize, '\xFF');
    }
    record.append(QByteArray(kUserDataSize - record.size(), '\0'));
    m_userData = record;
}

FirmwareUnit::Reply AlderUnit::handleInstruction(quint8 instruction, const QByteArray& data)
{
    const bool empty = data.isEmpty();
    switch (instruction) {
    case SetVoltage:
        return data.size() == 10 ? setVoltage(data) : rejected();
    case SetPolarity: {
        const int polarity = WireBytes::byteAt(data, 0);
        if (data.size() != 1 || polarity > 1)
            return rejected();
        m_polarity = polarity;
        return ok();
    }
    case Auxiliary22:
    case Auxiliary25:
    case Auxiliary29:
        return ok(); // accepted and kept only in the request log
    case SetPwmFrequency:
        if (data.size() != 4)
            return rejected();
        m_pendingFrequency = WireBytes::dword(data, 0);
        return ok();
    case SetPwm:
        if (data.size() != 2 || WireBytes::byteAt(data, 1) > 100)
            return rejected();
        m_pendingMode = WireBytes::byteAt(data, 0);
        m_pendingDuty = WireBytes::byteAt(data, 1);
        return ok();
    case OutputOn:
        if (!empty)
            return rejected();
        m_output.switchOn();
        return ok();
    case OutputOff:
        if (!empty)
            return rejected();
        m_output.switchOff();
        return ok();
    case ApplyPwm:
        if (!empty)
            return rejected();
        m_pwmMode = m_pendingMode;
        m_pwmDuty = m_pendingDuty;
        m_pwmFrequency = m_pendingFrequency;
        return ok();
    default:
        break;
    }
    if (!empty)
        return rejected();
    switch (instruction) {
    case ReadVoltageSetting:
        return ok(m_voltageSetting);
    case ReadPolarity:
        return ok(QByteArray(1, static_cast<char>(m_polarity)));
    case ReadVoltageAndFrequency:
        return ok(m_voltageSetting + pwmFrequencyBytes());
    case ReadPwmFrequency:
        return ok(pwmFrequencyBytes());
    case ReadPwm: {
        QByteArray pwm;
        pwm.append(static_cast<char>(m_pwmMode));
        pwm.append(static_cast<char>(m_pwmDuty));
        return ok(pwm);
    }
    case ReadUserData:
        return ok(m_userData);
    case ReadSupplyState:
        return ok(supplyState());
    default:
        return rejected();
    }
}

FirmwareUnit::Reply AlderUnit::setVoltage(const QByteArray& data)
{
    // Codes of a reversed output are negative: the words are then two's complement.
    const bool reversed = m_polarity == 1;
    const int voltageCode = reversed ? WireBytes::signedWord(data, 0) : WireBytes::word(data, 0);
    const int currentCode = reversed ? WireBytes::signedWord(data, 2) : WireBytes::word(data, 2);
    m_voltageSetting = data;
    m_output.setVoltage(m_calibration.voltageFromCode(voltageCode));
    m_output.setCurrentLimit(m_calibration.currentFromCode(currentCode));
    return ok();
}

QByteArray AlderUnit::supplyState() const
{
    const int rv
        = WireBytes::clampSigned16(roundHalfUp(m_calibration.voltageReading(m_output.voltage())));
    const int ri = WireBytes::clampSigned16(
        roundHalfUp(m_calibration.currentReading(m_output.current(), rv)));
    QByteArray reply;
    reply.append(static_cast<char>((m_output.isOn() ? 0x01 : 0)
        | (m_output.currentLimited() ? 0x02 : 0) | (m_output.errorCode() << 2)));
    WireBytes::appendWord(reply, rv);
    WireBytes::appendWord(reply, ri);
    return reply;
}

QByteArray AlderUnit::pwmFrequencyBytes() const
{
    QByteArray bytes;
    WireBytes::appendDword(bytes, m_pwmFrequency);
    return bytes;
}

void AlderUnit::addFamilyState(QJsonObject& state) const
{
    QJsonObject calibration = m_calibration.toJson();
    calibration.insert(QStringLiteral("form"), m_calibrationForm);
    state.insert(QStringLiteral("calibration"), calibration);
    state.insert(QStringLiteral("polarity"), m_polarity);
    state.insert(QStringLiteral("output"), m_output.toJson());
    state.insert(QStringLiteral("voltageSetting"), QString::fromLatin1(m_voltageSetting.toHex()));
    state.insert(QStringLiteral("pwm"),
        QJsonObject{{QStringLiteral("mode"), m_pwmMode}, {QStringLiteral("duty"), m_pwmDuty},
            {QStringLiteral("frequency"), static_cast<qint64>(m_pwmFrequency)}});
    state.insert(QStringLiteral("pwmPending"),
        QJsonObject{{QStringLiteral("mode"), m_pendingMode},
            {QStringLiteral("duty"), m_pendingDuty},
            {QStringLiteral("frequency"), static_cast<qint64>(m_pendingFrequency)}});
}
