#ifndef KAVRAD_SCPIINSTRUMENT_H
#define KAVRAD_SCPIINSTRUMENT_H

#include "ClientState.h"
#include "ScpiCommand.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

// The SCPI side of an instrument: splits a line into its commands, resolves their headers
// (short or long form, any case, relative to the previous command's path as IEEE 488.2
// compounds them, else from the root), answers the common commands and the error queue, and
// runs the instrument's own commands from its table.
class ScpiInstrument
{
public:
    // selfTest: *TST?'s answer, 0 when the instrument passes; it may throw the ScpiError that
    // explains a failure, which is queued while *TST? answers 1.
    ScpiInstrument(const QString& identity, std::function<void()> reset,
        std::function<void()> selfTest, QVector<ScpiCommand> commands);
    // Its own commands refer to it.
    ScpiInstrument(const ScpiInstrument&) = delete;
    ScpiInstrument& operator=(const ScpiInstrument&) = delete;

    // Carries out one line for a client and returns its reply: the replies of its queries,
    // joined with ';', or nothing when it holds no query. A command that fails queues its error
    // and ends the line: the commands after it are not carried out.
    QString execute(const QString& line, ClientState& state);

private:
    QString runCommand(const QString& text, QStringList& path, bool* isQuery);
    QString runCommon(const QString& header, const QString& parameters);
    const ScpiCommand* find(const QStringList& mnemonics, bool query, int* channel) const;

    QString m_identity;
    std::function<void()> m_reset;
    std::function<void()> m_selfTest;
    QVector<ScpiCommand> m_commands;
    // The client whose line is being carried out; set for the duration of execute().
    ClientState* m_state = nullptr;
};

#endif
