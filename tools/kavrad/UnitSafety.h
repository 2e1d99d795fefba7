#ifndef KAVRAD_UNITSAFETY_H
#define KAVRAD_UNITSAFETY_H

// The safety settings of one unit from kavrad's command line; all of them off unless given.
struct UnitSafety
{
    // Ramp rate of every output's voltage settings in volts per second; 0: set at once.
    double slew = 0.0;
    // The highest voltage any setting may ask for; below 0: the family's own limit only.
    double limit = -1.0;
    // Seconds without a client command after which outputs that are on are switched off; 0: never.
    double watchdogSeconds = 0.0;
};

#endif
