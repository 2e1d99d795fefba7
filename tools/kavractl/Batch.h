#ifndef KAVRACTL_BATCH_H
#define KAVRACTL_BATCH_H

#include "ScriptLine.h"

#include <QString>

class CommandLine;

// Runs the commands of a file (or standard input), one per line (ScriptLine), in one session:
// units opened by one line stay open for the next, which saves the opening time and keeps the
// settings visible to later readings (the virtual bench lives only as long as the process).
class Batch
{
public:
    Batch(const CommandLine& commandLine, ScriptLine::Runner runner);

    // Returns the exit code of the first failing line, or 0; throws ToolError on failure,
    // its message naming the line.
    int run();

private:
    const CommandLine& m_commandLine;
    const ScriptLine::Runner m_runner;
};

#endif
