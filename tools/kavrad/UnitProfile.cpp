#include "UnitProfile.h"

#include <QHash>
#include <QVector>

UnitProfile::UnitProfile(const UnitIdentity& identity) : m_identity(identity) {}

bool UnitProfile::supports(Operation operation) const
{
    using Op = Operation;
    static const QHash<QString, QVector<Op>> operations = {
        {QStringLiteral("Alder"),
         {Op::SetPwm, Op::SetPwmFrequency, Op::SetVoltage, Op::SetPolarity, Op::TurnOn, Op::TurnOff,
          Op::SupplyStatus, Op::ChannelStatus, Op::ChannelCurrent, Op::ClearError}},
        {QStringLiteral("Birch"), {Op::SetAccurateVoltage, Op::TurnOff, Op::ClearError}},
        {QStringLiteral("Cedar"),
         {Op::SetPwmFunction, Op::SetPwm, Op::SetPwmFrequency, Op::SetVoltage, Op::SetVoltageWaveform,
          Op::TurnOn, Op::TurnOff, Op::VoltageBus, Op::SupplyStatus, Op::ChannelStatus, Op::ClearError}},
        {QStringLiteral("Generic"),
         {Op::SetVoltage, Op::SetPolarity, Op::TurnOn, Op::TurnOff, Op::SupplyStatus, Op::ChannelStatus,
          Op::ChannelCurrent, Op::ClearError}},
        {QStringLiteral("Rowan"), {Op::AdcValue, Op::ClearError}},
    };
    // Only the dual-polarity Generic model switches its polarity.
    if (operation == Op::SetPolarity && m_identity.family() == QLatin1String("Generic"))
        return m_identity.product() == 25;
    return operations.value(m_identity.family()).contains(operation);
}

int UnitProfile::pwmChannels() const
{
    if (m_identity.family() == QLatin1String("Cedar"))
        return 2;
    return supports(Operation::SetPwm) ? 1 : 0;
}

double UnitProfile::largestCurrent() const
{
    if (m_identity.family() == QLatin1String("Alder"))
        return 1000;
    if (m_identity.family() == QLatin1String("Generic"))
        return m_identity.product() == 19 ? 200 : 500;
    return 0;
}

QString UnitProfile::modelName() const
{
    const QString family = m_identity.family();
    if (family == QLatin1String("none"))
        return m_identity.model();
    return family + QLatin1Char(' ') + m_identity.model();
}
