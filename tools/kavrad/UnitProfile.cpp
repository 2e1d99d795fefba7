#include "UnitProfile.h"

UnitProfile::UnitProfile(const UnitIdentity& identity) : m_identity(identity) { }

QString UnitProfile::modelName() const
{
    const QString family = m_identity.family();
    if (family == QLatin1String("none"))
        return m_identity.model();
    return family + QLatin1Char(' ') + m_identity.model();
}
