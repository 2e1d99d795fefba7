// kavractl: the command line to the supply units, built on the exported functions of KavraLib.

#include "BenchSetup.h"
#include "CommandLine.h"
#include "CommandRunner.h"
#include "Output.h"
#include "StatusText.h"
#include "ToolError.h"

#include <KavraLib.h>

#include <QCoreApplication>
#include <QJsonObject>

#include <exception>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kavractl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KAVRACTL_VERSION));

    bool json = false;
    // A batch writes JSON lines; its error document must be one line too.
    bool compact = false;
    bool libraryUsed = false;
    int exitCode = 0;
    try {
        const CommandLine commandLine(QCoreApplication::arguments());
        json = commandLine.json();
        compact = commandLine.command() == QLatin1String("batch");
        // Before the first library call: the library loads the D2XX library on first use.
        if (!commandLine.helpRequested()) {
            if (commandLine.sim())
                BenchSetup::apply(commandLine.benchFile());
            libraryUsed = true;
        }
        exitCode = CommandRunner::run(commandLine, Output(json));
    } catch (const ToolError& error) {
        Output::error(QStringLiteral("kavractl: ") + error.message());
        if (error.exitCode() == ToolError::Usage) {
            Output::error(error.command().isEmpty()
                              ? QStringLiteral("Try 'kavractl --help'.")
                              : QStringLiteral("Try 'kavractl %1 --help'.").arg(error.command()));
        } else if (json) {
            Output(true, compact).document(QJsonObject{
                {QStringLiteral("error"),
                 QJsonObject{{QStringLiteral("status"), error.statusCode()},
                             {QStringLiteral("meaning"), StatusText::meaning(error.statusCode())},
                             {QStringLiteral("message"), error.message()}}}});
        }
        exitCode = error.exitCode();
    } catch (const std::exception& error) {
        Output::error(QStringLiteral("kavractl: unexpected failure: %1").arg(QString::fromLocal8Bit(error.what())));
        exitCode = ToolError::LibraryStatus;
    }
    if (libraryUsed)
        closeSession();
    return exitCode;
}
