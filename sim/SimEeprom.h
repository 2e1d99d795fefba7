#pragma once

#include "FtdiD2xx.h"

#include <QJsonObject>
#include <QString>

#include <cstddef>

// The EEPROM of one emulated chip: the option fields of both EEPROM record kinds and the four
// texts. It does not lock: the bench serialises every call.
class SimEeprom
{
public:
    SimEeprom(uint32_t chipType, uint16_t productId, bool programmed, const QString& serial,
        const QString& description);

    bool isProgrammed() const { return m_programmed; }
    QString serialNumber() const { return m_serial; }
    QString description() const { return m_description; }

    // Fills the caller's record; the texts go to the caller's buffers where the pointers are set.
    FT_STATUS read(FT_PROGRAM_DATA* data) const;
    // Stores the caller's record; null programs the defaults.
    FT_STATUS program(const FT_PROGRAM_DATA* data, bool multiChannel);

    FT_STATUS readX(FT_EEPROM_X_SERIES* data, char* manufacturer, char* manufacturerId,
        char* description, char* serial) const;
    FT_STATUS programX(const FT_EEPROM_X_SERIES* data, const char* manufacturer,
        const char* manufacturerId, const char* description, const char* serial);

    QJsonObject toJson() const;

    // How many leading bytes of FT_PROGRAM_DATA a caller's structure of this Version holds: the
    // header and the field groups up to its version's chip (0 FT232B, 1 FT2232, 2 FT232R,
    // 3 FT2232H, 4 FT4232H, 5 FT232H). A caller may size its structure by its Version, so nothing
    // beyond these bytes is read or written. Versions above 5 hold at least every field we know.
    static std::size_t programDataBytes(DWORD version);

private:
    // Longest text read from a caller's buffer; the D2XX interface passes no sizes.
    static constexpr int kMaxInputText = 96;

    static QString inputText(const char* text);
    static void copyOut(char* buffer, const QString& text, std::size_t bufferSize);
    FT_STATUS storeTexts(const char* manufacturer, const char* manufacturerId,
        const char* description, const char* serial, int maxSerial);
    QString generatedSerial() const;

    uint32_t m_chipType;
    bool m_programmed;
    QString m_manufacturer;
    QString m_manufacturerId;
    QString m_description;
    QString m_serial;
    FT_PROGRAM_DATA m_data;
    FT_EEPROM_X_SERIES m_xData;
};
