#ifndef KAVRACTL_COMMANDLINE_H
#define KAVRACTL_COMMANDLINE_H

#include <QString>
#include <QStringList>
#include <QVector>

class QCommandLineParser;

// The command line: the command, its positional arguments and the options. Two parsers read
// it: the first one only up to the command name, so that options may stand before or after it,
// the second one with the command's own arguments and options (and its own --help).
class CommandLine
{
public:
    // Parses the program's arguments (first one is the program). Throws ToolError on misuse.
    explicit CommandLine(const QStringList& arguments);

    bool helpRequested() const { return !m_helpText.isEmpty(); }
    QString helpText() const { return m_helpText; }
    bool versionRequested() const { return m_version; }

    QString command() const { return m_command; }
    bool json() const { return m_json; }
    bool sim() const { return m_sim || !m_benchFile.isEmpty(); }
    // The library's log: its informative messages, and every packet.
    bool verbose() const { return m_verbose; }
    bool trace() const { return m_trace; }
    QString benchFile() const { return m_benchFile; }
    double interval() const { return m_interval; }
    // Refreshes of monitor; 0 when not limited.
    int count() const { return m_count; }

    bool hasArgument(int position) const { return position < m_arguments.size(); }
    QString argument(int position) const { return m_arguments.value(position); }
    // A positional argument read as a whole number or a number; throws a usage ToolError
    // naming the argument when it is not one.
    int integer(int position) const;
    double number(int position) const;

private:
    struct Argument
    {
        QString name;
        QString help;
        bool optional;
    };
    struct Command
    {
        QString name;
        QString summary;
        QString details;
        QVector<Argument> arguments;
    };

    static const QVector<Command>& commands();
    static QString overview();
    static void addCommonOptions(QCommandLineParser& parser);
    static QString parseError(const QCommandLineParser& parser, const QStringList& arguments);
    void parseCommand(const Command& command, const QStringList& arguments);
    QString argumentName(int position) const;

    const Command* m_definition = nullptr;
    QString m_command;
    QStringList m_arguments;
    QString m_helpText;
    bool m_version = false;
    bool m_json = false;
    bool m_sim = false;
    bool m_verbose = false;
    bool m_trace = false;
    QString m_benchFile;
    double m_interval = 1.0;
    int m_count = 0;
};

#endif
