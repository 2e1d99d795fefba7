#pragma once

#include <vector>

class KavraDriver_SupplyStateObserver;

// The observers of one supply-state record, in the order they were added; not owned.
class KavraDriver_SupplyStateObserverList
{
public:
    void add(KavraDriver_SupplyStateObserver* observer);
    void remove(KavraDriver_SupplyStateObserver* observer);
    // Tells every observer, in order, that the record is being destroyed.
    void notifyDestroyed(const void* record) const;

private:
    std::vector<KavraDriver_SupplyStateObserver*> m_observers;
};
