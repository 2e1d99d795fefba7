#include "Batch.h"

#include "CommandLine.h"
#include "ScriptLine.h"
#include "ToolError.h"

#include <QFile>
#include <QTextStream>

#include <cstdio>
#include <utility>

Batch::Batch(const CommandLine& commandLine, ScriptLine::Runner runner)
    : m_commandLine(commandLine), m_runner(std::move(runner))
{ }

int Batch::run()
{
    const QString name = m_commandLine.argument(0);
    QFile file;
    const bool standardInput = name.isEmpty() || name == QLatin1String("-");
    const bool opened = standardInput
        ? file.open(stdin, QIODevice::ReadOnly | QIODevice::Text)
        : (file.setFileName(name), file.open(QIODevice::ReadOnly | QIODevice::Text));
    if (!opened)
        throw ToolError::usage(QStringLiteral("cannot read '%1': %2").arg(name, file.errorString()),
            m_commandLine.command());

    QTextStream stream(&file);
    int number = 0;
    QString line;
    while (stream.readLineInto(&line)) {
        ++number;
        const QStringList words = ScriptLine::words(line);
        if (words.isEmpty())
            continue;
        try {
            const int exitCode = ScriptLine::run(words, m_commandLine, m_runner);
            if (exitCode != 0)
                return exitCode;
        } catch (const ToolError& error) {
            throw error.prefixed(QStringLiteral("line %1: ").arg(number));
        }
    }
    return 0;
}
