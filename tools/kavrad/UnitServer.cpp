#include "UnitServer.h"

#include "ClientConnection.h"
#include "UnitWorker.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

constexpr int kReleaseDelayMs = 200;

} // namespace

UnitServer::UnitServer(const UnitProfile& profile, const QString& libraryVersion,
    const QList<Subnet>& allowed, const UnitSafety& safety, AllOffSwitch* allOff, QObject* parent)
    : QObject(parent)
    , m_profile(profile)
    , m_allowed(allowed)
    , m_server(new QTcpServer(this))
    , m_worker(std::make_unique<UnitWorker>(profile, libraryVersion, safety, allOff))
{
    qRegisterMetaType<ClientState>("ClientState");
    m_worker->moveToThread(&m_thread);
    connect(this, &UnitServer::lineQueued, m_worker.get(), &UnitWorker::execute);
    connect(this, &UnitServer::drainQueued, m_worker.get(), &UnitWorker::drain);
    connect(m_worker.get(), &UnitWorker::executed, this, &UnitServer::deliver);
    connect(m_worker.get(), &UnitWorker::drained, this, &UnitServer::finishStopping);
    connect(this, &UnitServer::pollingRequested, m_worker.get(), &UnitWorker::startPolling);
    connect(this, &UnitServer::controlQueued, m_worker.get(), &UnitWorker::control);
    connect(m_worker.get(), &UnitWorker::polled, this, &UnitServer::polled);
    connect(m_worker.get(), &UnitWorker::controlled, this,
        [this](quint64 ticket, const QString& error) {
            if (const auto done = m_controls.take(ticket))
                done(error);
        });
    connect(m_server, &QTcpServer::newConnection, this, &UnitServer::acceptClients);
    m_thread.start();
}

UnitServer::~UnitServer()
{
    m_thread.quit();
    m_thread.wait();
    m_worker.reset();
}

bool UnitServer::listen(const QHostAddress& address, quint16 port)
{
    return m_server->listen(address, port);
}

QString UnitServer::errorString() const
{
    return m_server->errorString();
}

quint16 UnitServer::port() const
{
    return m_server->serverPort();
}

void UnitServer::stop(bool switchOff)
{
    m_server->close();
    for (ClientConnection* client : qAsConst(m_clients))
        client->stopReading();
    // Queued behind every line already handed to the worker.
    Q_EMIT drainQueued(switchOff);
}

void UnitServer::acceptClients()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        if (!admits(m_allowed, socket->peerAddress())) {
            std::fprintf(stderr, "kavrad: %s: refused a client from %s\n",
                qPrintable(m_profile.identity().label()),
                qPrintable(socket->peerAddress().toString()));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        const quint64 id = m_nextClient++;
        auto* client = new ClientConnection(id, socket, this);
        m_clients.insert(id, client);
        connect(client, &ClientConnection::lineReceived, this, &UnitServer::lineQueued);
        connect(client, &ClientConnection::closed, this, [this](quint64 closedId) {
            // A line still under way for it runs to its end; its reply is dropped in deliver().
            if (ClientConnection* gone = m_clients.take(closedId))
                gone->deleteLater();
            if (m_clients.isEmpty())
                releaseMemoryLater();
        });
    }
}

void UnitServer::releaseMemoryLater()
{
#ifdef __GLIBC__
    // After a burst of clients, glibc keeps their freed memory in its heaps; giving it back
    // keeps the server's size at its resting level. Once the connections are deleted.
    QTimer::singleShot(kReleaseDelayMs, this, [] { malloc_trim(0); });
#endif
}

void UnitServer::startPolling(int ms)
{
    Q_EMIT pollingRequested(ms);
}

void UnitServer::control(const QString& line, std::function<void(const QString&)> done)
{
    const quint64 ticket = m_nextControl++;
    m_controls.insert(ticket, std::move(done));
    Q_EMIT controlQueued(ticket, line);
}

bool UnitServer::admits(const QList<Subnet>& allowed, const QHostAddress& peer)
{
    if (allowed.isEmpty())
        return true;
    // A dual-stack socket shows IPv4 clients as ::ffff:a.b.c.d.
    bool isIPv4 = false;
    const quint32 ipv4 = peer.toIPv4Address(&isIPv4);
    const QHostAddress address = isIPv4 ? QHostAddress(ipv4) : peer;
    for (const Subnet& subnet : allowed) {
        if (address.isInSubnet(subnet))
            return true;
    }
    return false;
}

void UnitServer::deliver(quint64 client, const QString& reply, const ClientState& state)
{
    if (ClientConnection* connection = m_clients.value(client))
        connection->finish(reply, state);
}

void UnitServer::finishStopping()
{
    m_thread.quit();
    m_thread.wait();
    // Closing a connection can report it closed at once, which takes it out of m_clients.
    const QList<ClientConnection*> clients = m_clients.values();
    for (ClientConnection* client : clients)
        client->close();
    Q_EMIT stopped();
}
