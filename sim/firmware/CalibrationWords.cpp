#include "CalibrationWords.h"

CalibrationWords::CalibrationWords(
    int voltageGain, int voltageOffset, int currentCoupling, int currentGain, int currentOffset)
    : m_voltageGain(voltageGain)
    , m_voltageOffset(voltageOffset)
    , m_currentCoupling(currentCoupling)
    , m_currentGain(currentGain)
    , m_currentOffset(currentOffset)
{ }

CalibrationWords CalibrationWords::overriddenBy(const QJsonObject& config) const
{
    // Stored as 16-bit words: gains and coupling unsigned, offsets signed.
    auto word = [&config](const char* key, int fallback, int low, int high) {
        return qBound(low, config.value(QLatin1String(key)).toInt(fallback), high);
    };
    CalibrationWords words;
    // A gain of 0 would make every reading divide by zero on the host; the smallest gain is 1.
    words.m_voltageGain = word("voltageGain", m_voltageGain, 1, 0xFFFF);
    words.m_voltageOffset = word("voltageOffset", m_voltageOffset, -32768, 32767);
    words.m_currentCoupling = word("currentCoupling", m_currentCoupling, 0, 0xFFFF);
    words.m_currentGain = word("currentGain", m_currentGain, 1, 0xFFFF);
    words.m_currentOffset = word("currentOffset", m_currentOffset, -32768, 32767);
    return words;
}

double CalibrationWords::voltageFromCode(int code) const
{
    return (code - m_voltageOffset / 10.0) / (m_voltageGain / 1000.0);
}

double CalibrationWords::currentFromCode(int code) const
{
    return code / (m_currentGain / 100.0);
}

double CalibrationWords::voltageReading(double voltage) const
{
    return voltage * (m_voltageGain / 1000.0) + m_voltageOffset / 10.0;
}

double CalibrationWords::currentReading(double current, double voltageReading) const
{
    return current * (m_currentGain / 100.0) + m_currentOffset / 10.0
        + (voltageReading - m_voltageOffset / 10.0) * m_currentCoupling / 16384.0;
}

QJsonObject CalibrationWords::toJson() const
{
    return QJsonObject{{QStringLiteral("voltageGain"), m_voltageGain},
        {QStringLiteral("voltageOffset"), m_voltageOffset},
        {QStringLiteral("currentCoupling"), m_currentCoupling},
        {QStringLiteral("currentGain"), m_currentGain},
        {QStringLiteral("currentOffset"), m_currentOffset}};
}
