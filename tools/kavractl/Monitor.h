#ifndef KAVRACTL_MONITOR_H
#define KAVRACTL_MONITOR_H

class CommandLine;
class Output;

// Refreshes a status table in place (or writes one JSON line per refresh) until interrupted
// with SIGINT or SIGTERM, or until the requested number of refreshes.
class Monitor
{
public:
    Monitor(const CommandLine& commandLine, const Output& output);

    // Throws ToolError when the named unit cannot be found.
    void run();

private:
    // Waits for the interval; false when interrupted meanwhile.
    bool pause() const;

    const CommandLine& m_commandLine;
    const Output& m_output;
};

#endif
