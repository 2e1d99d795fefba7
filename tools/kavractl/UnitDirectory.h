#ifndef KAVRACTL_UNITDIRECTORY_H
#define KAVRACTL_UNITDIRECTORY_H

#include "UnitIdentity.h"

#include <QList>
#include <QString>

// The units as the library numbers them, and the naming of a unit on the command line.
// When no unit is known at all, the D2XX library's state says why: without it nothing can be
// found, which is a failure of its own (ToolError::NoDriver).
class UnitDirectory
{
public:
    // Every unit an index names in this session (1 to getHighestDeviceIndex), attached or away
    // (unplugged since it was numbered), in index order; lists the units once and opens none.
    static QList<UnitIdentity> list();

    // The supported units attached now (getDeviceCount); lists them once more.
    static int attachedCount();

    // A unit named by its device index or by its serial number (any case). Throws ToolError.
    static UnitIdentity resolve(const QString& name);
};

#endif
