#pragma once

#include <QJsonObject>

// One high-voltage output with its load: a set voltage and current limit, on or off, and what
// the output then delivers into a resistive or constant-current load or a short circuit.
// Voltages are in volts (signed: a negative setting is the reversed polarity), currents in the
// unit's current unit, microamps.
class SupplyOutput
{
public:
    // Reads "loadOhms", "loadCurrent" and "shortCircuit" from a unit's bench entry.
    explicit SupplyOutput(const QJsonObject& config);

    void setVoltage(double volts) { m_setVoltage = volts; }
    void setCurrentLimit(double current) { m_currentLimit = current < 0 ? -current : current; }
    void switchOn();
    // Switching off also clears a latched error, as the host's clear-error does.
    void switchOff();

    bool isOn() const { return m_on; }
    double setVoltage() const { return m_setVoltage; }
    double currentLimit() const { return m_currentLimit; }
    double voltage() const;
    double current() const;
    bool currentLimited() const;
    int errorCode() const { return m_error; }

    QJsonObject toJson() const;

private:
    double unlimitedCurrent() const;

    double m_loadOhms = 0;
    double m_loadCurrent = 0;
    bool m_shortCircuit = false;
    bool m_on = false;
    double m_setVoltage = 0;
    double m_currentLimit = 0;
    int m_error = 0;
};
