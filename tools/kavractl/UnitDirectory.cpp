#include "UnitDirectory.h"

#include "ToolError.h"

#include <KavraLib.h>

QList<UnitIdentity> UnitDirectory::list()
{
    int count = 0;
    const int status = getDeviceCount(&count);
    if (status != 0)
        throw ToolError::status(status, QStringLiteral("counting the units"));
    QList<UnitIdentity> units;
    for (int index = 1; index <= count; ++index)
        units.append(UnitIdentity::ofIndex(index));
    return units;
}

UnitIdentity UnitDirectory::resolve(const QString& name)
{
    bool isIndex = false;
    const int index = name.toInt(&isIndex);
    if (isIndex)
        return UnitIdentity::ofIndex(index);

    int found = -1;
    const int status = getDeviceIndex(name.toLatin1().constData(), &found);
    if (status != 0)
        throw ToolError::status(status, QStringLiteral("unit %1").arg(name));
    return UnitIdentity::ofIndex(found);
}
