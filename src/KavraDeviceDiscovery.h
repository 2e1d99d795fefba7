#pragma once

#include <QString>

// Which attached units the library serves, how they are numbered, and how a unit is opened and
// registered on first use. Every function runs with the session lock held.
class KavraDeviceDiscovery
{
public:
    // The number of supported units attached now.
    static int supportedDeviceCount();
    // The 13-character serial number of the supported unit at the 1-based index, without opening
    // it; empty when the index is out of range.
    static QString serialNumberForIndex(int index);
    // Opens the unit at the 1-based index and registers it. 0, 1 (index out of range) or the
    // status of opening the unit.
    static int openDeviceForIndex(int index);
    // Opens again, under the same index, the registered unit whose connection was lost, when a
    // unit with its serial number is attached; the new object replaces the old one in the
    // registry. False when no such unit is attached or it cannot be opened.
    static bool reopenDevice(int index);
    // The index of the attached unit with the serial number (13-character form, any case);
    // 0 with *index set, or 6 with *index -1. The registry is left as it was.
    static int findDeviceIndex(const char* serialNumber, int* index);
};
