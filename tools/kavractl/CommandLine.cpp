#include "CommandLine.h"

#include "ToolError.h"

#include <QCommandLineOption>
#include <QCoreApplication>
#include <QCommandLineParser>
#include <QRegularExpression>

#include <cmath>

namespace {

const QString kUnitHelp = QStringLiteral("device index (1, 2, ...) or serial number, any case");
const QString kFlagsHelp = QStringLiteral(
    "FLAGS are the channel's two status flags, 1 set and 0 clear: on Alder and Generic units "
    "'output on' and 'current limiting', on Cedar units 'output on' and 'output delivering' "
    "(on, bus on, not overloaded). CURRENT is in microamps (µA); ADC is the converter value "
    "(Rowan); "
    "SUPPLY is the unit's error flag (ok or ERROR) and status text. '-' marks a reading the "
    "family does not have.");

QCommandLineOption jsonOption()
{
    return QCommandLineOption(
        QStringLiteral("json"), QStringLiteral("Machine-readable output (JSON)."));
}

QCommandLineOption simOption()
{
    return QCommandLineOption(
        QStringLiteral("sim"), QStringLiteral("Use the virtual bench instead of real hardware."));
}

QCommandLineOption benchOption()
{
    return QCommandLineOption(QStringLiteral("bench"),
        QStringLiteral("Use the virtual bench with this bench file (implies --sim)."),
        QStringLiteral("FILE"));
}

QCommandLineOption intervalOption()
{
    return QCommandLineOption(QStringLiteral("interval"),
        QStringLiteral("Seconds between refreshes (default 1)."), QStringLiteral("S"),
        QStringLiteral("1"));
}

QCommandLineOption countOption()
{
    return QCommandLineOption(QStringLiteral("count"),
        QStringLiteral("Stop after N refreshes, N 1 or more (without it: until interrupted)."),
        QStringLiteral("N"));
}

// Qt's own help option brings --help-all, which only lists Qt's internal options.
QCommandLineOption helpOption()
{
    return QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")},
        QStringLiteral("Show this help."));
}

// Qt's usage line names the program as it was started (a path, often); show its plain name.
QString withProgramName(QString help)
{
    const QString usage = QStringLiteral("Usage: ");
    const QString program = QCoreApplication::arguments().value(0);
    if (!program.isEmpty() && help.startsWith(usage + program))
        help.replace(usage.size(), program.size(), QStringLiteral("kavractl"));
    return help;
}

QCommandLineOption versionOption()
{
    return QCommandLineOption(QStringList{QStringLiteral("V"), QStringLiteral("version")},
        QStringLiteral("Show the versions of kavractl and the library."));
}

QCommandLineOption verboseOption()
{
    return QCommandLineOption(QStringList{QStringLiteral("v"), QStringLiteral("verbose")},
        QStringLiteral("Log what the library does (units listed, opened, lost; failed calls) to "
                       "standard error."));
}

QCommandLineOption traceOption()
{
    return QCommandLineOption(QStringLiteral("trace"),
        QStringLiteral("Log every packet to and from the units, in hex, to standard error."));
}

// The options that take a value: their value is never a positional argument.
const QStringList kValueOptions
    = {QStringLiteral("--bench"), QStringLiteral("--interval"), QStringLiteral("--count")};

// A negative number such as -1.5 would read as a bundle of short options: the command's options go
// first and its positional arguments after "--", so that negative numbers work without one.
QStringList positionalAfterOptions(const QStringList& arguments)
{
    static const QRegularExpression negative(QStringLiteral("^-\\.?[0-9]"));
    QStringList options = arguments.mid(0, 1);
    QStringList positional;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--")) {
            positional += arguments.mid(i + 1);
            break;
        }
        if (!argument.startsWith(QLatin1Char('-')) || negative.match(argument).hasMatch()) {
            positional << argument;
            continue;
        }
        options << argument;
        if (kValueOptions.contains(argument) && i + 1 < arguments.size())
            options << arguments.at(++i);
    }
    return options + QStringList{QStringLiteral("--")} + positional;
}

} // namespace

const QVector<CommandLine::Command>& CommandLine::commands()
{
    static const QVector<Command> table = {
        {QStringLiteral("list"),
            QStringLiteral("List the attached units (index, serial number, model, family)."),
            QStringLiteral(
                "No unit is opened. When none is found, the D2XX library's state says why; "
                "exit code 3 when it could not be loaded."),
            {}},
        {QStringLiteral("status"), QStringLiteral("Show the status of one unit or of all units."),
            QStringLiteral(
                "Supply flag and text, channel flags, current and converter value, as far as "
                "the unit's family has them.\n")
                + kFlagsHelp,
            {{QStringLiteral("UNIT"), kUnitHelp + QStringLiteral("; all units when omitted"),
                true}}},
        {QStringLiteral("doctor"),
            QStringLiteral("Say which D2XX library is used and whether each unit opens."),
            QStringLiteral(
                "Shows the D2XX library (the file loaded and its version, or why none could be "
                "loaded), then opens every attached unit and shows its state, with hints for "
                "the usual faults. Exit code 3 without a D2XX library, 1 when a unit fails."),
            {}},
        {QStringLiteral("set-voltage"),
            QStringLiteral("Set an output's voltage and current limit (Alder, Cedar, Generic)."),
            QStringLiteral(
                "Voltage from 0 V to the unit's highest, current limit from 0 µA to its highest "
                "(ignored by Cedar): kavractl list --json gives both (highestVoltage, "
                "highestCurrent); a Cedar unit's highest voltage also depends on its bus level."),
            {{QStringLiteral("UNIT"), kUnitHelp, false},
                {QStringLiteral("CHANNEL"), QStringLiteral("output: 1, or 1 to 3 on Cedar"), false},
                {QStringLiteral("VOLTAGE"), QStringLiteral("volts (V)"), false},
                {QStringLiteral("CURRENT"), QStringLiteral("current limit, microamps (µA)"),
                    false}}},
        {QStringLiteral("set-accurate-voltage"), QStringLiteral("Set the output of a Birch unit."),
            QStringLiteral(
                "Voltage 0 to the unit's highest (kavractl list --json: highestVoltage); second "
                "value -2500 to 2500, a plain number that the unit "
                "takes to three decimals. Put a negative value after --, "
                "e.g. kavractl set-accurate-voltage 5 1 -- 12000 -1.5"),
            {{QStringLiteral("UNIT"), kUnitHelp, false},
                {QStringLiteral("CHANNEL"), QStringLiteral("output: 1"), false},
                {QStringLiteral("VOLTAGE"), QStringLiteral("volts (V)"), false},
                {QStringLiteral("SECOND"), QStringLiteral("second value, no unit, -2500 to 2500"),
                    false}}},
        {QStringLiteral("waveform"), QStringLiteral("Set an output's waveform (Cedar)."),
            QStringLiteral(
                "Levels from 0 V to the bus level's highest voltage (each level allows more; "
                "kavractl list --json gives the highest of all); period 0.1 s to 50 s."),
            {{QStringLiteral("UNIT"), kUnitHelp, false},
                {QStringLiteral("CHANNEL"), QStringLiteral("output: 1 to 3"), false},
                {QStringLiteral("WAVEFORM"), QStringLiteral("waveform code: 0, 1 or 2"), false},
                {QStringLiteral("LEVEL1"), QStringLiteral("first level, volts (V)"), false},
                {QStringLiteral("LEVEL2"), QStringLiteral("second level, volts (V)"), false},
                {QStringLiteral("PERIOD"), QStringLiteral("period, seconds (s), 0.1 to 50"),
                    false}}},
        {QStringLiteral("pwm"), QStringLiteral("Set a PWM channel's duty (Alder, Cedar)."),
            QString(),
            {{QStringLiteral("UNIT"), kUnitHelp, false},
                {QStringLiteral("CHANNEL"), QStringLiteral("PWM channel: 1, or 1 to 2 on Cedar"),
                    false},
                {QStringLiteral("DUTY"), QStringLiteral("duty, 0 to 100 percent"), false}}},
        {QStringLiteral("pwm-frequency"), QStringLiteral("Set the PWM frequency (Alder, Cedar)."),
            QString(),
            {{QStringLiteral("UNIT"), kUnitHelp, false},
                {QStringLiteral("FREQUENCY"), QStringLiteral("hertz (Hz), 1 to 200000"), false}}},
        {QStringLiteral("pwm-function"), QStringLiteral("Set a PWM channel's function (Cedar)."),
            QString(),
            {{QStringLiteral("UNIT"), kUnitHelp, false},
                {QStringLiteral("CHANNEL"), QStringLiteral("PWM channel: 1 or 2"), false},
                {QStringLiteral("FUNCTION"), QStringLiteral("function code: 0, 1 or 2"), false}}},
        {QStringLiteral("polarity"),
            QStringLiteral("Set an output's polarity (Alder, Generic 25/1)."), QString(),
            {{QStringLiteral("UNIT"), kUnitHelp, false},
                {QStringLiteral("CHANNEL"), QStringLiteral("output: 1"), false},
                {QStringLiteral("POLARITY"), QStringLiteral("polarity code: 0 or 1"), false}}},
        {QStringLiteral("on"), QStringLiteral("Switch an output on (Alder, Cedar, Generic)."),
            QString(),
            {{QStringLiteral("UNIT"), kUnitHelp, false},
                {QStringLiteral("CHANNEL"), QStringLiteral("output: 1, or 1 to 3 on Cedar"),
                    false}}},
        {QStringLiteral("off"),
            QStringLiteral("Switch an output off (Alder, Birch, Cedar, Generic)."), QString(),
            {{QStringLiteral("UNIT"), kUnitHelp, false},
                {QStringLiteral("CHANNEL"), QStringLiteral("output: 1, or 1 to 3 on Cedar"),
                    false}}},
        {QStringLiteral("off-all"), QStringLiteral("Switch every output of every unit off."),
            QStringLiteral("Every unit is tried, whatever the others do; the first failure sets "
                           "the exit code."),
            {}},
        {QStringLiteral("bus"),
            QStringLiteral("Switch the internal voltage bus on at a level, or off (Cedar)."),
            QStringLiteral("kavractl bus UNIT on LEVEL, or kavractl bus UNIT off."),
            {{QStringLiteral("UNIT"), kUnitHelp, false},
                {QStringLiteral("STATE"), QStringLiteral("on or off"), false},
                {QStringLiteral("LEVEL"),
                    QStringLiteral(
                        "bus level, with on: 0 or higher (each level allows higher outputs)"),
                    true}}},
        {QStringLiteral("current"),
            QStringLiteral("Read an output's current in microamps (Alder, Generic)."), QString(),
            {{QStringLiteral("UNIT"), kUnitHelp, false},
                {QStringLiteral("CHANNEL"), QStringLiteral("output: 1"), false}}},
        {QStringLiteral("adc"), QStringLiteral("Read the converter value (Rowan)."),
            QStringLiteral(
                "The value as the unit reports it: its converter reading divided by 200."),
            {{QStringLiteral("UNIT"), kUnitHelp, false}}},
        {QStringLiteral("clear-error"), QStringLiteral("Clear the unit's error."), QString(),
            {{QStringLiteral("UNIT"), kUnitHelp, false}}},
        {QStringLiteral("shell"), QStringLiteral("Type commands at a prompt, on units kept open."),
            QStringLiteral(
                "The commands and arguments of the command line, one per line, with line editing "
                "and history (kept in ~/.kavractl_history). One session lasts as long as the "
                "shell: "
                "a setting stays visible to later commands, also on the virtual bench "
                "(kavractl shell --sim). 'help' lists the commands, 'help COMMAND' describes one; "
                "'exit' or Ctrl+D ends the shell and closes the units. A failing command is "
                "reported and the shell goes on."),
            {}},
        {QStringLiteral("batch"),
            QStringLiteral("Run commands from a file, one per line, on units kept open."),
            QStringLiteral(
                "The language of the shell: each line is a command with its arguments as on the "
                "command line (quotes group words; empty lines and lines starting with # are "
                "skipped). The units stay open from line to line, so settings made on one line can "
                "be read back on the next. Stops at the first failing line. With --json, one JSON "
                "document per line of output."),
            {{QStringLiteral("FILE"),
                QStringLiteral("file of commands; standard input when omitted or -"), true}}},
        {QStringLiteral("monitor"),
            QStringLiteral("Show a status table, refreshed in place until interrupted."),
            QStringLiteral(
                "Stop with Ctrl+C, or after --count refreshes. With --json, one JSON document "
                "per refresh, one per line.\n")
                + kFlagsHelp,
            {{QStringLiteral("UNIT"), kUnitHelp + QStringLiteral("; all units when omitted"),
                true}}},
        {QStringLiteral("demo"),
            QStringLiteral("Walk through every attached unit and show what it does."),
            QStringLiteral(
                "Lists the units, then per unit sets something, switches it on, reads back "
                "and switches it off again. Best run with --sim."),
            {}},
    };
    return table;
}

QString CommandLine::overview()
{
    QString text = QStringLiteral(
        "Controls the high-voltage supply units attached over USB.\n\nCommands:\n");
    for (const Command& command : commands())
        text += QStringLiteral("  %1 %2\n").arg(command.name.leftJustified(21), command.summary);
    text
        += QStringLiteral("\nA unit is named by its device index or its serial number (any case).\n"
                          "'kavractl COMMAND --help' describes a command's arguments.");
    return text;
}

void CommandLine::addCommonOptions(QCommandLineParser& parser)
{
    parser.addOption(helpOption());
    parser.addOption(jsonOption());
    parser.addOption(simOption());
    parser.addOption(benchOption());
    parser.addOption(verboseOption());
    parser.addOption(traceOption());
}

QString CommandLine::parseError(const QCommandLineParser& parser, const QStringList& arguments)
{
    Q_UNUSED(arguments);
    return parser.errorText();
}

CommandLine::CommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(overview());
    // Everything from the command name on belongs to the command's own parser.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    addCommonOptions(parser);
    parser.addOption(versionOption());
    parser.addPositionalArgument(QStringLiteral("command"),
        QStringLiteral("The command to run (see above)."), QStringLiteral("COMMAND [ARGUMENTS]"));
    if (!parser.parse(arguments))
        throw ToolError::usage(parseError(parser, arguments));

    m_json = parser.isSet(QStringLiteral("json"));
    m_sim = parser.isSet(QStringLiteral("sim"));
    m_benchFile = parser.value(QStringLiteral("bench"));
    m_version = parser.isSet(QStringLiteral("version"));
    m_verbose = parser.isSet(QStringLiteral("verbose"));
    m_trace = parser.isSet(QStringLiteral("trace"));

    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        if (parser.isSet(QStringLiteral("help")))
            m_helpText = withProgramName(parser.helpText());
        else if (!m_version)
            throw ToolError::usage(QStringLiteral("no command given"));
        return;
    }

    m_command = positional.first();
    for (const Command& command : commands()) {
        if (command.name == m_command)
            m_definition = &command;
    }
    if (!m_definition)
        throw ToolError::usage(QStringLiteral("unknown command '%1'").arg(m_command));

    // "kavractl --help COMMAND" asks for the command's help, whatever else follows.
    if (parser.isSet(QStringLiteral("help")))
        parseCommand(
            *m_definition, QStringList{arguments.value(0), m_command, QStringLiteral("--help")});
    else
        parseCommand(*m_definition, QStringList{arguments.value(0)} + positional);
}

void CommandLine::parseCommand(const Command& command, const QStringList& arguments)
{
    QCommandLineParser parser;
    QString description = command.summary;
    if (!command.details.isEmpty())
        description += QStringLiteral("\n") + command.details;
    parser.setApplicationDescription(description);
    addCommonOptions(parser);
    const bool monitor = command.name == QLatin1String("monitor");
    if (monitor) {
        parser.addOption(intervalOption());
        parser.addOption(countOption());
    }
    // The command's name as the first positional argument puts it into the usage line.
    parser.addPositionalArgument(command.name, QStringLiteral("The command."), command.name);
    int required = 0;
    for (const Argument& argument : command.arguments) {
        parser.addPositionalArgument(argument.name, argument.help,
            argument.optional ? QStringLiteral("[%1]").arg(argument.name) : argument.name);
        if (!argument.optional)
            ++required;
    }

    if (!parser.parse(positionalAfterOptions(arguments)))
        throw ToolError::usage(parseError(parser, arguments), command.name);
    if (parser.isSet(QStringLiteral("help"))) {
        m_helpText = withProgramName(parser.helpText());
        return;
    }

    m_json = m_json || parser.isSet(QStringLiteral("json"));
    m_sim = m_sim || parser.isSet(QStringLiteral("sim"));
    m_verbose = m_verbose || parser.isSet(QStringLiteral("verbose"));
    m_trace = m_trace || parser.isSet(QStringLiteral("trace"));
    if (parser.isSet(QStringLiteral("bench")))
        m_benchFile = parser.value(QStringLiteral("bench"));

    m_arguments = parser.positionalArguments().mid(1);
    if (m_arguments.size() < required || m_arguments.size() > command.arguments.size()) {
        QStringList names;
        for (const Argument& argument : command.arguments)
            names << (argument.optional ? QStringLiteral("[%1]").arg(argument.name)
                                        : argument.name);
        throw ToolError::usage(QStringLiteral("%1 takes %2")
                                   .arg(command.name,
                                       names.isEmpty() ? QStringLiteral("no arguments")
                                                       : names.join(QLatin1Char(' '))),
            command.name);
    }

    if (monitor) {
        bool ok = false;
        m_interval = parser.value(QStringLiteral("interval")).toDouble(&ok);
        if (!ok || !std::isfinite(m_interval) || m_interval < 0)
            throw ToolError::usage(
                QStringLiteral("--interval takes a number of seconds, 0 or more"), command.name);
        if (parser.isSet(QStringLiteral("count"))) {
            m_count = parser.value(QStringLiteral("count")).toInt(&ok);
            // 0 would read as "no refresh at all" or as "forever"; leaving the option out says the latter.
            if (!ok || m_count < 1)
                throw ToolError::usage(
                    QStringLiteral("--count takes a whole number, 1 or more "
                                   "(leave it out to refresh until interrupted)"),
                    command.name);
        }
    }
}

QString CommandLine::argumentName(int position) const
{
    if (m_definition && position < m_definition->arguments.size())
        return m_definition->arguments.at(position).name;
    return QStringLiteral("argument %1").arg(position + 1);
}

int CommandLine::integer(int position) const
{
    bool ok = false;
    const int value = argument(position).toInt(&ok);
    if (!ok)
        throw ToolError::usage(QStringLiteral("%1 must be a whole number, not '%2'")
                                   .arg(argumentName(position), argument(position)),
            m_command);
    return value;
}

double CommandLine::number(int position) const
{
    bool ok = false;
    const double value = argument(position).toDouble(&ok);
    if (!ok)
        throw ToolError::usage(QStringLiteral("%1 must be a number, not '%2'")
                                   .arg(argumentName(position), argument(position)),
            m_command);
    return value;
}
