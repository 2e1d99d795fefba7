#ifndef KAVRAD_UNITSERVER_H
#define KAVRAD_UNITSERVER_H

#include "ClientState.h"
#include "UnitProfile.h"
#include "UnitSafety.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QThread>

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

Q_SIGNALS:
    void stopped();
    // To the worker.
    void lineQueued(quint64 client, const QString& line, const ClientState& state);
    void drainQueued(bool switchOff);

private:
    void acceptClients();
    bool admits(const QHostAddress& peer) const;
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
};

#endif
