#ifndef KAVRACTL_STATUSTABLE_H
#define KAVRACTL_STATUSTABLE_H

#include "UnitIdentity.h"

#include <QJsonArray>
#include <QList>
#include <QString>
#include <QStringList>

// Readable tables of units and their status, in aligned columns.
class StatusTable
{
public:
    static QString listing(const QList<UnitIdentity>& units);
    // Status objects as StatusReader builds them: one row per channel, "-" where the family
    // has no such reading.
    static QString render(const QJsonArray& statuses);

    static QString columns(const QList<QStringList>& rows);
};

#endif
