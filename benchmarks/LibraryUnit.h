#pragma once

#include "SteadyCall.h"
#include "TwinUnit.h"
#include "WireScript.h"

#include <QByteArray>
#include <QJsonArray>
#include <QMap>
#include <QString>

// A bench unit the library drives through its exported functions, with what the bench recorded
// of it: the configuration calls of its opening and the bytes of a call.
class LibraryUnit
{
public:
    explicit LibraryUnit(const QString& serial);

    // Opens the unit in the library (its first call does) and keeps the configuration calls
    // that opening made on each link. Returns the library's status.
    int open();
    int index() const { return m_index; }
    const QMap<int, QString>& channels() const { return m_channels; }

    // Runs the call once and returns the bytes it moved; an empty script when the call failed.
    WireScript capture(const SteadyCall& call, int* status);
    // Opens the links the script uses on the twin, configured as this unit's.
    bool prepareTwin(TwinUnit& twin, const WireScript& script) const;
    // Drops what the bench recorded since: both logs grow with every call.
    void clearRecords();

private:
    QString m_serial;
    QByteArray m_name;
    int m_index;
    QMap<int, QString> m_channels;
    QMap<int, QJsonArray> m_configuration;
};
