#ifndef KAVRAD_UNITWORKER_H
#define KAVRAD_UNITWORKER_H

#include "ClientState.h"
#include "ScpiInstrument.h"
#include "SupplyCommands.h"

#include <QObject>
#include <QString>

// Carries out the lines of every client of one unit on the unit's own thread, one after the
// other in the order they were queued, so that the library's blocking calls never hold up the
// other units or the network.
class UnitWorker : public QObject
{
    Q_OBJECT

public:
    UnitWorker(const UnitProfile& profile, const QString& libraryVersion);

public Q_SLOTS:
    void execute(quint64 client, const QString& line, const ClientState& state);
    // Answers once every line queued before it has been carried out.
    void drain();

Q_SIGNALS:
    void executed(quint64 client, const QString& reply, const ClientState& state);
    void drained();

private:
    SupplyCommands m_supply;
    ScpiInstrument m_instrument;
};

#endif
