#include "Monitor.h"

#include "CommandLine.h"
#include "Output.h"
#include "SignalGuard.h"
#include "StatusReader.h"
#include "StatusTable.h"
#include "UnitDirectory.h"

#include <QDateTime>
#include <QJsonObject>

#include <chrono>
#include <thread>

#ifdef _WIN32
#include <io.h>
#define KAVRACTL_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define KAVRACTL_ISATTY(fd) isatty(fd)
#endif

namespace {

const char* const kClearScreen = "\x1b[H\x1b[2J";

// Escape codes only for a terminal: a file or a pipe gets the tables one after the other.
bool toTerminal()
{
    return KAVRACTL_ISATTY(1) != 0;
}

} // namespace

Monitor::Monitor(const CommandLine& commandLine, const Output& output)
    : m_commandLine(commandLine), m_output(output)
{ }

bool Monitor::pause() const
{
    using namespace std::chrono;
    const auto end = steady_clock::now()
        + duration_cast<steady_clock::duration>(duration<double>(m_commandLine.interval()));
    // Short naps so that an interrupt ends the wait promptly.
    while (!SignalGuard::interrupted() && steady_clock::now() < end)
        std::this_thread::sleep_for(
            std::min<steady_clock::duration>(milliseconds(50), end - steady_clock::now()));
    return !SignalGuard::interrupted();
}

void Monitor::run()
{
    // Caught from the start: looking a unit up by serial number opens units, which takes a while.
    SignalGuard guard;
    const bool named = m_commandLine.hasArgument(0);
    QList<UnitIdentity> units;
    if (named)
        units.append(UnitDirectory::resolve(m_commandLine.argument(0)));
    for (int refresh = 1; !SignalGuard::interrupted(); ++refresh) {
        // Without a named unit, units attached meanwhile show up on the next refresh.
        if (!named)
            units = UnitDirectory::list();
        const QJsonArray statuses = StatusReader::readAll(units, nullptr);
        const QString time = QDateTime::currentDateTime().toString(Qt::ISODate);
        if (m_output.json()) {
            m_output.document(
                QJsonObject{{QStringLiteral("time"), time}, {QStringLiteral("refresh"), refresh},
                    {QStringLiteral("units"), statuses}},
                true);
        } else {
            if (toTerminal())
                m_output.raw(QString::fromLatin1(kClearScreen));
            m_output.line(QStringLiteral("kavractl monitor  %1  every %2 s  (Ctrl+C to stop)\n")
                              .arg(time)
                              .arg(m_commandLine.interval()));
            m_output.line(StatusTable::render(statuses));
        }
        if (m_commandLine.count() > 0 && refresh >= m_commandLine.count())
            break;
        if (!pause())
            break;
    }
    if (SignalGuard::interrupted() && !m_output.json())
        m_output.line(QStringLiteral("\nstopped"));
}
