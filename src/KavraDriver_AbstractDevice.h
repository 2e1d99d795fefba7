#pragma once

#include <cstdint>

// The one type through which the exported functions drive a unit. Every operation defaults to
// status 10 (not supported by the family) with no effect; each family overrides what it supports.
// Operations run one at a time under the session lock and take no lock themselves.
class KavraDriver_AbstractDevice
{
public:
    // Status of an operation the unit's family lacks.
    static constexpr int NotSupported = 10;

    KavraDriver_AbstractDevice();
    virtual ~KavraDriver_AbstractDevice();

    KavraDriver_AbstractDevice(const KavraDriver_AbstractDevice&) = delete;
    KavraDriver_AbstractDevice& operator=(const KavraDriver_AbstractDevice&) = delete;

    virtual int setPWMFunction(uint32_t channel, int function);
    virtual int setPWM(int channel, int duty);
    virtual int setPWMFrequency(int frequency);
    virtual int setVoltage(int channel, double voltage, double current);
    virtual int setAccurateVoltage(int channel, double voltage, double current);
    virtual int setVoltageWaveform(int channel, uint32_t waveform, double level1, double level2,
                                   double period);
    virtual int setPolarity(int channel, int polarity);
    virtual int turnVoltageOn(int channel);
    virtual int turnVoltageOff(int channel);
    virtual int enableInternalVoltageBus(int value);
    virtual int disableInternalVoltageBus();
    virtual int getSupplyStatus(bool* flag, char* text);
    virtual int getChannelStatus(int channel, bool* first, bool* second);
    virtual int getChannelCurrent(int channel, double* current);
    virtual int clearError();
    virtual int getADCValue(double* value);
    // Loads the unit's calibration and state right after it was identified.
    virtual int initialiseDevice();

    // Closes the unit's USB connection; does nothing when none is open. Always 0.
    int close();
};
