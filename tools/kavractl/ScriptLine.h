#ifndef KAVRACTL_SCRIPTLINE_H
#define KAVRACTL_SCRIPTLINE_H

#include <QString>
#include <QStringList>

#include <functional>

class CommandLine;
class Output;

// One line of the language that batch files and the shell speak: a command with its arguments
// and options as on the command line (quotes group words), run on the session the tool holds.
class ScriptLine
{
public:
    // Runs one parsed command line on the given output and returns its exit code: the tool's
    // command runner, handed in by whoever holds it so that a line never calls back up to it.
    using Runner = std::function<int(const CommandLine&, const Output&)>;

    // The line's words; none for an empty line or a comment (a line starting with #).
    static QStringList words(const QString& line);

    // Runs the command the words give through runner and returns its exit code. outer is the
    // tool's own command line: its --json holds for every line, and the bench it chose cannot
    // change. Throws ToolError.
    static int run(const QStringList& words, const CommandLine& outer, const Runner& runner);
};

#endif
