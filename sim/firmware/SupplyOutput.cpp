#include "SupplyOutput.h"

#include <cmath>

namespace {
const double kMicroampsPerAmp = 1e6;
}

SupplyOutput::SupplyOutput(const QJsonObject& config)
    : m_loadOhms(config.value(QStringLiteral("loadOhms")).toDouble(0))
    , m_loadCurrent(std::fabs(config.value(QStringLiteral("loadCurrent")).toDouble(0)))
    , m_shortCircuit(config.value(QStringLiteral("shortCircuit")).toBool(false))
{
    if (!(m_loadOhms > 0))
        m_loadOhms = 0; // no resistive load (also rejects NaN and negative values)
}

void SupplyOutput::switchOn()
{
    m_on = true;
    if (m_shortCircuit)
        m_error = 1; // the output's protection latches until the output is switched off
}

void SupplyOutput::switchOff()
{
    m_on = false;
    m_error = 0;
}

double SupplyOutput::unlimitedCurrent() const
{
    if (m_loadOhms > 0)
        return std::fabs(m_setVoltage) / m_loadOhms * kMicroampsPerAmp;
    return m_setVoltage != 0 ? m_loadCurrent : 0;
}

bool SupplyOutput::currentLimited() const
{
    return m_on && (m_error != 0 || unlimitedCurrent() > m_currentLimit);
}

double SupplyOutput::voltage() const
{
    if (!m_on || m_error != 0)
        return 0;
    if (!currentLimited())
        return m_setVoltage;
    // Constant-current mode: the voltage falls to what the limit drives through the load.
    if (m_loadOhms > 0)
        return std::copysign(m_currentLimit * m_loadOhms / kMicroampsPerAmp, m_setVoltage);
    return 0;
}

double SupplyOutput::current() const
{
    if (!m_on)
        return 0;
    const double sign = m_setVoltage < 0 ? -1.0 : 1.0;
    if (currentLimited())
        return sign * m_currentLimit;
    return sign * unlimitedCurrent();
}

QJsonObject SupplyOutput::toJson() const
{
    return QJsonObject{{QStringLiteral("on"), m_on}, {QStringLiteral("setVoltage"), m_setVoltage},
        {QStringLiteral("currentLimit"), m_currentLimit}, {QStringLiteral("voltage"), voltage()},
        {QStringLiteral("current"), current()},
        {QStringLiteral("currentLimited"), currentLimited()}, {QStringLiteral("error"), m_error},
        {QStringLiteral("loadOhms"), m_loadOhms}, {QStringLiteral("loadCurrent"), m_loadCurrent},
        {QStringLiteral("shortCircuit"), m_shortCircuit}};
}
