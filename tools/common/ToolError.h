#ifndef KAVRA_TOOLS_TOOLERROR_H
#define KAVRA_TOOLS_TOOLERROR_H

#include <QJsonObject>
#include <QString>

#include <stdexcept>

class DriverInfo;

// A failure that ends the command: a library status code, a usage problem, or no D2XX library.
// Thrown from deep inside a command so that main() alone decides what is printed and the exit code.
class ToolError : public std::runtime_error
{
public:
    enum ExitCode { LibraryStatus = 1, Usage = 2, NoDriver = 3 };

    static ToolError usage(const QString& message, const QString& command = QString());
    // A file or library the tool needs is missing or bad: exit code Usage, but no pointer to --help.
    static ToolError badInput(const QString& message);
    // A failed library call; for a call on a unit (unitIndex from 1), the message also carries
    // the unit's last error text, and a hint when the unit is disconnected.
    static ToolError status(int status, const QString& context, int unitIndex = 0);
    // No unit can be found: the D2XX library could not be loaded.
    static ToolError noDriver(const DriverInfo& driver);

    // The same error with a prefix to its message, e.g. the line of a batch file.
    ToolError prefixed(const QString& prefix) const;
    // The same error with a note after its message.
    ToolError noted(const QString& note) const;

    int exitCode() const { return m_exitCode; }
    int statusCode() const { return m_status; }
    QString message() const { return m_message; }
    // Whether --help is worth pointing at, and for which command (empty: the tool's).
    bool pointsToHelp() const { return m_exitCode == Usage && m_pointsToHelp; }
    QString command() const { return m_command; }
    // Members the JSON error document carries besides the message.
    QJsonObject details() const;

private:
    ToolError(int exitCode, int status, const QString& message, const QString& command,
        const QJsonObject& details = QJsonObject());
    ToolError withMessage(const QString& message) const;

    int m_exitCode;
    int m_status;
    QString m_message;
    QString m_command;
    QJsonObject m_details;
    bool m_pointsToHelp = true;
};

#endif
