// kavractl: the command line to the supply units, built on the exported functions of KavraLib.

#include "BenchSetup.h"
#include "CommandLine.h"
#include "Demo.h"
#include "Monitor.h"
#include "Output.h"
#include "StatusText.h"
#include "ToolError.h"
#include "UnitCommands.h"

#include <KavraLib.h>

#include <QCoreApplication>
#include <QJsonObject>

#include <array>
#include <exception>

namespace {

int runCommand(const CommandLine& commandLine, const Output& output)
{
    const QString command = commandLine.command();
    if (commandLine.versionRequested() && command.isEmpty()) {
        std::array<char, 32> version{};
        getLibraryVersion(version.data(), int(version.size()));
        output.document(QJsonObject{{QStringLiteral("kavractl"), QStringLiteral(KAVRACTL_VERSION)},
                                    {QStringLiteral("library"), QString::fromLatin1(version.data())}});
        output.line(QStringLiteral("kavractl %1, KavraLib %2").arg(QStringLiteral(KAVRACTL_VERSION), QString::fromLatin1(version.data())));
        return 0;
    }
    if (command == QLatin1String("monitor")) {
        Monitor(commandLine, output).run();
        return 0;
    }
    if (command == QLatin1String("demo")) {
        const int failures = Demo(output).run();
        if (failures > 0)
            Output::error(QStringLiteral("kavractl: demo: %1 step(s) failed").arg(failures));
        return failures > 0 ? ToolError::LibraryStatus : 0;
    }
    UnitCommands(commandLine, output).run(command);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kavractl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KAVRACTL_VERSION));

    bool json = false;
    bool libraryUsed = false;
    int exitCode = 0;
    try {
        const CommandLine commandLine(QCoreApplication::arguments());
        json = commandLine.json();
        if (commandLine.helpRequested()) {
            Output(false).raw(commandLine.helpText());
            return 0;
        }
        // Before the first library call: the library loads the D2XX library on first use.
        if (commandLine.sim())
            BenchSetup::apply(commandLine.benchFile());
        libraryUsed = true;
        exitCode = runCommand(commandLine, Output(json));
    } catch (const ToolError& error) {
        Output::error(QStringLiteral("kavractl: ") + error.message());
        if (error.exitCode() == ToolError::Usage) {
            Output::error(error.command().isEmpty()
                              ? QStringLiteral("Try 'kavractl --help'.")
                              : QStringLiteral("Try 'kavractl %1 --help'.").arg(error.command()));
        } else if (json) {
            Output(true).document(QJsonObject{
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
