#include "DashboardServer.h"

#include "UnitPoll.h"
#include "UnitServer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>

namespace {

const QByteArray kCookie = QByteArrayLiteral("kavrad_token");
// The page's own files only: no inline script, no other origin, no framing.
const QByteArray kSecurityHeaders = QByteArrayLiteral(
    "Content-Security-Policy: default-src 'none'; script-src 'self'; style-src 'self'; "
    "connect-src 'self'; img-src 'self'; base-uri 'none'; form-action 'none'; "
    "frame-ancestors 'none'\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "X-Frame-Options: DENY\r\n"
    "Referrer-Policy: no-referrer\r\n"
    "Cache-Control: no-store\r\n");
// A page that reads slower than the units are polled is let go rather than buffered for.
constexpr qint64 kMaxBacklog = 1 << 20;

QByteArray reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 303:
        return "See Other";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 413:
        return "Content Too Large";
    case 431:
        return "Request Header Fields Too Large";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Error";
    }
}

// The token from the Cookie header, if any.
QByteArray cookieToken(const QByteArray& cookies)
{
    for (const QByteArray& cookie : cookies.split(';')) {
        const QByteArray trimmed = cookie.trimmed();
        if (trimmed.startsWith(kCookie + '='))
            return trimmed.mid(kCookie.size() + 1);
    }
    return {};
}

QHostAddress plain(const QHostAddress& address)
{
    bool isIPv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIPv4);
    return isIPv4 ? QHostAddress(ipv4) : address;
}

// The directory of uPlot's files: beside kavrad in the build tree, under share/ when installed.
QString uplotDirectory()
{
    const QString bin = QCoreApplication::applicationDirPath();
    for (const QString& candidate :
        {bin + QStringLiteral("/uplot"), bin + QStringLiteral("/../share/kavrad/uplot")}) {
        if (QFile::exists(candidate + QStringLiteral("/uPlot.iife.min.js")))
            return QDir::cleanPath(candidate);
    }
    return {};
}

QByteArray sseEvent(const char* name, const QJsonObject& data)
{
    return QByteArray("event: ") + name
        + "\ndata: " + QJsonDocument(data).toJson(QJsonDocument::Compact) + "\n\n";
}

} // namespace

DashboardServer::DashboardServer(const QVector<UnitServer*>& units, const QByteArray& token,
    const QList<QPair<QHostAddress, int>>& allowed, int pollMs, QObject* parent)
    : QObject(parent)
    , m_units(units)
    , m_token(token)
    , m_allowed(allowed)
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &DashboardServer::accept);
    for (UnitServer* unit : units) {
        connect(unit, &UnitServer::polled, this, &DashboardServer::record);
        unit->startPolling(pollMs);
    }
}

bool DashboardServer::listen(const QHostAddress& address, quint16 port)
{
    m_address = address;
    return m_server->listen(address, port);
}

QString DashboardServer::errorString() const
{
    return m_server->errorString();
}

QString DashboardServer::url() const
{
    // Listening on every interface, the URL names this host's loopback address.
    QString host = m_address.toString();
    if (m_address == QHostAddress(QHostAddress::Any)
        || m_address == QHostAddress(QHostAddress::AnyIPv6))
        host = QStringLiteral("127.0.0.1");
    else if (m_address.protocol() == QAbstractSocket::IPv6Protocol)
        host = QLatin1Char('[') + host + QLatin1Char(']');
    return QStringLiteral("http://%1:%2/?token=%3")
        .arg(host)
        .arg(m_server->serverPort())
        .arg(QString::fromLatin1(m_token));
}

void DashboardServer::close()
{
    m_server->close();
    const QList<QTcpSocket*> sockets = m_connections.keys();
    for (QTcpSocket* socket : sockets)
        socket->abort();
}

void DashboardServer::accept()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        if (!UnitServer::admits(m_allowed, socket->peerAddress())
            || m_connections.size() >= MaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        Connection& connection = m_connections[socket];
        // A request must have arrived whole by then, so that a slow client holds nothing long.
        connection.deadline = new QTimer(socket);
        connection.deadline->setSingleShot(true);
        connect(connection.deadline, &QTimer::timeout, socket,
            [this, socket] { respond(socket, 408, "text/plain", "request too slow\n"); });
        connection.deadline->start(RequestTimeoutMs);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_connections.remove(socket);
            socket->deleteLater();
        });
    }
}

void DashboardServer::read(QTcpSocket* socket)
{
    const auto found = m_connections.find(socket);
    if (found == m_connections.end())
        return;
    if (found->streaming) {
        socket->readAll(); // nothing more is expected from a stream's client
        return;
    }
    switch (found->parser.feed(socket->readAll())) {
    case HttpRequestParser::State::Incomplete:
        return;
    case HttpRequestParser::State::Failed:
        respond(socket, found->parser.failureStatus(), "text/plain", "bad request\n");
        return;
    case HttpRequestParser::State::Complete:
        found->deadline->stop();
        // One request per connection: the answer closes it.
        disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
        handle(socket, found->parser.request());
        return;
    }
}

void DashboardServer::handle(QTcpSocket* socket, const HttpRequestParser::Request& request)
{
    if (!hostAllowed(socket, request.header("host")))
        return respond(socket, 403, "text/plain", "forbidden: Host\n");
    const QByteArray queryToken = request.query.value("token");
    const bool byQuery = tokenMatches(queryToken);
    if (!byQuery && !tokenMatches(cookieToken(request.header("cookie"))))
        return respond(socket, 403, "text/plain", "forbidden: token\n");

    const QByteArray& path = request.path;
    if (request.method == "POST") {
        if (path != "/control")
            return respond(socket, 404, "text/plain", "not found\n");
        // Only the page itself may post: a cross-site form carries its own Origin.
        if (request.header("origin").toLower() != "http://" + request.header("host").toLower())
            return respond(socket, 403, "text/plain", "forbidden: Origin\n");
        return control(socket, request.body);
    }
    if (request.method != "GET")
        return respond(socket, 405, "text/plain", "method not allowed\n", {"Allow: GET, POST"});
    if (path == "/") {
        // The token moves into the cookie and out of the address bar.
        if (byQuery)
            return respond(socket, 303, "text/plain", "",
                {"Location: /",
                    "Set-Cookie: " + kCookie + '=' + m_token
                        + "; HttpOnly; SameSite=Strict; Path=/"});
        return serveFile(
            socket, QStringLiteral(":/dashboard/index.html"), "text/html; charset=utf-8");
    }
    if (path == "/dashboard.js")
        return serveFile(socket, QStringLiteral(":/dashboard/dashboard.js"), "text/javascript");
    if (path == "/dashboard.css")
        return serveFile(socket, QStringLiteral(":/dashboard/dashboard.css"), "text/css");
    if (path == "/uPlot.iife.min.js" || path == "/uPlot.min.css") {
        const QString directory = uplotDirectory();
        if (directory.isEmpty())
            return respond(socket, 404, "text/plain", "uPlot is not installed beside kavrad\n");
        return serveFile(socket, directory + QString::fromLatin1(path),
            path.endsWith(".js") ? "text/javascript" : "text/css");
    }
    if (path == "/events")
        return startStream(socket);
    respond(socket, 404, "text/plain", "not found\n");
}

bool DashboardServer::hostAllowed(QTcpSocket* socket, const QByteArray& host) const
{
    QByteArray name = host.toLower();
    QByteArray port;
    const int close = name.lastIndexOf(']');
    const int colon = name.lastIndexOf(':');
    if (colon > close) {
        port = name.mid(colon + 1);
        name = name.left(colon);
    }
    if (name.startsWith('[') && name.endsWith(']'))
        name = name.mid(1, name.size() - 2);
    if (port.isEmpty() ? m_server->serverPort() != 80
                       : port != QByteArray::number(m_server->serverPort()))
        return false;
    if (name == "localhost")
        return true;
    QHostAddress named;
    if (name.isEmpty() || !named.setAddress(QString::fromLatin1(name)))
        return false;
    // The address listened on, or, listening on every interface, the one this client reached.
    return plain(named) == plain(m_address) || plain(named) == plain(socket->localAddress());
}

bool DashboardServer::tokenMatches(const QByteArray& candidate) const
{
    if (candidate.size() != m_token.size())
        return false;
    // Every byte compared, so that the time taken tells nothing of where a guess goes wrong.
    unsigned char difference = 0;
    for (int i = 0; i < m_token.size(); ++i)
        difference |= static_cast<unsigned char>(candidate[i] ^ m_token[i]);
    return difference == 0 && !m_token.isEmpty();
}

void DashboardServer::respond(QTcpSocket* socket, int status, const QByteArray& type,
    const QByteArray& body, const QList<QByteArray>& extraHeaders)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) + "\r\n"
        + kSecurityHeaders + "Content-Type: " + type
        + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n";
    for (const QByteArray& header : extraHeaders)
        head += header + "\r\n";
    socket->write(head + "\r\n" + body);
    socket->disconnectFromHost();
}

void DashboardServer::serveFile(QTcpSocket* socket, const QString& path, const QByteArray& type)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return respond(socket, 404, "text/plain", "not found\n");
    respond(socket, 200, type, file.readAll());
}

void DashboardServer::control(QTcpSocket* socket, const QByteArray& body)
{
    QHash<QByteArray, QByteArray> fields;
    if (!HttpRequestParser::parseForm(body, &fields))
        return respond(socket, 400, "text/plain", "repeated field\n");
    bool ok = false;
    const int index = fields.value("unit").toInt(&ok);
    UnitServer* unit = nullptr;
    for (UnitServer* candidate : qAsConst(m_units)) {
        if (ok && candidate->profile().identity().index() == index)
            unit = candidate;
    }
    const QByteArray output = fields.value("output", "1");
    const QByteArray value = fields.value("value");
    const auto plainText = [](const QByteArray& text, const char* allowed) {
        for (const char c : text) {
            if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')
                    || QByteArray(allowed).contains(c)))
                return false;
        }
        return !text.isEmpty() && text.size() <= 32;
    };
    // The SCPI line of the action; its values are left to the SCPI parser, which gives the same
    // errors as to any client, but nothing that would change the line's structure gets in.
    const QByteArray action = fields.value("action");
    QByteArray line;
    if (action == "on" || action == "off")
        line = "OUTP" + output + (action == "on" ? " ON" : " OFF");
    else if (action == "voltage" && plainText(value, ".+- "))
        line = "SOUR" + output + ":VOLT " + value;
    else if (action == "clear")
        line = "OUTP:PROT:CLE";
    else if (action == "alloff")
        line = "OUTP:ALL OFF";
    if (!unit || line.isEmpty() || !plainText(output, ""))
        return respond(socket, 400, "text/plain", "unknown unit, action or value\n");
    QPointer<QTcpSocket> client(socket);
    unit->control(QString::fromLatin1(line), [this, client](const QString& error) {
        if (!client)
            return;
        const QJsonObject reply{
            {QStringLiteral("ok"), error.isEmpty()}, {QStringLiteral("error"), error}};
        respond(
            client, 200, "application/json", QJsonDocument(reply).toJson(QJsonDocument::Compact));
    });
}

void DashboardServer::startStream(QTcpSocket* socket)
{
    m_connections[socket].streaming = true;
    QJsonArray units;
    for (UnitServer* unit : qAsConst(m_units)) {
        QJsonObject entry = UnitPoll::describe(unit->profile());
        const int index = unit->profile().identity().index();
        entry.insert(QStringLiteral("latest"), m_latest.value(index));
        entry.insert(QStringLiteral("history"), history(index, unit->profile().outputs()));
        units.append(entry);
    }
    socket->write("HTTP/1.1 200 OK\r\n" + kSecurityHeaders
        + "Content-Type: text/event-stream\r\nConnection: close\r\n\r\n"
        + sseEvent("init", {{QStringLiteral("units"), units}}));
}

void DashboardServer::record(const QJsonObject& reading)
{
    const int index = reading.value(QStringLiteral("index")).toInt();
    m_latest.insert(index, reading);
    QList<QJsonObject>& kept = m_history[index];
    kept.append(reading);
    const double oldest = reading.value(QStringLiteral("t")).toDouble() - HistoryMs;
    while (!kept.isEmpty() && kept.first().value(QStringLiteral("t")).toDouble() < oldest)
        kept.removeFirst();
    const QByteArray event = sseEvent("unit", reading);
    QList<QTcpSocket*> behind;
    for (auto it = m_connections.cbegin(); it != m_connections.cend(); ++it) {
        if (!it->streaming)
            continue;
        if (it.key()->bytesToWrite() > kMaxBacklog)
            behind.append(it.key());
        else
            it.key()->write(event);
    }
    // Aborting takes the connection out of m_connections at once.
    for (QTcpSocket* socket : qAsConst(behind))
        socket->abort();
}

QJsonObject DashboardServer::history(int index, int outputs) const
{
    // Columns, as the plots take them: times, then each output's current, then the reading of
    // the converter.
    QJsonArray times;
    QJsonArray adc;
    QVector<QJsonArray> currents(outputs);
    for (const QJsonObject& reading : m_history.value(index)) {
        times.append(reading.value(QStringLiteral("t")));
        adc.append(reading.value(QStringLiteral("adc")).toDouble(qQNaN()));
        const QJsonArray read = reading.value(QStringLiteral("outputs")).toArray();
        // A unit away has no values: a gap in the plot (NaN turns into null).
        for (int i = 0; i < outputs; ++i)
            currents[i].append(
                read.at(i).toObject().value(QStringLiteral("current")).toDouble(qQNaN()));
    }
    QJsonArray currentColumns;
    for (const QJsonArray& column : qAsConst(currents))
        currentColumns.append(column);
    return {{QStringLiteral("t"), times}, {QStringLiteral("current"), currentColumns},
        {QStringLiteral("adc"), adc}};
}
