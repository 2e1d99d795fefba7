#pragma once

#include "FtdiD2xx.h"

#include <QByteArray>
#include <QString>
#include <QVector>

class SimEeprom;

// The EEPROM of an FTDI chip as the chip holds it: 16-bit words in FTDI's layout (configuration
// bytes, USB string descriptors, user area, checksum), read and written word by word over USB.
// It converts between that image and the fields of FT_PROGRAM_DATA / FT_EEPROM_X_SERIES, so that
// the USB-level bench presents the D2XX bench's EEPROM contents to FTDI's own library and keeps
// what that library programs.
class FtdiEepromImage
{
public:
    struct Texts
    {
        QString manufacturer;
        QString manufacturerId;
        QString description;
        QString serial;
    };

    // Everything an image holds. Only the FT_PROGRAM_DATA groups of the chip (and the header),
    // or for FT-X only the FT_EEPROM_X_SERIES record, carry meaning.
    struct Fields
    {
        FT_PROGRAM_DATA data{};
        FT_EEPROM_X_SERIES x{};
        Texts texts;
        QByteArray userArea;
    };

    // An erased EEPROM of the chip type.
    explicit FtdiEepromImage(uint32_t chipType);

    static FtdiEepromImage encode(uint32_t chipType, const Fields& fields);
    // False for an erased image or one whose checksum does not match.
    bool decode(Fields* fields) const;

    // The fields the D2XX bench's EEPROM holds; false when it is not programmed.
    static bool fieldsOf(const SimEeprom& eeprom, uint32_t chipType, Fields* fields);
    static Texts textsOf(const SimEeprom& eeprom);

    uint32_t chipType() const { return m_chipType; }
    // Word addresses the chip answers; higher addresses wrap.
    int wordCount() const { return m_words.size(); }
    uint16_t word(int address) const { return m_words.at(address % m_words.size()); }
    void setWord(int address, uint16_t value) { m_words[address % m_words.size()] = value; }
    void erase();
    bool isErased() const;
    bool checksumMatches() const;
    const QVector<uint16_t>& words() const { return m_words; }

    // Bytes of the user area for these texts: the free space around the strings that FTDI's
    // library offers through FT_EE_UARead and FT_EE_UAWrite.
    static int userAreaBytes(uint32_t chipType, const Texts& texts);

private:
    struct Layout;
    static const Layout& layoutFor(uint32_t chipType);

    // Byte addresses of the user area, in order.
    static QVector<int> userAreaAddresses(uint32_t chipType, const Texts& texts);
    uint8_t byte(int address) const;
    void setByte(int address, uint8_t value);
    uint16_t checksum() const;

    uint32_t m_chipType;
    QVector<uint16_t> m_words;
};
