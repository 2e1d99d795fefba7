#include "HttpRequestParser.h"

#include <QList>

namespace {

bool isToken(const QByteArray& text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        const bool alphanumeric
            = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alphanumeric && !QByteArray("!#$%&'*+-.^_`|~").contains(c))
            return false;
    }
    return true;
}

// Visible characters, spaces and tabs only: no control characters in a value.
bool isFieldValue(const QByteArray& text)
{
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t') || byte == 0x7F)
            return false;
    }
    return true;
}

QByteArray decode(QByteArray text, bool plusIsSpace)
{
    if (plusIsSpace)
        text.replace('+', ' ');
    return QByteArray::fromPercentEncoding(text);
}

} // namespace

HttpRequestParser::State HttpRequestParser::feed(const QByteArray& bytes)
{
    if (m_state != State::Incomplete)
        return m_state;
    m_buffer.append(bytes);
    if (m_bodyLength < 0) {
        int end = m_buffer.indexOf("\r\n\r\n");
        int separator = 4;
        const int bare = m_buffer.indexOf("\n\n");
        if (bare >= 0 && (end < 0 || bare < end)) {
            end = bare;
            separator = 2;
        }
        if (end < 0)
            return m_buffer.size() > MaxHeaderBytes ? fail(431) : m_state;
        if (end + separator > MaxHeaderBytes)
            return fail(431);
        const QByteArray head = m_buffer.left(end);
        m_buffer.remove(0, end + separator);
        if (parseHead(head) == State::Failed)
            return m_state;
    }
    if (m_buffer.size() < m_bodyLength)
        return m_state;
    m_request.body = m_buffer.left(m_bodyLength);
    m_buffer.remove(0, m_bodyLength);
    m_state = State::Complete;
    return m_state;
}

HttpRequestParser::State HttpRequestParser::parseHead(const QByteArray& head)
{
    QList<QByteArray> lines = head.split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    const QList<QByteArray> parts = lines.takeFirst().split(' ');
    if (parts.size() != 3 || !isToken(parts[0]) || !parts[1].startsWith('/'))
        return fail(400);
    if (parts[2] != "HTTP/1.1" && parts[2] != "HTTP/1.0")
        return fail(parts[2].startsWith("HTTP/") ? 505 : 400);
    m_request.method = parts[0];
    const QByteArray& target = parts[1];
    const int question = target.indexOf('?');
    m_request.path = decode(target.left(question < 0 ? target.size() : question), false);
    if (question >= 0 && !parseForm(target.mid(question + 1), &m_request.query))
        return fail(400);
    if (lines.size() > MaxHeaders)
        return fail(431);
    for (const QByteArray& line : qAsConst(lines)) {
        const int colon = line.indexOf(':');
        // A line starting with white space would continue the last one (obsolete folding).
        if (colon <= 0 || !isToken(line.left(colon)))
            return fail(400);
        const QByteArray name = line.left(colon).toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (!isFieldValue(value))
            return fail(400);
        auto existing = m_request.headers.find(name);
        if (existing == m_request.headers.end())
            m_request.headers.insert(name, value);
        else if (name == "host" || name == "content-length" || name == "origin")
            return fail(400); // one of these twice is ambiguous, and a smuggling attempt
        else
            existing.value() += ", " + value;
    }
    if (m_request.headers.contains("transfer-encoding"))
        return fail(501);
    m_bodyLength = 0;
    if (m_request.headers.contains("content-length")) {
        const QByteArray length = m_request.header("content-length");
        bool ok = length.size() <= 9;
        for (const char c : length)
            ok = ok && c >= '0' && c <= '9';
        if (!ok || length.isEmpty())
            return fail(400);
        m_bodyLength = length.toInt();
        if (m_bodyLength > MaxBodyBytes)
            return fail(413);
    }
    return m_state;
}

HttpRequestParser::State HttpRequestParser::fail(int status)
{
    m_failure = status;
    m_state = State::Failed;
    m_buffer.clear();
    return m_state;
}

void HttpRequestParser::next()
{
    if (m_state == State::Failed)
        return;
    m_request = Request();
    m_state = State::Incomplete;
    m_bodyLength = -1;
    feed(QByteArray());
}

bool HttpRequestParser::parseForm(const QByteArray& text, QHash<QByteArray, QByteArray>* pairs)
{
    const QList<QByteArray> items = text.split('&');
    for (const QByteArray& item : items) {
        if (item.isEmpty())
            continue;
        const int equals = item.indexOf('=');
        const QByteArray name = decode(item.left(equals < 0 ? item.size() : equals), true);
        if (pairs->contains(name))
            return false;
        pairs->insert(name, equals < 0 ? QByteArray() : decode(item.mid(equals + 1), true));
    }
    return true;
}
