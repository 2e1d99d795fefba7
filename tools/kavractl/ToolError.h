#ifndef KAVRACTL_TOOLERROR_H
#define KAVRACTL_TOOLERROR_H

#include <QString>

#include <stdexcept>

// A failure that ends the command: either a library status code or a usage problem.
// Thrown from deep inside a command so that main() alone decides what is printed and the exit code.
class ToolError : public std::runtime_error
{
public:
    enum ExitCode { LibraryStatus = 1, Usage = 2 };

    static ToolError usage(const QString& message, const QString& command = QString());
    static ToolError status(int status, const QString& context);

    // The same error with a prefix to its message, e.g. the line of a batch file.
    ToolError prefixed(const QString& prefix) const;

    int exitCode() const { return m_exitCode; }
    int statusCode() const { return m_status; }
    QString message() const { return m_message; }
    // The command whose --help is worth pointing at, for usage errors.
    QString command() const { return m_command; }

private:
    ToolError(int exitCode, int status, const QString& message, const QString& command);

    int m_exitCode;
    int m_status;
    QString m_message;
    QString m_command;
};

#endif
