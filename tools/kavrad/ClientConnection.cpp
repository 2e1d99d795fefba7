#include "ClientConnection.h"

#include <QTcpSocket>

namespace {

// Room for a longest line and its line end, so that such a line is read whole.
constexpr qint64 kReadBuffer = 4 * ClientConnection::MaxLineLength;
// A client that sends queries without reading the replies is not read from until it catches up.
constexpr qint64 kMaxPendingOutput = 1 << 20;

} // namespace

ClientConnection::ClientConnection(quint64 id, QTcpSocket* socket, QObject* parent)
    : QObject(parent), m_id(id), m_socket(socket)
{
    m_socket->setParent(this);
    // A bounded buffer: the kernel holds back a client that sends faster than its lines run.
    m_socket->setReadBufferSize(kReadBuffer);
    connect(m_socket, &QTcpSocket::readyRead, this, &ClientConnection::processInput);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &ClientConnection::processInput);
    connect(m_socket, &QTcpSocket::disconnected, this, [this] { Q_EMIT closed(m_id); });
}

void ClientConnection::finish(const QString& reply, const ClientState& state)
{
    m_state = state;
    m_busy = false;
    if (!reply.isEmpty())
        m_socket->write(reply.toLatin1() + '\n');
    processInput();
}

void ClientConnection::stopReading()
{
    m_stopped = true;
}

void ClientConnection::close()
{
    m_socket->flush();
    m_socket->disconnectFromHost();
}

void ClientConnection::processInput()
{
    while (!m_busy && !m_stopped && m_socket->bytesToWrite() <= kMaxPendingOutput) {
        if (m_discarding) {
            // The rest of an overlong line, up to its end.
            if (!m_socket->canReadLine()) {
                m_socket->read(m_socket->bytesAvailable());
                return;
            }
            m_socket->readLine();
            m_discarding = false;
            m_state.push(ScpiError(ScpiError::TooMuchData));
            continue;
        }
        if (!m_socket->canReadLine()) {
            if (m_socket->bytesAvailable() > MaxLineLength)
                m_discarding = true;
            else
                return;
            continue;
        }
        // Reads at most its argument less one byte: a longest line with "\r\n".
        QByteArray line = m_socket->readLine(MaxLineLength + 3);
        if (!line.endsWith('\n')) {
            m_discarding = true;
            continue;
        }
        line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() > MaxLineLength) {
            m_state.push(ScpiError(ScpiError::TooMuchData));
            continue;
        }
        if (line.trimmed().isEmpty())
            continue;
        m_busy = true;
        // Latin-1 takes any bytes: garbage becomes characters that match no header.
        Q_EMIT lineReceived(m_id, QString::fromLatin1(line), m_state);
    }
}
