#pragma once

#include <QString>
#include <QVector>

// An exported call that does one steady job on an open unit, with arguments every family that has
// the call accepts.
struct SteadyCall
{
    QString name;
    int (*call)(int index);

    // The status of a call the unit's family lacks.
    static constexpr int FamilyLacksOperation = 10;

    static const QVector<SteadyCall>& all();
    static const SteadyCall& supplyStatus() { return all().front(); }

    // The device index the library gives the unit with this serial number now, listed without
    // opening anything; -1 when it is not listed.
    static int indexOf(const QString& serialNumber);
};
