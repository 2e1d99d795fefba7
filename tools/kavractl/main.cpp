// kavractl: the command line to the supply units, built on the exported functions of KavraLib.

#include "BenchSetup.h"
#include "CommandLine.h"
#include "CommandRunner.h"
#include "Output.h"
#include "ToolError.h"

#include <KavraLib.h>

#include <QCoreApplication>

#include <exception>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kavractl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KAVRACTL_VERSION));

    bool json = false;
    // Batch and shell write JSON lines; their error documents must be one line too.
    bool compact = false;
    bool libraryUsed = false;
    int exitCode = 0;
    try {
        const CommandLine commandLine(QCoreApplication::arguments());
        json = commandLine.json();
        compact = commandLine.command() == QLatin1String("batch")
            || commandLine.command() == QLatin1String("shell");
        // Before the first library call: the library loads the D2XX library on first use.
        if (!commandLine.helpRequested()) {
            if (commandLine.sim())
                BenchSetup::apply(commandLine.benchFile());
            // The library reads KAVRA_LOG when it logs for the first time.
            QByteArray log = qgetenv("KAVRA_LOG");
            if (commandLine.verbose())
                log += ",info";
            if (commandLine.trace())
                log += ",wire";
            if (!log.isEmpty())
                qputenv("KAVRA_LOG", log);
            libraryUsed = true;
        }
        exitCode = CommandRunner::run(commandLine, Output(json, compact));
    } catch (const ToolError& error) {
        Output(json, compact).failure(error);
        exitCode = error.exitCode();
    } catch (const std::exception& error) {
        Output::error(QStringLiteral("kavractl: unexpected failure: %1")
                          .arg(QString::fromLocal8Bit(error.what())));
        exitCode = ToolError::LibraryStatus;
    }
    if (libraryUsed)
        closeSession();
    return exitCode;
}
