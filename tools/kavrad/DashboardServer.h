#ifndef KAVRAD_DASHBOARDSERVER_H
#define KAVRAD_DASHBOARDSERVER_H

#include "HttpRequestParser.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPair>
#include <QVector>

class QTcpServer;
class QTcpSocket;
class QTimer;
class UnitServer;

// The dashboard: one web page of every unit, its live values over Server-Sent Events, and its
// controls. The values come from the units' workers, which read their units at the poll
// interval whether any page is open or not, so that viewers add no unit traffic. Controls run
// as SCPI lines on the unit's worker, with the checks and error texts a SCPI client gets.
//
// Every request needs the token (in the query, which sets an HttpOnly SameSite=Strict cookie,
// or in that cookie) and a Host header that names the listening address or localhost, against
// DNS rebinding; controls are POST requests whose Origin is the page's own. Responses carry a
// Content-Security-Policy that allows the page's own scripts only.
class DashboardServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxConnections = 64;
    static constexpr int RequestTimeoutMs = 10000;
    static constexpr int HistoryMs = 10 * 60 * 1000;

    DashboardServer(const QVector<UnitServer*>& units, const QByteArray& token,
        const QList<QPair<QHostAddress, int>>& allowed, int pollMs, QObject* parent);

    bool listen(const QHostAddress& address, quint16 port);
    QString errorString() const;
    // http://ADDRESS:PORT/?token=TOKEN
    QString url() const;
    // Ends every connection.
    void close();

private:
    struct Connection
    {
        HttpRequestParser parser;
        QTimer* deadline = nullptr;
        bool streaming = false;
    };

    void accept();
    void read(QTcpSocket* socket);
    void handle(QTcpSocket* socket, const HttpRequestParser::Request& request);
    bool hostAllowed(QTcpSocket* socket, const QByteArray& host) const;
    bool tokenMatches(const QByteArray& candidate) const;
    void respond(QTcpSocket* socket, int status, const QByteArray& type, const QByteArray& body,
        const QList<QByteArray>& extraHeaders = {});
    void serveFile(QTcpSocket* socket, const QString& path, const QByteArray& type);
    void control(QTcpSocket* socket, const QByteArray& body);
    void startStream(QTcpSocket* socket);
    void record(const QJsonObject& reading);
    QJsonObject history(int index, int outputs) const;

    QVector<UnitServer*> m_units;
    QByteArray m_token;
    QList<QPair<QHostAddress, int>> m_allowed;
    QTcpServer* m_server;
    QHostAddress m_address;
    QHash<QTcpSocket*, Connection> m_connections;
    // By unit index: the latest reading and the readings of the last HistoryMs.
    QHash<int, QJsonObject> m_latest;
    QHash<int, QList<QJsonObject>> m_history;
};

#endif
