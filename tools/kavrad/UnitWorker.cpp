#include "UnitWorker.h"

UnitWorker::UnitWorker(const UnitProfile& profile, const QString& libraryVersion)
    : m_supply(profile, libraryVersion)
    , m_instrument(
          m_supply.identity(), [this] { m_supply.reset(); }, m_supply.commands())
{ }

void UnitWorker::execute(quint64 client, const QString& line, const ClientState& state)
{
    ClientState updated = state;
    const QString reply = m_instrument.execute(line, updated);
    Q_EMIT executed(client, reply, updated);
}

void UnitWorker::drain()
{
    Q_EMIT drained();
}
