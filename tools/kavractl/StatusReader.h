#ifndef KAVRACTL_STATUSREADER_H
#define KAVRACTL_STATUSREADER_H

#include "UnitIdentity.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>

// Reads everything a unit's family reports about its state. A reading the family does not
// have (getSupportedOperations) is left out, unasked; any failure ends the reading.
class StatusReader
{
public:
    // One unit: its identity with "supply", "channels" and "adc" where it has them.
    // Throws ToolError on a failed reading.
    static QJsonObject read(const UnitIdentity& unit);

    // Several units; a unit whose reading fails carries "error" {status, meaning} instead of
    // failing the others. failures counts them.
    static QJsonArray readAll(const QList<UnitIdentity>& units, int* failures);
};

#endif
