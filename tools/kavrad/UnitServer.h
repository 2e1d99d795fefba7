#ifndef KAVRAD_UNITSERVER_H
#define KAVRAD_UNITSERVER_H

#include "ClientState.h"
#include "UnitProfile.h"
#include "UnitSafety.h"

#include <QHash>
#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPair>
#include <QThread>

#include <functional>
#include <memory>

class AllOffSwitch;
class ClientConnection;
class QTcpServer;
class UnitWorker;

// One unit as a SCPI instrument on a TCP port: accepts the clients that the allowed subnets
// admit and queues their lines to the unit's worker thread in the order they arrive.
class UnitServer : public QObject
{
    Q_OBJECT

public:
    using Subnet = QPair<QHostAddress, int>;

    // allowed: the subnets clients may connect from; every client when empty.
    // allOff: the switch that every unit's worker listens to.
    UnitServer(const UnitProfile& profile, const QString& libraryVersion,
        const QList<Subnet>& allowed, const UnitSafety& safety, AllOffSwitch* allOff,
        QObject* parent);
    ~UnitServer() override;

    // False, with errorString() saying why, when the port cannot be had.
    bool listen(const QHostAddress& address, quint16 port);
    QString errorString() const;
    quint16 port() const;

    // Stops accepting and reading, lets the lines under way finish and their replies go out,
    // switches the unit's outputs off when asked to, stops the worker thread and closes the
    // connections; then emits stopped().
    void stop(bool switchOff);

    const UnitProfile& profile() const { return m_profile; }
    // Whether a client from `peer` may connect: every one when `allowed` is empty.
    static bool admits(const QList<Subnet>& allowed, const QHostAddress& peer);
    // For the dashboard: reads the unit every `ms` milliseconds on its worker (polled()).
    void startPolling(int ms);
    // For the dashboard: carries out a SCPI line on the worker as a client's line, in turn with
    // the clients' lines; `done` gets its first error (SYSTem:ERRor? form), empty on success.
    void control(const QString& line, std::function<void(const QString& error)> done);

Q_SIGNALS:
    void stopped();
    // To the worker.
    void lineQueued(quint64 client, const QString& line, const ClientState& state);
    void drainQueued(bool switchOff);
    void pollingRequested(int ms);
    void controlQueued(quint64 ticket, const QString& line);
    // From the worker: a reading of the unit.
    void polled(const QJsonObject& reading);

private:
    void acceptClients();
    // Gives the memory of connections that have gone back to the system.
    void releaseMemoryLater();
    void deliver(quint64 client, const QString& reply, const ClientState& state);
    void finishStopping();

    UnitProfile m_profile;
    QList<Subnet> m_allowed;
    QTcpServer* m_server;
    QThread m_thread;
    std::unique_ptr<UnitWorker> m_worker;
    QHash<quint64, ClientConnection*> m_clients;
    quint64 m_nextClient = 1;
    QHash<quint64, std::function<void(const QString&)>> m_controls;
    quint64 m_nextControl = 1;
};

#endif
