#ifndef KAVRAD_CLIENTCONNECTION_H
#define KAVRAD_CLIENTCONNECTION_H

#include "ClientState.h"

#include <QObject>
#include <QString>

class QTcpSocket;

// One client's TCP connection: cuts its input into lines and hands them out one at a time
// (the next only when the reply to the last is written), keeps its SCPI state between lines,
// and discards a line longer than MaxLineLength with "Too much data". Whatever a client sends
// stays within its own connection.
class ClientConnection : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxLineLength = 4096;

    // Takes over the socket.
    ClientConnection(quint64 id, QTcpSocket* socket, QObject* parent);

    // The reply to the line handed out last, and the client's state after it.
    void finish(const QString& reply, const ClientState& state);
    // Hands out no further line.
    void stopReading();
    // Writes what is pending and closes the connection.
    void close();

Q_SIGNALS:
    void lineReceived(quint64 id, const QString& line, const ClientState& state);
    void closed(quint64 id);

private:
    void processInput();

    quint64 m_id;
    QTcpSocket* m_socket;
    ClientState m_state;
    bool m_busy = false;
    bool m_discarding = false;
    bool m_stopped = false;
};

#endif
