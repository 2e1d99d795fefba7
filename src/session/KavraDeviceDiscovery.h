#pragma once

#include <QList>

#include <memory>

class KavraDriver_AbstractDevice;
class USBDevice;

// Finds the attached units that the library serves and opens them. It knows nothing of indices or
// of the registry: the session numbers what discovery lists and registers what it opens.
class KavraDeviceDiscovery
{
public:
    // The attached units whose model the library serves, in the order of the device list. One
    // listing at a time, since the D2XX device list is process-wide state.
    static QList<std::shared_ptr<USBDevice>> listSupported();
    // Creates the family object of a listed unit and opens it: 0 with *opened set, or the status
    // of opening it (10 for a model that no family drives).
    static int open(const std::shared_ptr<USBDevice>& unit,
        std::shared_ptr<KavraDriver_AbstractDevice>* opened);
};
