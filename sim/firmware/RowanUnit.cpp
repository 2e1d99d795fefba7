#include "RowanUnit.h"

#include "WireBytes.h"

#include <cmath>

namespace {
const double kCountsPerVolt = 200.0;
}

RowanUnit::RowanUnit(const QJsonObject& config)
    : FirmwareUnit(config, QStringLiteral("Rowan"), {1, 1, 0, 0, 0})
    , m_input(config.value(QStringLiteral("adcInput")).toDouble(12.5))
{
    if (!std::isfinite(m_input))
        m_input = 0;
}

qint32 RowanUnit::converterValue() const
{
    const double counts = std::floor(m_input * kCountsPerVolt + 0.5);
    return static_cast<qint32>(qBound(-2147483648.0, counts, 2147483647.0));
}

FirmwareUnit::Reply RowanUnit::handleInstruction(quint8 instruction, const QByteArray& data)
{
    if (instruction != ReadConverter || !data.isEmpty())
        return rejected();
    QByteArray value;
    WireBytes::appendDword(value, converterValue());
    return ok(value);
}

void RowanUnit::addFamilyState(QJsonObject& state) const
{
    state.insert(QStringLiteral("adcInput"), m_input);
    state.insert(QStringLiteral("converterValue"), converterValue());
}
