#include "SimEeprom.h"

#include <QJsonArray>

#include <algorithm>
#include <cstring>
#include <iterator>

std::size_t SimEeprom::programDataBytes(DWORD version)
{
    return ftProgramDataBytes(version);
}

SimEeprom::SimEeprom(uint32_t chipType, uint16_t productId, bool programmed, const QString& serial,
    const QString& description)
    : m_chipType(chipType)
    , m_programmed(programmed)
    , m_manufacturer(QStringLiteral("FTDI"))
    , m_manufacturerId(QStringLiteral("FT"))
    , m_description(description)
    , m_serial(serial)
    , m_data()
    , m_xData()
{
    m_data.Signature1 = FT_PROGRAM_DATA_SIGNATURE1;
    m_data.Signature2 = FT_PROGRAM_DATA_SIGNATURE2;
    m_data.Version = FT_PROGRAM_DATA_VERSION;
    m_data.VendorId = FTDI_VID;
    m_data.ProductId = productId;
    m_data.MaxPower = 90;
    m_data.PnP = 1;
    m_data.SerNumEnable = 1;
    m_data.SerNumEnableR = 1;
    m_data.SerNumEnable7 = 1;
    m_data.SerNumEnable8 = 1;
    m_data.SerNumEnableH = 1;

    m_xData.common.deviceType = FT_DEVICE_X_SERIES;
    m_xData.common.VendorId = FTDI_VID;
    m_xData.common.ProductId = productId;
    m_xData.common.SerNumEnable = 1;
    m_xData.common.MaxPower = 90;
}

QString SimEeprom::inputText(const char* text)
{
    if (!text)
        return QString();
    const void* end = std::memchr(text, 0, kMaxInputText + 1);
    const int length = end ? int(static_cast<const char*>(end) - text) : kMaxInputText + 1;
    return QString::fromLatin1(text, length);
}

void SimEeprom::copyOut(char* buffer, const QString& text, std::size_t bufferSize)
{
    if (!buffer || bufferSize == 0)
        return;
    const QByteArray bytes = text.toLatin1().left(int(bufferSize - 1));
    std::memcpy(buffer, bytes.constData(), std::size_t(bytes.size()));
    buffer[bytes.size()] = '\0';
}

QString SimEeprom::generatedSerial() const
{
    // Unique enough for one process: the vendor library derives one from the chip when none is given.
    return QStringLiteral("FT%1")
        .arg(quint32(reinterpret_cast<quintptr>(this) & 0xFFFFFF), 6, 16, QLatin1Char('0'))
        .toUpper();
}

FT_STATUS SimEeprom::storeTexts(const char* manufacturer, const char* manufacturerId,
    const char* description, const char* serial, int maxSerial)
{
    const QString newManufacturer = manufacturer ? inputText(manufacturer) : m_manufacturer;
    const QString newManufacturerId = manufacturerId ? inputText(manufacturerId) : m_manufacturerId;
    const QString newDescription = description ? inputText(description) : m_description;
    QString newSerial = inputText(serial);
    // The string descriptors share a small area: the chip's documented limits.
    if (newManufacturer.size() + newDescription.size() > 40 || newSerial.size() > maxSerial
        || newManufacturerId.size() > 15)
        return FT_INVALID_PARAMETER;
    if (newSerial.isEmpty())
        newSerial = generatedSerial();
    m_manufacturer = newManufacturer;
    m_manufacturerId = newManufacturerId;
    m_description = newDescription;
    m_serial = newSerial;
    m_programmed = true;
    return FT_OK;
}

FT_STATUS SimEeprom::read(FT_PROGRAM_DATA* data) const
{
    if (!data)
        return FT_INVALID_PARAMETER;
    if (data->Signature1 != FT_PROGRAM_DATA_SIGNATURE1
        || data->Signature2 != FT_PROGRAM_DATA_SIGNATURE2)
        return FT_INVALID_PARAMETER;
    if (!m_programmed)
        return FT_EEPROM_NOT_PROGRAMMED;
    FT_PROGRAM_DATA out = m_data;
    out.Signature1 = data->Signature1;
    out.Signature2 = data->Signature2;
    out.Version = data->Version;
    out.Manufacturer = data->Manufacturer;
    out.ManufacturerId = data->ManufacturerId;
    out.Description = data->Description;
    out.SerialNumber = data->SerialNumber;
    std::memcpy(data, &out, programDataBytes(out.Version));
    copyOut(data->Manufacturer, m_manufacturer, FT_MANUFACTURER_BUFFER_SIZE);
    copyOut(data->ManufacturerId, m_manufacturerId, FT_MANUFACTURER_ID_BUFFER_SIZE);
    copyOut(data->Description, m_description, FT_DESCRIPTION_BUFFER_SIZE);
    copyOut(data->SerialNumber, m_serial, FT_SERIAL_BUFFER_SIZE);
    return FT_OK;
}

FT_STATUS SimEeprom::program(const FT_PROGRAM_DATA* data, bool multiChannel)
{
    const int maxSerial = multiChannel ? 14 : 15;
    if (!data) {
        const uint16_t productId = m_data.ProductId;
        *this = SimEeprom(m_chipType, productId, true, QString(), QStringLiteral("USB <-> Serial"));
        return storeTexts(nullptr, nullptr, nullptr, nullptr, maxSerial);
    }
    if (data->Signature1 != FT_PROGRAM_DATA_SIGNATURE1
        || data->Signature2 != FT_PROGRAM_DATA_SIGNATURE2)
        return FT_INVALID_PARAMETER;
    const FT_STATUS status = storeTexts(
        data->Manufacturer, data->ManufacturerId, data->Description, data->SerialNumber, maxSerial);
    if (status != FT_OK)
        return status;
    std::memcpy(&m_data, data, programDataBytes(data->Version));
    // Never keep the caller's pointers: they die with the call.
    m_data.Manufacturer = nullptr;
    m_data.ManufacturerId = nullptr;
    m_data.Description = nullptr;
    m_data.SerialNumber = nullptr;
    return FT_OK;
}

FT_STATUS SimEeprom::readX(FT_EEPROM_X_SERIES* data, char* manufacturer, char* manufacturerId,
    char* description, char* serial) const
{
    if (!data)
        return FT_INVALID_PARAMETER;
    if (data->common.deviceType != FT_DEVICE_X_SERIES)
        return FT_INVALID_PARAMETER;
    if (!m_programmed)
        return FT_EEPROM_NOT_PROGRAMMED;
    *data = m_xData;
    copyOut(manufacturer, m_manufacturer, FT_MANUFACTURER_BUFFER_SIZE);
    copyOut(manufacturerId, m_manufacturerId, FT_MANUFACTURER_ID_BUFFER_SIZE);
    copyOut(description, m_description, FT_DESCRIPTION_BUFFER_SIZE);
    copyOut(serial, m_serial, FT_SERIAL_BUFFER_SIZE);
    return FT_OK;
}

FT_STATUS SimEeprom::programX(const FT_EEPROM_X_SERIES* data, const char* manufacturer,
    const char* manufacturerId, const char* description, const char* serial)
{
    if (!data || data->common.deviceType != FT_DEVICE_X_SERIES)
        return FT_INVALID_PARAMETER;
    const FT_STATUS status = storeTexts(manufacturer, manufacturerId, description, serial, 15);
    if (status != FT_OK)
        return status;
    m_xData = *data;
    return FT_OK;
}

QJsonObject SimEeprom::toJson() const
{
    QJsonObject json{
        {QStringLiteral("programmed"), m_programmed},
        {QStringLiteral("manufacturer"), m_manufacturer},
        {QStringLiteral("manufacturerId"), m_manufacturerId},
        {QStringLiteral("description"), m_description},
        {QStringLiteral("serial"), m_serial},
    };
    if (m_chipType == FT_DEVICE_X_SERIES) {
        const FT_EEPROM_X_SERIES& x = m_xData;
        json.insert(QStringLiteral("vendorId"), int(x.common.VendorId));
        json.insert(QStringLiteral("productId"), int(x.common.ProductId));
        json.insert(QStringLiteral("maxPower"), int(x.common.MaxPower));
        json.insert(QStringLiteral("selfPowered"), int(x.common.SelfPowered));
        json.insert(QStringLiteral("serNumEnable"), int(x.common.SerNumEnable));
        json.insert(QStringLiteral("pullDownEnable"), int(x.common.PullDownEnable));
        json.insert(QStringLiteral("cbus"),
            QJsonArray{x.Cbus0, x.Cbus1, x.Cbus2, x.Cbus3, x.Cbus4, x.Cbus5, x.Cbus6});
        json.insert(QStringLiteral("bcdEnable"), int(x.BCDEnable));
        json.insert(QStringLiteral("bcdForceCbusPWREN"), int(x.BCDForceCbusPWREN));
        json.insert(QStringLiteral("bcdDisableSleep"), int(x.BCDDisableSleep));
        json.insert(QStringLiteral("driverType"), int(x.DriverType));
    } else {
        const FT_PROGRAM_DATA& d = m_data;
        json.insert(QStringLiteral("vendorId"), int(d.VendorId));
        json.insert(QStringLiteral("productId"), int(d.ProductId));
        json.insert(QStringLiteral("maxPower"), int(d.MaxPower));
        json.insert(QStringLiteral("selfPowered"), int(d.SelfPowered));
        json.insert(QStringLiteral("usbVersionEnable"), int(d.USBVersionEnable));
        json.insert(QStringLiteral("usbVersion"), int(d.USBVersion));
        json.insert(QStringLiteral("pullDownEnableR"), int(d.PullDownEnableR));
        json.insert(QStringLiteral("serNumEnableR"), int(d.SerNumEnableR));
        json.insert(QStringLiteral("rIsD2XX"), int(d.RIsD2XX));
        json.insert(QStringLiteral("cbus0"), int(d.Cbus0));
        json.insert(QStringLiteral("pullDownEnable7"), int(d.PullDownEnable7));
        json.insert(QStringLiteral("serNumEnable7"), int(d.SerNumEnable7));
        json.insert(QStringLiteral("ifaIsFifo7"), int(d.IFAIsFifo7));
        json.insert(QStringLiteral("pullDownEnableH"), int(d.PullDownEnableH));
        json.insert(QStringLiteral("serNumEnableH"), int(d.SerNumEnableH));
        json.insert(QStringLiteral("cbus8H"), int(d.Cbus8H));
        json.insert(QStringLiteral("cbus9H"), int(d.Cbus9H));
        json.insert(QStringLiteral("isFifoH"), int(d.IsFifoH));
    }
    return json;
}
