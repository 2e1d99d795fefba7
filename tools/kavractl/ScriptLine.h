#ifndef KAVRACTL_SCRIPTLINE_H
#define KAVRACTL_SCRIPTLINE_H

#include <QString>
#include <QStringList>

class CommandLine;

// One line of the language that batch files and the shell speak: a command with its arguments
// and options as on the command line (quotes group words), run on the session the tool holds.
class ScriptLine
{
public:
    // The line's words; none for an empty line or a comment (a line starting with #).
    static QStringList words(const QString& line);

    // Runs the command the words give and returns its exit code. outer is the tool's own command
    // line: its --json holds for every line, and the bench it chose cannot change. Throws
    // ToolError.
    static int run(const QStringList& words, const CommandLine& outer);
};

#endif
