#ifndef KAVRAD_HTTPREQUESTPARSER_H
#define KAVRAD_HTTPREQUESTPARSER_H

#include <QByteArray>
#include <QHash>

// Reads one HTTP/1.1 request from bytes as they arrive, within fixed limits, so that a client
// can make the dashboard hold no more than MaxHeaderBytes + MaxBodyBytes for it. Only what the
// dashboard needs: origin-form targets, Content-Length bodies (no chunked bodies), no folded
// header lines. A failure carries the status code to answer with.
class HttpRequestParser
{
public:
    static constexpr int MaxHeaderBytes = 8192;
    static constexpr int MaxBodyBytes = 4096;
    static constexpr int MaxHeaders = 64;

    enum class State { Incomplete, Complete, Failed };

    struct Request
    {
        QByteArray method;
        // The target's path, percent-decoded, and its query's parameters, decoded.
        QByteArray path;
        QHash<QByteArray, QByteArray> query;
        // Names in lower case; repeated headers joined with ", ".
        QHash<QByteArray, QByteArray> headers;
        QByteArray body;
        QByteArray header(const char* name) const { return headers.value(QByteArray(name)); }
    };

    // Takes the next bytes; the request's state after them. Bytes after a complete request are
    // kept for the next one.
    State feed(const QByteArray& bytes);
    State state() const { return m_state; }
    // The request once Complete.
    const Request& request() const { return m_request; }
    // The status code of a failure (400, 413, 431, 501 or 505).
    int failureStatus() const { return m_failure; }
    // Starts on the next request with the bytes left over.
    void next();

    // The pairs of an application/x-www-form-urlencoded text (a query or a form body), decoded;
    // false when a pair repeats a name.
    static bool parseForm(const QByteArray& text, QHash<QByteArray, QByteArray>* pairs);

private:
    State fail(int status);
    State parseHead(const QByteArray& head);

    QByteArray m_buffer;
    Request m_request;
    State m_state = State::Incomplete;
    int m_failure = 0;
    // The body's length once the head has been read; -1 before.
    int m_bodyLength = -1;
};

#endif
