#ifndef KAVRACTL_UNITDIRECTORY_H
#define KAVRACTL_UNITDIRECTORY_H

#include "UnitIdentity.h"

#include <QList>
#include <QString>

// The attached units as the library numbers them, and the naming of a unit on the command line.
// When no unit is attached at all, the D2XX library's state says why: without it nothing can be
// found, which is a failure of its own (ToolError::NoDriver).
class UnitDirectory
{
public:
    // Every attached supported unit, in index order; no unit is opened.
    static QList<UnitIdentity> list();

    // A unit named by its device index or by its serial number (any case). Throws ToolError.
    static UnitIdentity resolve(const QString& name);
};

#endif
