#include "UnitProfile.h"

UnitProfile::UnitProfile(const UnitIdentity& identity) : m_identity(identity)
{
    // Answers from the library's table for every index it listed; 0 otherwise.
    if (getHighestVoltage(identity.index(), &m_highestVoltage) != 0)
        m_highestVoltage = 0.0;
}

QString UnitProfile::modelName() const
{
    const QString family = m_identity.family();
    if (family == QLatin1String("none"))
        return m_identity.model();
    return family + QLatin1Char(' ') + m_identity.model();
}
