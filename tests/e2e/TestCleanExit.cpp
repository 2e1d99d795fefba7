// A host that exits, in any of the ways lab scripts do, ends cleanly: exit code 0 and nothing
// reported by the sanitizers, whichever library was loaded first and whether or not the session
// was closed.

#include <QProcess>

#include <gtest/gtest.h>

TEST(CleanExit, EveryWayOfEndingTheProcess)
{
    struct Case
    {
        const char* d2xx;
        const char* order;
        const char* ending;
        const char* status;
    };
    const Case cases[] = {
        {KAVRA_SIM_PATH, "library-first", "close", "0"},
        {KAVRA_SIM_PATH, "library-first", "open", "0"},
        {KAVRA_SIM_PATH, "library-first", "exit", "0"},
        {KAVRA_SIM_PATH, "d2xx-first", "close", "0"},
        {KAVRA_SIM_PATH, "d2xx-first", "open", "0"},
        {KAVRA_SIM_PATH, "d2xx-first", "exit", "0"},
        // The host unloads the library with the unit open: it stays loaded (it pins itself on
        // Windows, is never unloaded on Linux) and the unit is closed at exit as usual.
        {KAVRA_SIM_PATH, "library-first", "unload", "0"},
        {KAVRA_SIM_PATH, "d2xx-first", "unload", "0"},
        // No D2XX library at all: nothing is found, and the exit is just as clean.
        {"/nonexistent/libftd2xx.so", "library-first", "open", "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.order) + " " + c.ending + " " + c.d2xx);
        QProcess host;
        host.start(QStringLiteral(KAVRA_EXIT_HOST_PATH),
            {QStringLiteral(KAVRA_LIBRARY_PATH), QString::fromLatin1(c.d2xx),
                QString::fromLatin1(c.order), QString::fromLatin1(c.ending)});
        ASSERT_TRUE(host.waitForFinished(30000));
        const QString errors = QString::fromLocal8Bit(host.readAllStandardError());
        EXPECT_EQ(host.exitStatus(), QProcess::NormalExit) << qPrintable(errors);
        EXPECT_EQ(host.exitCode(), 0) << qPrintable(errors);
        EXPECT_EQ(host.readAllStandardOutput().trimmed(), QByteArray(c.status));
        EXPECT_FALSE(errors.contains(QStringLiteral("Sanitizer"))) << qPrintable(errors);
        EXPECT_FALSE(errors.contains(QStringLiteral("runtime error"))) << qPrintable(errors);
    }
}
