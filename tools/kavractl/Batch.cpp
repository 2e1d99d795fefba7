#include "Batch.h"

#include "CommandLine.h"
#include "CommandRunner.h"
#include "Output.h"
#include "ToolError.h"

#include <QFile>
#include <QProcess>
#include <QTextStream>

#include <cstdio>

Batch::Batch(const CommandLine& commandLine) : m_commandLine(commandLine)
{
}

int Batch::run()
{
    const QString name = m_commandLine.argument(0);
    QFile file;
    const bool standardInput = name.isEmpty() || name == QLatin1String("-");
    const bool opened = standardInput ? file.open(stdin, QIODevice::ReadOnly | QIODevice::Text)
                                      : (file.setFileName(name), file.open(QIODevice::ReadOnly | QIODevice::Text));
    if (!opened)
        throw ToolError::usage(QStringLiteral("cannot read '%1': %2").arg(name, file.errorString()),
                               m_commandLine.command());

    QTextStream stream(&file);
    int number = 0;
    QString line;
    while (stream.readLineInto(&line)) {
        ++number;
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
            continue;
        const QString where = QStringLiteral("line %1: ").arg(number);
        try {
            const CommandLine lineCommand(QStringList{QStringLiteral("kavractl")} + QProcess::splitCommand(trimmed));
            if (lineCommand.command() == QLatin1String("batch"))
                throw ToolError::usage(QStringLiteral("batch cannot run inside batch"));
            // The bench was chosen when the tool started; a line cannot switch it.
            if (lineCommand.sim() && (!m_commandLine.sim() || !lineCommand.benchFile().isEmpty()))
                throw ToolError::usage(QStringLiteral("--sim and --bench belong on the command line, not in the file"));
            // Documents of a batch are one per line, so that a program can read them as a stream.
            const int exitCode = CommandRunner::run(lineCommand,
                                                    Output(m_commandLine.json() || lineCommand.json(), true));
            if (exitCode != 0)
                return exitCode;
        } catch (const ToolError& error) {
            throw error.prefixed(where);
        }
    }
    return 0;
}
