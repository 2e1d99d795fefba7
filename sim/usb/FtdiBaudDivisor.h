#pragma once

#include <cstdint>

// The baud rate an FTDI chip runs at for the divisor that SIO_SET_BAUD_RATE carries in its
// value and index fields (FTDI application note AN232B-05 and AN_120): a 14-bit integer part and
// an eighths fraction coded in three bits, of a 3 MHz base clock, or on the high-speed chips
// optionally of 12 MHz.
class FtdiBaudDivisor
{
public:
    static uint32_t baudRate(bool highSpeedChip, uint16_t value, uint16_t index);
};
