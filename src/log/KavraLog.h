#pragma once

#include <QLoggingCategory>
#include <QString>

// The library's log: four Qt logging categories, off unless the environment variable KAVRA_LOG
// names them when the first message is logged. KAVRA_LOG is a list of words (commas or spaces):
// "session", "discovery", "wire", "d2xx" switch on that category, "all" every one, and "info"
// every category's informative messages (units listed, opened, lost; failed calls) without the
// per-packet and per-call ones. The library's lines go to standard error, or are appended to the
// file that KAVRA_LOG_FILE names, as "<time> [<thread>] <category> <serial>: <message>"; messages
// of the host's own categories go to the message handler that was installed before. Without
// KAVRA_LOG nothing is installed, and a log site costs one check of its category.
class KavraLog
{
public:
    // Unit calls, openings, losses and failures.
    static const QLoggingCategory& session();
    // Listings of the attached units.
    static const QLoggingCategory& discovery();
    // Every packet, each way, in hex.
    static const QLoggingCategory& wire();
    // Every D2XX call with its status.
    static const QLoggingCategory& d2xx();

    // Names the unit that the calling thread's messages concern, as long as it exists. The serial
    // number must outlive the scope.
    class UnitScope
    {
    public:
        explicit UnitScope(const QString& serialNumber);
        // The scope keeps a pointer to the text: a temporary would be gone before the scope ends.
        explicit UnitScope(QString&&) = delete;
        ~UnitScope();
        UnitScope(const UnitScope&) = delete;
        UnitScope& operator=(const UnitScope&) = delete;

    private:
        const QString* m_previous;
    };
};
