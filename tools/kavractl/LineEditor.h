#ifndef KAVRACTL_LINEEDITOR_H
#define KAVRACTL_LINEEDITOR_H

#include <QString>

// The shell's input. On a terminal: line editing and a history kept across runs (libedit's
// readline interface, history in ~/.kavractl_history). Otherwise (commands piped in): plain
// lines, no prompt, and no history written. Built without libedit (Windows): a prompt and plain
// lines on a terminal too, edited by the console itself.
class LineEditor
{
public:
    LineEditor();
    // Saves the history of an interactive run.
    ~LineEditor();
    LineEditor(const LineEditor&) = delete;
    LineEditor& operator=(const LineEditor&) = delete;

    bool interactive() const { return m_interactive; }

    // The next line without its line end; false at the end of input.
    bool read(const QString& prompt, QString* line);

private:
    bool m_interactive;
    QString m_historyFile;
};

#endif
