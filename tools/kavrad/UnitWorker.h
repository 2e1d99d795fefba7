#ifndef KAVRAD_UNITWORKER_H
#define KAVRAD_UNITWORKER_H

#include "ClientState.h"
#include "ScpiInstrument.h"
#include "SupplyCommands.h"
#include "UnitPoll.h"
#include "UnitSafety.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTimer>

class AllOffSwitch;

// Carries out the lines of every client of one unit on the unit's own thread, one after the
// other in the order they were queued, so that the library's blocking calls never hold up the
// other units or the network. Between lines it sends the steps of voltage ramps and keeps the
// watchdog.
class UnitWorker : public QObject
{
    Q_OBJECT

public:
    UnitWorker(const UnitProfile& profile, const QString& libraryVersion, const UnitSafety& safety,
        AllOffSwitch* allOff);

public Q_SLOTS:
    void execute(quint64 client, const QString& line, const ClientState& state);
    // Answers once every line queued before it has been carried out; switchOff: every output of
    // the unit off first.
    void drain(bool switchOff);
    // Reads the unit for the dashboard now and then every `ms` milliseconds.
    void startPolling(int ms);
    // A dashboard control: the line runs as a client's would; then the unit is read again.
    void control(quint64 ticket, const QString& line);

Q_SIGNALS:
    void executed(quint64 client, const QString& reply, const ClientState& state);
    void drained();
    void polled(const QJsonObject& reading);
    // The first error of the control's line in SYSTem:ERRor? form; empty when it succeeded.
    void controlled(quint64 ticket, const QString& error);

private:
    // Runs the ramp timer while a ramp is under way.
    void followRamps();
    void poll();
    // One client's line, as every client's line runs.
    QString run(const QString& line, ClientState& state);

    int m_index;
    SupplyCommands m_supply;
    ScpiInstrument m_instrument;
    QTimer m_rampTimer;
    QTimer m_watchdog;
    UnitPoll m_poll;
    QTimer m_pollTimer;
};

#endif
