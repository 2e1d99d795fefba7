#ifndef KAVRACTL_SHELL_H
#define KAVRACTL_SHELL_H

#include "ScriptLine.h"

class CommandLine;

// kavractl shell: the tool's commands at a prompt, one per line (ScriptLine), on one session for
// the shell's whole life, so that settings stay visible to later commands (on the virtual bench
// too, which lives as long as the process). A failing command is reported and the shell goes on;
// "help", "help COMMAND", "exit" and "quit" are the shell's own words.
class Shell
{
public:
    Shell(const CommandLine& commandLine, ScriptLine::Runner runner);

    // Returns the exit code of the last command (0 when none ran).
    int run();

private:
    const CommandLine& m_commandLine;
    const ScriptLine::Runner m_runner;
};

#endif
