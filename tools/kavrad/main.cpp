// kavrad: every attached supply unit a SCPI instrument on the network, built on the exported
// functions of KavraLib only.

#include "BenchSetup.h"
#include "ClientState.h"
#include "Daemon.h"
#include "DaemonOptions.h"
#include "SignalNotifier.h"
#include "ToolError.h"

#include <KavraLib.h>

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kavrad"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KAVRAD_VERSION));
#ifndef _WIN32
    // A client that goes away while its reply is written must not end the server (Windows has no
    // SIGPIPE: the write fails instead).
    std::signal(SIGPIPE, SIG_IGN);
#endif

    DaemonOptions options;
    try {
        options = DaemonOptions::parse(QCoreApplication::arguments());
        // Before the first library call: the library loads the D2XX library on first use.
        if (options.sim())
            BenchSetup::apply(options.benchFile());
    } catch (const ToolError& error) {
        std::fprintf(stderr, "kavrad: %s\nTry 'kavrad --help'.\n", qPrintable(error.message()));
        return ToolError::Usage;
    }

    int exitCode = 0;
    {
        // From here on a signal ends the server in order, even while it is starting.
        SignalNotifier signalNotifier;
        Daemon daemon(options);
        QObject::connect(&signalNotifier, &SignalNotifier::received, &daemon, &Daemon::shutdown);
        QObject::connect(&daemon, &Daemon::finished, &application, &QCoreApplication::quit);
        exitCode = daemon.start();
        if (exitCode == 0)
            exitCode = QCoreApplication::exec();
        // The daemon's worker threads end with it, before the session closes.
    }
    closeSession();
    return exitCode;
}
