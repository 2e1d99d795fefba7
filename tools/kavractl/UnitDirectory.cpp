#include "UnitDirectory.h"

#include "DriverInfo.h"
#include "ToolError.h"

#include <KavraLib.h>

namespace {

// The listing calls: each lists the attached units once.
int listed(int (*call)(int*))
{
    int number = 0;
    const int status = call(&number);
    if (status != 0)
        throw ToolError::status(status, QStringLiteral("counting the units"));
    return number;
}

} // namespace

QList<UnitIdentity> UnitDirectory::list()
{
    // The one listing of the command: the indices already numbered answer without listing again.
    const int highest = listed(getHighestDeviceIndex);
    if (highest == 0) {
        const DriverInfo driver = DriverInfo::query();
        if (!driver.loaded())
            throw ToolError::noDriver(driver);
    }
    QList<UnitIdentity> units;
    for (int index = 1; index <= highest; ++index)
        units.append(UnitIdentity::ofIndex(index));
    return units;
}

int UnitDirectory::attachedCount()
{
    return listed(getDeviceCount);
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
        if (!notFound || listed(getDeviceCount) > 0)
            throw;
        const DriverInfo driver = DriverInfo::query();
        if (!driver.loaded())
            throw ToolError::noDriver(driver);
        throw error.noted(QStringLiteral("no units attached (%1)").arg(driver.line()));
    }
}
