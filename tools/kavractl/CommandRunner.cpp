#include "CommandRunner.h"

#include "Batch.h"
#include "CommandLine.h"
#include "Demo.h"
#include "Doctor.h"
#include "Monitor.h"
#include "Output.h"
#include "Shell.h"
#include "ToolError.h"
#include "UnitCommands.h"

#include <KavraLib.h>

#include <QJsonObject>

#include <array>

int CommandRunner::run(const CommandLine& commandLine, const Output& output)
{
    if (commandLine.helpRequested()) {
        Output(false).raw(commandLine.helpText());
        return 0;
    }
    const QString command = commandLine.command();
    if (command.isEmpty()) {
        std::array<char, 32> version{};
        getLibraryVersion(version.data(), int(version.size()));
        const QString library = QString::fromLatin1(version.data());
        output.document(QJsonObject{{QStringLiteral("kavractl"), QStringLiteral(KAVRACTL_VERSION)},
            {QStringLiteral("library"), library}});
        output.line(QStringLiteral("kavractl %1, KavraLib %2")
                        .arg(QStringLiteral(KAVRACTL_VERSION), library));
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
        return failures > 0 ? int(ToolError::LibraryStatus) : 0;
    }
    if (command == QLatin1String("batch"))
        return Batch(commandLine, &CommandRunner::run).run();
    if (command == QLatin1String("shell"))
        return Shell(commandLine, &CommandRunner::run).run();
    if (command == QLatin1String("doctor"))
        return Doctor(output).run();
    UnitCommands(commandLine, output).run(command);
    return 0;
}
