#include "ClientConnection.h"

#include <QTcpSocket>

namespace {

// How much Qt may hold for the connection before the kernel's buffers, and then TCP, hold back
// the client; and how much is taken from it at a time.
constexpr qint64 kReadBuffer = 4 * ClientConnection::MaxLineLength;
constexpr qint64 kChunk = ClientConnection::MaxLineLength;
// A client that sends queries without reading the replies is not read from until it catches up.
constexpr qint64 kMaxPendingOutput = 1 << 20;

} // namespace

ClientConnection::ClientConnection(quint64 id, QTcpSocket* socket, QObject* parent)
    : QObject(parent), m_id(id), m_socket(socket)
{
    m_socket->setParent(this);
    m_socket->setReadBufferSize(kReadBuffer);
    connect(m_socket, &QTcpSocket::readyRead, this, &ClientConnection::processInput);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &ClientConnection::processInput);
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        m_gone = true;
        processInput();
    });
}

void ClientConnection::finish(const QString& reply, const ClientState& state)
{
    m_state = state;
    m_busy = false;
    if (!reply.isEmpty() && !m_gone)
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
    if (m_stopped) {
        endIfGone();
        return;
    }
    handOut();
    const bool wasFull = m_socket->bytesAvailable() >= kReadBuffer;
    readLines();
    handOut();
    // Qt stops reading from the kernel when its buffer is full, and takes up again only when the
    // buffer's size limit changes: after the buffer was drained here, outside readyRead.
    if (wasFull && m_socket->bytesAvailable() < kReadBuffer) {
        m_socket->setReadBufferSize(0);
        m_socket->setReadBufferSize(kReadBuffer);
    }
    endIfGone();
}

void ClientConnection::endIfGone()
{
    // Once, when the last line that arrived whole has run (or the server stops reading).
    const bool idle
        = !m_busy && (m_stopped || (m_lines.isEmpty() && m_socket->bytesAvailable() == 0));
    if (m_gone && idle && !m_ended) {
        m_ended = true;
        Q_EMIT closed(m_id);
    }
}

void ClientConnection::readLines()
{
    while (m_lines.size() < MaxQueuedLines && m_socket->bytesAvailable() > 0) {
        const QByteArray chunk = m_socket->read(kChunk);
        int from = 0;
        while (from < chunk.size()) {
            const int end = chunk.indexOf('\n', from);
            const int stop = end < 0 ? chunk.size() : end;
            // Room for a longest line and its "\r"; anything beyond is dropped at once.
            if (!m_discarding && m_partial.size() + (stop - from) > MaxLineLength + 1) {
                m_discarding = true;
                m_partial.clear();
            }
            if (!m_discarding)
                m_partial.append(chunk.constData() + from, stop - from);
            if (end < 0)
                break;
            addLine();
            from = end + 1;
        }
    }
}

void ClientConnection::addLine()
{
    if (m_discarding) {
        m_discarding = false;
        m_lines.enqueue(QByteArray());
        return;
    }
    QByteArray line;
    line.swap(m_partial);
    if (line.endsWith('\r'))
        line.chop(1);
    if (line.size() > MaxLineLength) {
        m_lines.enqueue(QByteArray());
        return;
    }
    if (!line.trimmed().isEmpty())
        m_lines.enqueue(line);
}

void ClientConnection::handOut()
{
    while (!m_busy && !m_stopped && !m_lines.isEmpty()
        && m_socket->bytesToWrite() <= kMaxPendingOutput) {
        const QByteArray line = m_lines.dequeue();
        if (line.isNull()) {
            m_state.push(ScpiError(ScpiError::TooMuchData));
            continue;
        }
        m_busy = true;
        // Latin-1 takes any bytes: garbage becomes characters that match no header.
        Q_EMIT lineReceived(m_id, QString::fromLatin1(line), m_state);
    }
}
