#include "USBResult.h"

#include "FtdiD2xx.h"

USBResult::USBResult() : m_type(Success), m_category(D2xxCategory), m_code(0) { }

USBResult::USBResult(int type, int category, int code, const QString& message)
    : m_type(type), m_category(category), m_code(code), m_message(message)
{ }

USBResult::USBResult(uint32_t d2xxStatus)
    : m_type(d2xxStatus != 0 ? Error : Success)
    , m_category(D2xxCategory)
    , m_code(static_cast<int>(d2xxStatus))
    , m_message(d2xxMessage(d2xxStatus))
{ }

bool USBResult::isConnectionLost() const
{
    return m_type == Error && m_category == D2xxCategory
        && (m_code == FT_INVALID_HANDLE || m_code == FT_DEVICE_NOT_FOUND || m_code == FT_IO_ERROR);
}

USBResult USBResult::noOutcome()
{
    return USBResult(NoOutcome, D2xxCategory, 0, QString());
}

USBResult USBResult::failure(const QString& message)
{
    return USBResult(Error, LibraryCategory, 0, message);
}

QString USBResult::d2xxMessage(uint32_t status)
{
    static const char* const texts[] = {
        "Valid", // FT_OK
        "Invalid handle", // FT_INVALID_HANDLE
        "Device not found", // FT_DEVICE_NOT_FOUND
        "Device not opened", // FT_DEVICE_NOT_OPENED
        "Communication error", // FT_IO_ERROR
        "Insufficient resources", // FT_INSUFFICIENT_RESOURCES
        "Invalid parameter", // FT_INVALID_PARAMETER
        "Invalid BAUD rate", // FT_INVALID_BAUD_RATE
        "Unable to erase", // FT_DEVICE_NOT_OPENED_FOR_ERASE
        "Unable to write", // FT_DEVICE_NOT_OPENED_FOR_WRITE
        "Unable to write", // FT_FAILED_TO_WRITE_DEVICE
        "Unable to read EEPROM", // FT_EEPROM_READ_FAILED
        "Unable to write EEPROM", // FT_EEPROM_WRITE_FAILED
        "Unable to erase EEPROM", // FT_EEPROM_ERASE_FAILED
        "EEPROM not present", // FT_EEPROM_NOT_PRESENT
        "EEPROM not programmed", // FT_EEPROM_NOT_PROGRAMMED
        "Invalid arguments", // FT_INVALID_ARGS
        "Unsupported devices", // FT_NOT_SUPPORTED
    };
    if (status < sizeof(texts) / sizeof(texts[0]))
        return QString::fromLatin1(texts[status]);
    return QStringLiteral("Unknown error");
}

QString USBResult::text() const
{
    return isSuccess() ? QStringLiteral("Success") : m_message;
}
