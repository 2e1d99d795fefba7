#ifndef KAVRACTL_UNITCOMMANDS_H
#define KAVRACTL_UNITCOMMANDS_H

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

class CommandLine;
class Output;
class UnitIdentity;

// The commands that run once: list, status and one per unit operation.
class UnitCommands
{
public:
    UnitCommands(const CommandLine& commandLine, const Output& output);

    // Runs the command if it is one of these; returns false when it is not.
    // Throws ToolError on failure.
    bool run(const QString& command);

private:
    void list();
    void status();
    void setVoltage();
    void setAccurateVoltage();
    void waveform();
    void pwm();
    void pwmFrequency();
    void pwmFunction();
    void polarity();
    void switchOutput(bool on);
    // Every output of every unit off; every unit is tried.
    void offAll();
    void bus();
    void current();
    void adc();
    void clearError();

    // The units found, as a table and a document; with the D2XX library's state when none is.
    void reportUnits(const QJsonArray& units, const QString& table) const;
    UnitIdentity unit() const;
    void check(int status, const UnitIdentity& unit) const;
    void report(const UnitIdentity& unit, QJsonObject fields, const QString& text) const;

    const CommandLine& m_commandLine;
    const Output& m_output;
};

#endif
