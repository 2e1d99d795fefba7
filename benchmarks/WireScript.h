#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QSet>
#include <QVector>

// What one library call moved over the wire, read from the bench's wire log: per exchange, the
// bytes the host wrote on a link and how many bytes came back on it. Replaying it (each request
// in one write, then one blocking read of the reply length) is the raw exchange the call is
// measured against.
class WireScript
{
public:
    struct Step
    {
        int link;
        QByteArray request;
        int replyLength;
    };

    // Writes that follow each other on a link with no reply between them form one request.
    static WireScript fromWireLog(const QJsonArray& log);

    const QVector<Step>& steps() const { return m_steps; }
    bool isEmpty() const { return m_steps.isEmpty(); }
    QSet<int> links() const;
    // "8 B -> 13 B" per step, for the table.
    QString summary() const;

private:
    QVector<Step> m_steps;
};
