#include "KavraSession.h"

#include "KavraDriver_AbstractDevice.h"

namespace {
// Function-local statics would be built on first use from any thread; these exist at load time
// and are released at unload, which destroys (and so closes) every unit still registered.
QMutex g_sessionMutex;
KavraSession::Registry g_registry;
} // namespace

QMutex& KavraSession::mutex()
{
    return g_sessionMutex;
}

KavraSession::Registry& KavraSession::registry()
{
    return g_registry;
}

std::shared_ptr<KavraDriver_AbstractDevice> KavraSession::device(int index)
{
    const auto it = g_registry.find(index);
    return it == g_registry.end() ? nullptr : it->second;
}
