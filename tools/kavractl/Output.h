#ifndef KAVRACTL_OUTPUT_H
#define KAVRACTL_OUTPUT_H

#include <QJsonObject>
#include <QString>

class ToolError;

// Standard output in one of two modes: readable text, or JSON documents for programs.
class Output
{
public:
    // compact: every JSON document on one line, for streams of documents.
    explicit Output(bool json, bool compact = false) : m_json(json), m_compact(compact) { }

    bool json() const { return m_json; }

    // A line of text; dropped in JSON mode, where the document carries the same information.
    void line(const QString& text = QString()) const;
    // Raw text without a line end, in either mode (used for terminal control sequences).
    void raw(const QString& text) const;
    // The command's result: the document in JSON mode, nothing in text mode.
    // compact: one line, whatever the output's own setting.
    void document(const QJsonObject& object, bool compact = false) const;

    static void error(const QString& text);
    // A failed command: its message on standard error with, for a usage error, where help is
    // (as the command line or as the shell asks for it), and in JSON mode the error document on
    // standard output.
    void failure(const ToolError& error, bool inShell = false) const;

private:
    bool m_json;
    bool m_compact;
};

#endif
