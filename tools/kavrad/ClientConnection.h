#ifndef KAVRAD_CLIENTCONNECTION_H
#define KAVRAD_CLIENTCONNECTION_H

#include "ClientState.h"

#include <QByteArray>
#include <QObject>
#include <QQueue>
#include <QString>

class QTcpSocket;

// One client's TCP connection: reads its input as it arrives and cuts it into lines itself,
// queues them and hands them out one at a time (the next only when the reply to the last is
// written), keeps its SCPI state between lines, and discards a line longer than MaxLineLength up
// to its end with "Too much data". While MaxQueuedLines lines wait it reads no further, so that
// TCP flow control holds back a client that sends faster than its unit answers. The lines that
// arrived whole still run when the client has gone. Whatever a client sends stays within its own
// connection.
class ClientConnection : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxLineLength = 4096;
    static constexpr int MaxQueuedLines = 64;

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
    void readLines();
    void addLine();
    void handOut();
    void endIfGone();

    quint64 m_id;
    QTcpSocket* m_socket;
    ClientState m_state;
    // The start of a line whose end has not arrived yet.
    QByteArray m_partial;
    // Lines waiting for the unit; a null entry stands for a discarded over-long line.
    QQueue<QByteArray> m_lines;
    bool m_busy = false;
    bool m_discarding = false;
    bool m_stopped = false;
    bool m_gone = false;
    bool m_ended = false;
};

#endif
