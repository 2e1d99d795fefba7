#ifndef KAVRACTL_OUTPUT_H
#define KAVRACTL_OUTPUT_H

#include <QJsonObject>
#include <QString>

// Standard output in one of two modes: readable text, or JSON documents for programs.
class Output
{
public:
    explicit Output(bool json) : m_json(json) {}

    bool json() const { return m_json; }

    // A line of text; dropped in JSON mode, where the document carries the same information.
    void line(const QString& text = QString()) const;
    // Raw text without a line end, in either mode (used for terminal control sequences).
    void raw(const QString& text) const;
    // The command's result: the document in JSON mode, nothing in text mode.
    // compact: one line, for streams of documents.
    void document(const QJsonObject& object, bool compact = false) const;

    static void error(const QString& text);

private:
    bool m_json;
};

#endif
