#include "Shell.h"

#include "CommandLine.h"
#include "LineEditor.h"
#include "Output.h"
#include "ScriptLine.h"
#include "ToolError.h"

#include <utility>

Shell::Shell(const CommandLine& commandLine, ScriptLine::Runner runner)
    : m_commandLine(commandLine), m_runner(std::move(runner))
{ }

int Shell::run()
{
    LineEditor editor;
    const Output output(m_commandLine.json(), true);
    if (editor.interactive()) {
        Output::error(
            QStringLiteral(
                "kavractl shell%1: 'help' lists the commands, 'exit' or Ctrl+D ends the shell.")
                .arg(m_commandLine.sim() ? QStringLiteral(" on the virtual bench") : QString()));
    }
    int exitCode = 0;
    // Fed from a pipe, the shell is a script: a failed line makes the whole run fail.
    int firstFailure = 0;
    QString line;
    while (editor.read(QStringLiteral("kavractl> "), &line)) {
        QStringList words = ScriptLine::words(line);
        if (words.isEmpty())
            continue;
        if (words.size() == 1
            && (words.first() == QLatin1String("exit") || words.first() == QLatin1String("quit")))
            break;
        // "help" and "help COMMAND" are the command line's --help.
        if (words.first() == QLatin1String("help"))
            words = words.mid(1) << QStringLiteral("--help");
        try {
            exitCode = ScriptLine::run(words, m_commandLine, m_runner);
        } catch (const ToolError& error) {
            output.failure(error, true);
            exitCode = error.exitCode();
        }
        if (firstFailure == 0)
            firstFailure = exitCode;
    }
    return editor.interactive() ? exitCode : firstFailure;
}
