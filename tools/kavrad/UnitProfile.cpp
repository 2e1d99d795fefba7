#include "UnitProfile.h"

UnitProfile::UnitProfile(const UnitIdentity& identity) : m_identity(identity) { }

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
