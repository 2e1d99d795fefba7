#ifndef KAVRAD_SUPPLYCOMMANDS_H
#define KAVRAD_SUPPLYCOMMANDS_H

#include "OutputRamps.h"
#include "ScpiCommand.h"
#include "UnitProfile.h"
#include "UnitSafety.h"

#include <QHash>
#include <QString>
#include <QVector>

#include <functional>

// The SCPI commands of one unit, carried out through the exported functions of KavraLib.
// The library cannot read settings back, so the queries of settings answer what was last set
// through this server (SCPI's not-a-number, 9.91E+37, until then); the current limit is the
// server's own and goes with each voltage setting. It also keeps the unit's safety: voltage
// ramps, software limits, the outputs it has switched on (for the watchdog) and all-off. Runs on
// the unit's worker thread only.
class SupplyCommands
{
public:
    // switchOthersOff: asks every other unit to switch its outputs off (OUTPut:ALL OFF).
    SupplyCommands(const UnitProfile& profile, const QString& libraryVersion,
        const UnitSafety& safety, std::function<void()> switchOthersOff);
    // Its commands refer to it.
    SupplyCommands(const SupplyCommands&) = delete;
    SupplyCommands& operator=(const SupplyCommands&) = delete;

    // *IDN?: maker, model, serial number, library version.
    QString identity() const;
    QVector<ScpiCommand> commands();
    // *RST: every output of the unit off.
    void reset();
    // *TST?: reads the unit's status; throws the error when the unit does not answer.
    void selfTest();

    bool ramping() const { return m_ramps.anyRunning(); }
    // One step of every ramp under way; a failed step ends its ramp, and is logged.
    void stepRamps();
    // No client command for the watchdog's time: the outputs switched on are ramped down (at
    // their rate, or at once) and switched off, and it is logged.
    void watchdogExpired();
    // Every output off, whatever fails (logged with the reason).
    void switchAllOff(const QString& reason);

private:
    using Operation = UnitProfile::Operation;
    using Unit = ScpiParameters::Unit;

    QVector<ScpiCommand> outputCommands();
    QVector<ScpiCommand> familyCommands();
    QVector<ScpiCommand> readingCommands();
    QVector<ScpiCommand> safetyCommands();

    void require(Operation operation) const;
    void requireOutput(int channel) const;
    void requirePwmChannel(int channel) const;
    void requireCurrentLimit(int channel) const;
    void setCurrentLimit(int channel, double amps);
    void switchBus(bool on, int level);
    // Every output off; the first failure's status.
    int switchOff();
    // Sends a ramp's next step and keeps its state; the library's status.
    int sendStep(int channel);
    ScpiParameters::Bounds voltageBounds(int channel) const;
    ScpiParameters::Bounds currentBounds() const;
    // "Data out of range" for a voltage above the output's software limit.
    void requireWithinLimit(int channel, double volts) const;
    void log(const QString& message) const;

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
    OutputRamps m_ramps;
    // By output: the software limit, and whether this server switched it on.
    QVector<double> m_limits;
    QVector<bool> m_on;
    // The limit the server was started with: VOLTage:LIMit may lower it, never raise it.
    double m_ceiling;
    double m_watchdogSeconds;
    int m_watchdogTrips = 0;
    std::function<void()> m_switchOthersOff;
};

#endif
