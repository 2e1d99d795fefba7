#include "D2xxBenchTest.h"

#include <QProcess>

#include <cstdlib>
#include <future>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

using namespace benchclient;

namespace {

// Host processes that exit while units are open. Each scenario runs in a child process (this
// executable started again with the scenario named in kScenarioVariable), before main, so that
// it registers its exit handling before the bench is first used: at exit that handling then runs
// after the bench's own static teardown, as a host's does when it loaded the bench first.
constexpr const char* kScenarioVariable = "KAVRA_SIM_EXIT_SCENARIO";

FT_HANDLE g_handle = nullptr;

void failScenario(const char* what)
{
    std::fprintf(stderr, "exit scenario: %s\n", what);
    std::_Exit(3);
}

// Uses and closes the open unit, as a library closing its devices from its exit handling does.
void closeUnitAtExit()
{
    char buffer[8] = {};
    DWORD count = 0, tx = 0, events = 0;
    if (FT_Purge(g_handle, FT_PURGE_RX) != FT_OK || FT_GetQueueStatus(g_handle, &count) != FT_OK
        || FT_GetStatus(g_handle, &count, &tx, &events) != FT_OK)
        failScenario("status calls failed after teardown");
    if (writeBytes(g_handle, packet(7, 0x15)) != FT_OK
        || FT_Read(g_handle, buffer, 8, &count) != FT_OK || count != 8)
        failScenario("an exchange failed after teardown");
    if (FT_Close(g_handle) != FT_OK || FT_CreateDeviceInfoList(&count) != FT_OK)
        failScenario("closing failed after teardown");
}

bool runExitScenario()
{
    const char* scenario = std::getenv(kScenarioVariable);
    if (!scenario)
        return false;
    const std::string name(scenario);
    if (name == "CloseAfterTeardown")
        std::atexit(closeUnitAtExit);
    g_handle = openListed(kRowan);
    if (!g_handle)
        failScenario("no unit to open");
    if (name == "ReaderBlockedDuringExit") {
        // A host thread still waits in FT_Read while the process exits around it.
        std::promise<void> reading;
        std::thread([&reading] {
            FT_SetTimeouts(g_handle, 20000, 20000);
            char buffer[8];
            DWORD count = 0;
            reading.set_value();
            FT_Read(g_handle, buffer, sizeof buffer, &count);
        }).detach();
        reading.get_future().wait();
    }
    std::exit(0);
}

const bool g_exitScenarioRan = runExitScenario();

QString thisExecutable()
{
#ifdef _WIN32
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return QString::fromWCharArray(path);
#else
    return QStringLiteral("/proc/self/exe");
#endif
}

// The exit status of this executable run again with the scenario named; crashes and sanitizer
// reports show as a status other than 0.
int runChild(const char* scenario)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kScenarioVariable), QString::fromLatin1(scenario));
    child.setProcessEnvironment(environment);
    child.start(thisExecutable(), QStringList());
    if (!child.waitForFinished(60000) || child.exitStatus() != QProcess::NormalExit)
        return -1;
    return child.exitCode();
}

TEST(TeardownTest, HostsExitingWithUnitsOpenExitCleanly)
{
    ASSERT_FALSE(g_exitScenarioRan);
    for (const char* scenario :
        {"UnitsLeftOpen", "CloseAfterTeardown", "ReaderBlockedDuringExit"}) {
        SCOPED_TRACE(scenario);
        EXPECT_EQ(runChild(scenario), 0);
    }
}

} // namespace
