// kavra-usbbench: runs a command with the virtual bench's chips presented as USB devices, so that
// FTDI's own D2XX library (or libftdi) drives the emulated units.
//
//   kavra-usbbench [--bench FILE] -- COMMAND [ARGS...]
//   kavra-usbbench ctl OP [KEY=VALUE...]      (from a program running under the bench)
#include "SimBench.h"
#include "UsbBenchClient.h"
#include "UsbBenchServer.h"
#include "UsbTestbed.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

namespace {

volatile sig_atomic_t g_child = 0;

void forwardSignal(int signal)
{
    if (g_child > 0)
        kill(pid_t(g_child), signal);
}

int usage()
{
    std::fprintf(stderr,
        "usage: kavra-usbbench [--bench FILE] -- COMMAND [ARGS...]\n"
        "       kavra-usbbench ctl OP [KEY=VALUE...]\n");
    return 2;
}

int control(int argc, char** argv)
{
    QJsonObject request{{QStringLiteral("op"), QString::fromLocal8Bit(argv[0])}};
    for (int i = 1; i < argc; ++i) {
        const QString pair = QString::fromLocal8Bit(argv[i]);
        const int equals = pair.indexOf(QLatin1Char('='));
        if (equals <= 0)
            return usage();
        bool number = false;
        const int value = pair.mid(equals + 1).toInt(&number);
        request.insert(
            pair.left(equals), number ? QJsonValue(value) : QJsonValue(pair.mid(equals + 1)));
    }
    UsbBenchClient client;
    if (!client.isConnected()) {
        std::fprintf(stderr, "kavra-usbbench: no bench to talk to (KAVRA_USBBENCH_SOCKET): %s\n",
            qPrintable(client.errorString()));
        return 1;
    }
    const QJsonObject reply = client.request(request);
    std::printf("%s\n", QJsonDocument(reply).toJson(QJsonDocument::Compact).constData());
    return reply.value(QStringLiteral("result")).toInt() >= 0 ? 0 : 1;
}

// The environment of the command: umockdev's preload library in front, the testbed, the control
// socket. Sanitizer runtimes accept a library loaded before them.
void prepareChildEnvironment(const QString& socket)
{
    QByteArray preload = "libumockdev-preload.so.0";
    const QByteArray existing = qgetenv("LD_PRELOAD");
    if (!existing.isEmpty())
        preload += ':' + existing;
    qputenv("LD_PRELOAD", preload);
    qputenv("KAVRA_USBBENCH_SOCKET", socket.toLocal8Bit());
    QByteArray asan = qgetenv("ASAN_OPTIONS");
    qputenv(
        "ASAN_OPTIONS", (asan.isEmpty() ? QByteArray() : asan + ':') + "verify_asan_link_order=0");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "ctl") == 0) {
        QCoreApplication app(argc, argv);
        return argc >= 3 ? control(argc - 2, argv + 2) : usage();
    }
    int first = 1;
    QString benchFile;
    if (argc > 2 && std::strcmp(argv[1], "--bench") == 0) {
        benchFile = QString::fromLocal8Bit(argv[2]);
        first = 3;
    }
    if (first >= argc || std::strcmp(argv[first], "--") != 0 || first + 1 >= argc)
        return usage();
    char** command = argv + first + 1;

    QCoreApplication app(argc, argv);
    if (!benchFile.isEmpty()) {
        QFile file(benchFile);
        QString error;
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "kavra-usbbench: cannot read %s: %s\n", qPrintable(benchFile),
                qPrintable(file.errorString()));
            return 2;
        }
        if (SimBench::instance().loadBench(file.readAll(), &error) != SimBench::kOk) {
            std::fprintf(stderr, "kavra-usbbench: %s is not a bench: %s\n", qPrintable(benchFile),
                qPrintable(error));
            return 2;
        }
    }

    UsbTestbed testbed;
    UsbBenchServer server(testbed);
    QString error;
    if (!server.listen(testbed.rootDirectory() + QStringLiteral("/control"), &error)) {
        std::fprintf(
            stderr, "kavra-usbbench: cannot open the control socket: %s\n", qPrintable(error));
        return 2;
    }

    const pid_t child = fork();
    if (child < 0) {
        std::perror("kavra-usbbench: fork");
        return 2;
    }
    if (child == 0) {
        prepareChildEnvironment(server.path());
        execvp(command[0], command);
        std::fprintf(
            stderr, "kavra-usbbench: cannot run %s: %s\n", command[0], std::strerror(errno));
        _exit(127);
    }
    // The command owns the terminal's interrupts; the bench outlives it to answer to the end.
    g_child = child;
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGQUIT, SIG_IGN);
    std::signal(SIGTERM, forwardSignal);
    std::signal(SIGHUP, forwardSignal);

    int exitCode = 0;
    std::thread waiter([&]() {
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) { }
        exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        QMetaObject::invokeMethod(
            &app, []() { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    });
    app.exec();
    waiter.join();
    return exitCode;
}
