#ifndef KAVRACTL_COMMANDRUNNER_H
#define KAVRACTL_COMMANDRUNNER_H

class CommandLine;
class Output;

// Runs one parsed command line against the library: the command's help, the version, or the
// command itself. Returns the exit code; throws ToolError on failure.
class CommandRunner
{
public:
    static int run(const CommandLine& commandLine, const Output& output);
};

#endif
