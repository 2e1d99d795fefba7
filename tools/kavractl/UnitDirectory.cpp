#include "UnitDirectory.h"

#include "DriverInfo.h"
#include "ToolError.h"

#include <KavraLib.h>

namespace {

int attachedCount()
{
    int count = 0;
    const int status = getDeviceCount(&count);
    if (status != 0)
        throw ToolError::status(status, QStringLiteral("counting the units"));
    return count;
}

} // namespace

QList<UnitIdentity> UnitDirectory::list()
{
    const int count = attachedCount();
    if (count == 0) {
        const DriverInfo driver = DriverInfo::query();
        if (!driver.loaded())
            throw ToolError::noDriver(driver);
    }
    QList<UnitIdentity> units;
    for (int index = 1; index <= count; ++index)
        units.append(UnitIdentity::ofIndex(index));
    return units;
}

UnitIdentity UnitDirectory::resolve(const QString& name)
{
    try {
        bool isIndex = false;
        const int index = name.toInt(&isIndex);
        if (isIndex)
            return UnitIdentity::ofIndex(index);

        int found = -1;
        const int status = getDeviceIndex(name.toLatin1().constData(), &found);
        if (status != 0)
            throw ToolError::status(status, QStringLiteral("unit %1").arg(name));
        return UnitIdentity::ofIndex(found);
    } catch (const ToolError& error) {
        // "No such index" or "no such serial number" says little when nothing is attached.
        const bool notFound = error.statusCode() == 1 || error.statusCode() == 6;
        if (!notFound || attachedCount() > 0)
            throw;
        const DriverInfo driver = DriverInfo::query();
        if (!driver.loaded())
            throw ToolError::noDriver(driver);
        throw error.noted(QStringLiteral("no units attached (%1)").arg(driver.line()));
    }
}
