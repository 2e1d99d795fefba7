#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <map>

// Which serial number each device index names in one session. An index, once it has named a unit,
// names that unit and no other until the numbering is cleared, whether the unit is attached or
// away; a unit keeps its index wherever it is plugged back in. A unit seen for the first time
// takes its 1-based position in the device list, or, when that index already names another unit,
// the lowest free index above it; while no unit has been lost this is exactly its position.
// Indices never run past HighestIndex, and 1 to highest() each name one unit. Not thread-safe: the
// session guards it with its lock.
class KavraIndexNumbering
{
public:
    // Indices above this are never given, even when more units are attached.
    static constexpr int HighestIndex = 99;

    // Numbers the serial numbers of a device list, in list order, that have no index yet.
    void numberListed(const QStringList& serialNumbers);
    // The serial number the index names; empty when it names none.
    QString serialNumber(int index) const;
    // The index that names the serial number; 0 when none does.
    int indexOf(const QString& serialNumber) const;
    // The highest index that names a unit; 0 when none does.
    int highest() const;
    // Every index with the serial number it names, in ascending index order.
    const std::map<int, QString>& entries() const { return m_serialByIndex; }
    void clear();

private:
    std::map<int, QString> m_serialByIndex;
    QHash<QString, int> m_indexBySerial;
};
