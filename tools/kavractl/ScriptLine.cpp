#include "ScriptLine.h"

#include "CommandLine.h"
#include "Output.h"
#include "ToolError.h"

#include <QProcess>

QStringList ScriptLine::words(const QString& line)
{
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
        return {};
    return QProcess::splitCommand(trimmed);
}

int ScriptLine::run(const QStringList& words, const CommandLine& outer, const Runner& runner)
{
    const CommandLine line(QStringList{QStringLiteral("kavractl")} + words);
    if (line.command() == QLatin1String("batch") || line.command() == QLatin1String("shell"))
        throw ToolError::usage(
            QStringLiteral("%1 cannot run inside batch or shell").arg(line.command()));
    // The bench was chosen when the tool started; a line cannot switch it.
    if (line.sim() && (!outer.sim() || !line.benchFile().isEmpty()))
        throw ToolError::usage(QStringLiteral(
            "--sim and --bench belong on the tool's command line, not on a line of its own"));
    // One document per line, so that a program can read the output as a stream.
    return runner(line, Output(outer.json() || line.json(), true));
}
