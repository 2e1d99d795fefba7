#pragma once

// Told about the life of a supply-state record. Records hold observers without owning them.
class KavraDriver_SupplyStateObserver
{
public:
    virtual ~KavraDriver_SupplyStateObserver() = default;
    // Reserved for observers that follow a record's updates; records never call it.
    virtual void supplyStateChanged(const void* record) { static_cast<void>(record); }
    // The record is being destroyed; it must not be used afterwards.
    virtual void supplyStateDestroyed(const void* record) = 0;
};
