#pragma once

#include "FtdiD2xx.h"

#include <ftdi.h>

// The chip's EEPROM in the two D2XX records, through libftdi's reading, decoding and building of
// the EEPROM image. The caller holds the channel's request lock.
class FtdiEeprom
{
public:
    struct Texts
    {
        char* manufacturer;
        char* manufacturerId;
        char* description;
        char* serial;
    };

    // FT_EE_Read: the groups of the caller's Version only.
    static FT_STATUS read(ftdi_context* ftdi, FT_DEVICE type, FT_PROGRAM_DATA* data);
    // FT_EE_Program: the chip's own group of the record, with its texts.
    static FT_STATUS program(ftdi_context* ftdi, FT_DEVICE type, const FT_PROGRAM_DATA* data);
    // FT_EEPROM_Read and FT_EEPROM_Program for FT-X chips.
    static FT_STATUS readX(ftdi_context* ftdi, FT_EEPROM_X_SERIES* data, const Texts& texts);
    static FT_STATUS programX(
        ftdi_context* ftdi, const FT_EEPROM_X_SERIES* data, const Texts& texts);

private:
    static FT_STATUS load(ftdi_context* ftdi);
    static FT_STATUS store(ftdi_context* ftdi, const Texts& texts, bool xSeries, int xOptions);
    static void copyTexts(ftdi_context* ftdi, const Texts& texts);
};
