#ifndef KAVRAD_UNITPROFILE_H
#define KAVRAD_UNITPROFILE_H

#include "UnitIdentity.h"

#include <KavraLib.h>

#include <QString>

// What the server must know of a unit's family before it calls the library: which operations
// the family has (so that a missing one is reported without touching the unit) and how many
// outputs a header suffix may name; how many PWM channels; and the largest current limit, which
// the server checks itself because it holds the limit until the next voltage setting. All of them
// come from the library's table, as does the highest voltage (the bounds of VOLT MAX). The ranges that the library checks itself are left to it.
class UnitProfile
{
public:
    // The library's bits for the unit functions behind the commands.
    enum class Operation : unsigned {
        SetVoltage = KAVRA_OPERATION_SET_VOLTAGE,
        SetAccurateVoltage = KAVRA_OPERATION_SET_ACCURATE_VOLTAGE,
        SetVoltageWaveform = KAVRA_OPERATION_SET_VOLTAGE_WAVEFORM,
        SetPwm = KAVRA_OPERATION_SET_PWM,
        SetPwmFrequency = KAVRA_OPERATION_SET_PWM_FREQUENCY,
        SetPwmFunction = KAVRA_OPERATION_SET_PWM_FUNCTION,
        SetPolarity = KAVRA_OPERATION_SET_POLARITY,
        TurnOn = KAVRA_OPERATION_TURN_VOLTAGE_ON,
        TurnOff = KAVRA_OPERATION_TURN_VOLTAGE_OFF,
        VoltageBus = KAVRA_OPERATION_ENABLE_INTERNAL_VOLTAGE_BUS,
        SupplyStatus = KAVRA_OPERATION_GET_SUPPLY_STATUS,
        ChannelStatus = KAVRA_OPERATION_GET_CHANNEL_STATUS,
        ChannelCurrent = KAVRA_OPERATION_GET_CHANNEL_CURRENT,
        ClearError = KAVRA_OPERATION_CLEAR_ERROR,
        AdcValue = KAVRA_OPERATION_GET_ADC_VALUE,
    };

    explicit UnitProfile(const UnitIdentity& identity);

    const UnitIdentity& identity() const { return m_identity; }
    bool supports(Operation operation) const
    {
        return m_identity.supports(static_cast<unsigned>(operation));
    }
    int outputs() const { return m_identity.channelCount(); }
    int pwmChannels() const { return m_identity.pwmChannelCount(); }
    // In the library's unit, microamps; 0 for a family without a current limit.
    double largestCurrent() const { return m_identity.highestCurrent(); }
    // The highest voltage of the unit's voltage setting (Cedar: at its highest bus level); 0 for
    // a family without one.
    double highestVoltage() const { return m_highestVoltage; }
    // "Generic 19/1"; only the model for a unit without a family.
    QString modelName() const;

private:
    UnitIdentity m_identity;
    double m_highestVoltage = 0.0;
};

#endif
