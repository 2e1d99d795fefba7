#include "KavraDriver_SupplyStateObserverList.h"

#include "KavraDriver_SupplyStateObserver.h"

#include <algorithm>

void KavraDriver_SupplyStateObserverList::add(KavraDriver_SupplyStateObserver* observer)
{
    if (observer
        && std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end())
        m_observers.push_back(observer);
}

void KavraDriver_SupplyStateObserverList::remove(KavraDriver_SupplyStateObserver* observer)
{
    m_observers.erase(
        std::remove(m_observers.begin(), m_observers.end(), observer), m_observers.end());
}

void KavraDriver_SupplyStateObserverList::notifyDestroyed(const void* record) const
{
    // A copy: an observer may remove itself while it is told.
    const auto observers = m_observers;
    for (KavraDriver_SupplyStateObserver* observer : observers)
        observer->supplyStateDestroyed(record);
}
