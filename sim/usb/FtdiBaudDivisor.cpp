#include "FtdiBaudDivisor.h"

uint32_t FtdiBaudDivisor::baudRate(bool highSpeedChip, uint16_t value, uint16_t index)
{
    // The three fraction bits: value bits 14-15, then index bit 0 (bit 8 on the high-speed
    // chips, whose low index byte names the port). Code to eighths: 0, 1/2, 1/4, 1/8, 3/8, 5/8,
    // 3/4, 7/8.
    static const uint32_t kEighths[8] = {0, 4, 2, 1, 3, 5, 6, 7};
    const uint32_t highBit = highSpeedChip ? (index >> 8) & 1 : index & 1;
    const uint32_t code = (value >> 14) | (highBit << 2);
    const uint32_t base = highSpeedChip && (index & 0x0200) ? 12000000 : 3000000;
    const uint32_t eighths = (value & 0x3FFF) * 8 + kEighths[code];
    // Divisors 0 and 1 are special: the base rate and two thirds of it.
    if (eighths == 0)
        return base;
    if (eighths == 8)
        return base * 2 / 3;
    return uint32_t((uint64_t(base) * 8 + eighths / 2) / eighths);
}
