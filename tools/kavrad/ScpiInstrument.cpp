#include "ScpiInstrument.h"

#include <exception>

namespace {

// A line's commands: split at ';' outside double-quoted strings.
QStringList splitCommands(const QString& line)
{
    QStringList commands;
    QString current;
    bool quoted = false;
    for (const QChar c : line) {
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        if (c == QLatin1Char(';') && !quoted) {
            commands.append(current);
            current.clear();
        } else {
            current.append(c);
        }
    }
    commands.append(current);
    return commands;
}

} // namespace

ScpiInstrument::ScpiInstrument(const QString& identity, std::function<void()> reset,
    std::function<void()> selfTest, QVector<ScpiCommand> commands)
    : m_identity(identity)
    , m_reset(std::move(reset))
    , m_selfTest(std::move(selfTest))
    , m_commands(std::move(commands))
{
    const auto noParameters = [](const ScpiParameters& parameters) { parameters.expect(0); };
    m_commands.append(ScpiCommand(QStringLiteral("SYSTem:ERRor[:NEXT]"), true,
        [this, noParameters](int, const ScpiParameters& p) {
            noParameters(p);
            return m_state->next().toReply();
        }));
    m_commands.append(ScpiCommand(QStringLiteral("SYSTem:ERRor:ALL"), true,
        [this, noParameters](int, const ScpiParameters& p) {
            noParameters(p);
            QStringList all{m_state->next().toReply()};
            while (m_state->errorCount() > 0)
                all.append(m_state->next().toReply());
            return all.join(QLatin1Char(','));
        }));
    // No status registers beyond the event status register, which STATus:PRESet leaves alone.
    m_commands.append(ScpiCommand(
        QStringLiteral("STATus:PRESet"), false, [noParameters](int, const ScpiParameters& p) {
            noParameters(p);
            return QString();
        }));
    m_commands.append(ScpiCommand(QStringLiteral("SYSTem:ERRor:COUNt"), true,
        [this, noParameters](int, const ScpiParameters& p) {
            noParameters(p);
            return QString::number(m_state->errorCount());
        }));
    m_commands.append(ScpiCommand(
        QStringLiteral("SYSTem:VERSion"), true, [noParameters](int, const ScpiParameters& p) {
            noParameters(p);
            return QStringLiteral("1999.0");
        }));
}

QString ScpiInstrument::execute(const QString& line, ClientState& state)
{
    m_state = &state;
    QStringList replies;
    QStringList path;
    for (const QString& command : splitCommands(line)) {
        const QString text = command.trimmed();
        if (text.isEmpty())
            continue;
        try {
            bool isQuery = false;
            const QString reply = runCommand(text, path, &isQuery);
            if (isQuery)
                replies.append(reply);
        } catch (const ScpiError& error) {
            state.push(error);
            break;
        } catch (const std::exception& failure) {
            // Never expected (memory exhausted, say); the client hears of it, the server lives on.
            state.push(
                ScpiError(ScpiError::DeviceSpecificError, QString::fromLocal8Bit(failure.what())));
            break;
        }
    }
    m_state = nullptr;
    return replies.join(QLatin1Char(';'));
}

QString ScpiInstrument::runCommand(const QString& text, QStringList& path, bool* isQuery)
{
    int split = 0;
    while (split < text.size() && !text.at(split).isSpace())
        ++split;
    QString header = text.left(split);
    const QString parameters = text.mid(split);
    *isQuery = header.endsWith(QLatin1Char('?'));
    if (header.startsWith(QLatin1Char('*')))
        return runCommon(header.toUpper(), parameters);

    const bool absolute = header.startsWith(QLatin1Char(':'));
    if (absolute)
        header.remove(0, 1);
    if (*isQuery)
        header.chop(1);
    const QStringList mnemonics = header.split(QLatin1Char(':'));

    int channel = 1;
    const ScpiCommand* command = nullptr;
    QStringList resolved;
    if (!absolute && !path.isEmpty()) {
        resolved = path + mnemonics;
        command = find(resolved, *isQuery, &channel);
    }
    if (!command) {
        resolved = mnemonics;
        command = find(resolved, *isQuery, &channel);
    }
    if (!command)
        throw ScpiError(ScpiError::UndefinedHeader, text.left(40));
    resolved.removeLast();
    path = resolved;
    return command->run(channel, ScpiParameters(parameters));
}

const ScpiCommand* ScpiInstrument::find(
    const QStringList& mnemonics, bool query, int* channel) const
{
    for (const ScpiCommand& command : m_commands) {
        if (command.isQuery() == query && command.pattern().matches(mnemonics, channel))
            return &command;
    }
    return nullptr;
}

QString ScpiInstrument::runCommon(const QString& header, const QString& parameters)
{
    static const QStringList known = {"*IDN?", "*RST", "*CLS", "*OPC", "*OPC?", "*WAI", "*ESR?",
        "*ESE", "*ESE?", "*STB?", "*TST?"};
    if (!known.contains(header))
        throw ScpiError(ScpiError::UndefinedHeader, header.left(40));
    const ScpiParameters values(parameters);
    if (header == QLatin1String("*ESE")) {
        values.expect(1);
        m_state->setEventEnable(values.integer(0));
        return QString();
    }
    values.expect(0);
    if (header == QLatin1String("*IDN?"))
        return m_identity;
    if (header == QLatin1String("*TST?")) {
        try {
            m_selfTest();
        } catch (const ScpiError& failure) {
            m_state->push(failure);
            return QStringLiteral("1");
        }
        return QStringLiteral("0");
    }
    if (header == QLatin1String("*RST")) {
        m_reset();
        return QString();
    }
    if (header == QLatin1String("*CLS")) {
        m_state->clear();
        return QString();
    }
    if (header == QLatin1String("*OPC")) {
        m_state->setEvent(ClientState::OperationComplete);
        return QString();
    }
    // Commands run one after the other, so every operation is complete when these are read.
    if (header == QLatin1String("*OPC?"))
        return QStringLiteral("1");
    if (header == QLatin1String("*WAI"))
        return QString();
    if (header == QLatin1String("*ESR?"))
        return QString::number(m_state->takeEvents());
    if (header == QLatin1String("*ESE?"))
        return QString::number(m_state->eventEnable());
    return QString::number(m_state->statusByte()); // *STB?
}
