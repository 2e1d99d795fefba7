#include "KavraDeviceDiscovery.h"

// No transport yet: no unit is ever found.

int KavraDeviceDiscovery::supportedDeviceCount()
{
    return 0;
}

int KavraDeviceDiscovery::openDeviceForIndex(int)
{
    return 1;
}

int KavraDeviceDiscovery::findDeviceIndex(const char*, int* index)
{
    if (index)
        *index = -1;
    return 6;
}
