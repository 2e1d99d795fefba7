#ifndef KAVRAD_SUPPLYCOMMANDS_H
#define KAVRAD_SUPPLYCOMMANDS_H

#include "ScpiCommand.h"
#include "UnitProfile.h"

#include <QHash>
#include <QString>
#include <QVector>

// The SCPI commands of one unit, carried out through the exported functions of KavraLib.
// The library cannot read settings back, so the queries of settings answer what was last set
// through this server (SCPI's not-a-number, 9.91E+37, until then); the current limit is the
// server's own and goes with each voltage setting. Runs on the unit's worker thread only.
class SupplyCommands
{
public:
    SupplyCommands(const UnitProfile& profile, const QString& libraryVersion);
    // Its commands refer to it.
    SupplyCommands(const SupplyCommands&) = delete;
    SupplyCommands& operator=(const SupplyCommands&) = delete;

    // *IDN?: maker, model, serial number, library version.
    QString identity() const;
    QVector<ScpiCommand> commands();
    // *RST: every output of the unit off.
    void reset();

private:
    using Operation = UnitProfile::Operation;
    using Unit = ScpiParameters::Unit;

    QVector<ScpiCommand> outputCommands();
    QVector<ScpiCommand> familyCommands();
    QVector<ScpiCommand> readingCommands();

    void require(Operation operation) const;
    void requireOutput(int channel) const;
    void requirePwmChannel(int channel) const;
    void requireCurrentLimit(int channel) const;
    void setCurrentLimit(int channel, double amps);
    void switchBus(bool on, int level);

    // Which channel numbers a header's suffix names: outputs, PWM channels, or none (the unit).
    enum class Scope { Output, PwmChannel, Unit };
    // The query form of a setting: what was last set through this server, in `values` values.
    ScpiCommand settingQuery(const QString& header, Operation operation, Scope scope,
        const QString& setting, int values = 1);
    QString recalled(const QString& setting, int channel, int values = 1) const;
    void remember(const QString& setting, int channel, const QString& value);
    void forget(const QString& setting, int channel);

    UnitProfile m_profile;
    int m_index;
    QString m_libraryVersion;
    // Microamps, by output; the family's largest until set.
    QVector<double> m_currentLimits;
    // The settings made through this server, by setting and channel.
    QHash<QString, QString> m_settings;
};

#endif
