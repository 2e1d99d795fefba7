#pragma once

#include <QMutex>

#include <map>
#include <memory>

class KavraDriver_AbstractDevice;

// The process-wide session: one non-recursive lock that serialises every exported function, and
// the registry from device index to open unit. Both exist from library load to unload.
class KavraSession
{
public:
    using Registry = std::map<int, std::shared_ptr<KavraDriver_AbstractDevice>>;

    static QMutex& mutex();
    // Only with mutex() held.
    static Registry& registry();
    // The unit registered under the index, or null. Only with mutex() held.
    static std::shared_ptr<KavraDriver_AbstractDevice> device(int index);
};
