#include "DaemonOptions.h"

#include "ToolError.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFile>

#include <algorithm>
#include <cmath>

namespace {

quint16 portNumber(const QString& text, int lowest, const QString& what)
{
    bool ok = false;
    const int port = text.toInt(&ok);
    if (!ok || port < lowest || port > 65535)
        throw ToolError::usage(QStringLiteral("%1 '%2' is not a port number from %3 to 65535")
                                   .arg(what, text)
                                   .arg(lowest));
    return quint16(port);
}

QHostAddress parseListenAddress(const QString& text)
{
    if (text.compare(QLatin1String("any"), Qt::CaseInsensitive) == 0)
        return QHostAddress(QHostAddress::Any);
    QHostAddress address;
    if (!address.setAddress(text))
        throw ToolError::usage(QStringLiteral("--listen '%1' is not an IP address").arg(text));
    return address;
}

// SERIAL=VALUE with a value that is a number from 0 (upper-case serial number and the value).
QPair<QString, double> parseSerialValue(const QString& text, const QString& option)
{
    const int equals = text.indexOf(QLatin1Char('='));
    bool ok = false;
    const double value = equals > 0 ? text.mid(equals + 1).toDouble(&ok) : 0.0;
    if (!ok || !(value >= 0) || std::isinf(value))
        throw ToolError::usage(
            QStringLiteral("%1 '%2' is not SERIAL=NUMBER with a number from 0").arg(option, text));
    return {text.left(equals).trimmed().toUpper(), value};
}

QPair<QHostAddress, int> parseSubnet(const QString& text)
{
    QString cidr = text;
    // A plain address admits that host alone.
    if (!cidr.contains(QLatin1Char('/')))
        cidr += cidr.contains(QLatin1Char(':')) ? QStringLiteral("/128") : QStringLiteral("/32");
    const QPair<QHostAddress, int> parsed = QHostAddress::parseSubnet(cidr);
    if (parsed.first.isNull())
        throw ToolError::usage(
            QStringLiteral("--allow '%1' is not an address or subnet (CIDR)").arg(text));
    return parsed;
}

// A fixed dashboard token: at least 16 characters that stand as they are in a URL and a cookie.
QByteArray readToken(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ToolError::usage(
            QStringLiteral("--http-token-file '%1': %2").arg(path, file.errorString()));
    const QByteArray token = file.read(4096).trimmed();
    const bool plain = std::all_of(token.cbegin(), token.cend(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')
            || c == '-' || c == '_' || c == '.' || c == '~';
    });
    if (token.size() < 16 || !plain)
        throw ToolError::usage(QStringLiteral("--http-token-file '%1' must hold a token of at "
                                              "least 16 letters, digits, '-', '_', '.' or '~'")
                                   .arg(path));
    return token;
}

} // namespace

DaemonOptions DaemonOptions::parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "SCPI server: every attached supply unit a SCPI instrument on a TCP port.\n"
        "There is no authentication: on an untrusted network, reach it through an SSH\n"
        "tunnel or limit it with --allow and a firewall."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption port(QStringLiteral("port"),
        QStringLiteral("Unit k listens on BASE + k - 1 (default %1; 0: any free port, "
                       "printed at start).")
            .arg(DefaultBasePort),
        QStringLiteral("BASE"), QString::number(DefaultBasePort));
    const QCommandLineOption listen(QStringLiteral("listen"),
        QStringLiteral("Address to listen on (default 127.0.0.1; 'any' for every "
                       "interface)."),
        QStringLiteral("ADDR"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption allow(QStringLiteral("allow"),
        QStringLiteral("Admit clients from this subnet or address only (repeatable)."),
        QStringLiteral("CIDR"));
    const QCommandLineOption pin(QStringLiteral("pin"),
        QStringLiteral("Serve the unit with this serial number on this port (repeatable)."),
        QStringLiteral("SERIAL=PORT"));
    const QCommandLineOption sim(
        QStringLiteral("sim"), QStringLiteral("Use the virtual bench instead of real hardware."));
    const QCommandLineOption bench(QStringLiteral("bench"),
        QStringLiteral("Use the virtual bench with this bench file (implies --sim)."),
        QStringLiteral("FILE"));
    const QCommandLineOption slew(QStringLiteral("slew"),
        QStringLiteral("Ramp the voltage settings of this unit's outputs at this rate (V/s; "
                       "repeatable)."),
        QStringLiteral("SERIAL=RATE"));
    const QCommandLineOption limit(QStringLiteral("limit"),
        QStringLiteral("Refuse voltage settings of this unit above this voltage (repeatable)."),
        QStringLiteral("SERIAL=VOLTS"));
    const QCommandLineOption watchdog(QStringLiteral("watchdog"),
        QStringLiteral("Switch a unit's outputs off when no client has sent it a command for "
                       "this long while an output is on."),
        QStringLiteral("SECONDS"));
    const QCommandLineOption offOnExit(QStringLiteral("off-on-exit"),
        QStringLiteral("Switch every output of every unit off on SIGINT or SIGTERM."));
    const QCommandLineOption http(QStringLiteral("http"),
        QStringLiteral("Serve the dashboard, a web page of every unit, on this port (0: a free "
                       "port); its URL with the token is printed at start."),
        QStringLiteral("PORT"));
    const QCommandLineOption httpTokenFile(QStringLiteral("http-token-file"),
        QStringLiteral("Read the dashboard's token from this file instead of making a random one."),
        QStringLiteral("FILE"));
    const QCommandLineOption pollInterval(QStringLiteral("poll-interval"),
        QStringLiteral("Read the units for the dashboard this often (seconds, default 1)."),
        QStringLiteral("SECONDS"));
    parser.addOptions({port, listen, allow, pin, sim, bench, slew, limit, watchdog, offOnExit, http,
        httpTokenFile, pollInterval});

    if (!parser.parse(arguments))
        throw ToolError::usage(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        throw ToolError::usage(
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    DaemonOptions options;
    options.m_basePort = portNumber(parser.value(port), 0, QStringLiteral("--port"));
    options.m_listen = parseListenAddress(parser.value(listen));
    for (const QString& value : parser.values(allow))
        options.m_allowed.append(parseSubnet(value));
    for (const QString& value : parser.values(pin)) {
        const int equals = value.indexOf(QLatin1Char('='));
        if (equals <= 0)
            throw ToolError::usage(QStringLiteral("--pin '%1' is not SERIAL=PORT").arg(value));
        options.m_pins.insert(value.left(equals).trimmed().toUpper(),
            portNumber(value.mid(equals + 1), 1, QStringLiteral("--pin")));
    }
    for (const QString& value : parser.values(slew)) {
        const QPair<QString, double> parsed = parseSerialValue(value, QStringLiteral("--slew"));
        options.m_safety[parsed.first].slew = parsed.second;
    }
    for (const QString& value : parser.values(limit)) {
        const QPair<QString, double> parsed = parseSerialValue(value, QStringLiteral("--limit"));
        options.m_safety[parsed.first].limit = parsed.second;
    }
    if (parser.isSet(watchdog)) {
        bool ok = false;
        options.m_watchdogSeconds = parser.value(watchdog).toDouble(&ok);
        // Above about 24 days the timer's milliseconds would not fit.
        if (!ok || !(options.m_watchdogSeconds > 0 && options.m_watchdogSeconds <= 2e6))
            throw ToolError::usage(QStringLiteral("--watchdog '%1' is not a number of seconds")
                                       .arg(parser.value(watchdog)));
    }
    options.m_offOnExit = parser.isSet(offOnExit);
    if (parser.isSet(http))
        options.m_httpPort = portNumber(parser.value(http), 0, QStringLiteral("--http"));
    if (parser.isSet(pollInterval)) {
        bool ok = false;
        const double seconds = parser.value(pollInterval).toDouble(&ok);
        if (!ok || !(seconds >= 0.05 && seconds <= 3600))
            throw ToolError::usage(
                QStringLiteral("--poll-interval '%1' is not a number of seconds from 0.05 to 3600")
                    .arg(parser.value(pollInterval)));
        options.m_pollIntervalMs = int(std::lround(seconds * 1000));
    }
    if (parser.isSet(httpTokenFile))
        options.m_httpToken = readToken(parser.value(httpTokenFile));
    options.m_sim = parser.isSet(sim);
    options.m_benchFile = parser.value(bench);
    return options;
}

UnitSafety DaemonOptions::safetyOf(const QString& serial) const
{
    UnitSafety safety = m_safety.value(serial.toUpper());
    safety.watchdogSeconds = m_watchdogSeconds;
    return safety;
}
