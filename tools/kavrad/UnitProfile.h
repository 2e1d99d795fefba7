#ifndef KAVRAD_UNITPROFILE_H
#define KAVRAD_UNITPROFILE_H

#include "UnitIdentity.h"

#include <QString>

// What the server must know of a unit's family before it calls the library: which operations
// the family has (so that a missing one is reported without touching the unit), how many
// outputs and PWM channels a header suffix may name, and the largest current limit, which the
// server holds until the next voltage setting. The ranges that the library checks itself are
// left to it.
class UnitProfile
{
public:
    enum class Operation {
        SetVoltage,
        SetAccurateVoltage,
        SetVoltageWaveform,
        SetPwm,
        SetPwmFrequency,
        SetPwmFunction,
        SetPolarity,
        TurnOn,
        TurnOff,
        VoltageBus,
        SupplyStatus,
        ChannelStatus,
        ChannelCurrent,
        ClearError,
        AdcValue,
    };

    explicit UnitProfile(const UnitIdentity& identity);

    const UnitIdentity& identity() const { return m_identity; }
    bool supports(Operation operation) const;
    int outputs() const { return m_identity.channelCount(); }
    int pwmChannels() const;
    // In the library's unit, microamps; 0 for a family without a current limit.
    double largestCurrent() const;
    // "Generic 19/1"; only the model for a unit without a family.
    QString modelName() const;

private:
    UnitIdentity m_identity;
};

#endif
