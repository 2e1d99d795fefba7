#include "D2xxFunctions.h"

#include "SharedLibrary.h"

#include <cstdlib>

void* D2xxFunctions::load()
{
    return SharedLibrary::open(std::getenv("KAVRA_D2XX_LIBRARY"));
}

D2xxFunctions::Symbol D2xxFunctions::fn(const char* name) const
{
    return {SharedLibrary::symbol(m_library, name)};
}

const D2xxFunctions& D2xxFunctions::instance()
{
    static const D2xxFunctions functions;
    return functions;
}

QVector<FT_DEVICE_LIST_INFO_NODE> deviceList()
{
    const D2xxFunctions& d2xx = D2xxFunctions::instance();
    DWORD count = 0;
    if (d2xx.createDeviceInfoList(&count) != FT_OK || count == 0)
        return {};
    QVector<FT_DEVICE_LIST_INFO_NODE> nodes(static_cast<int>(count));
    if (d2xx.getDeviceInfoList(nodes.data(), &count) != FT_OK)
        return {};
    nodes.resize(int(count));
    return nodes;
}

int indexOf(const QString& listedSerial)
{
    const QVector<FT_DEVICE_LIST_INFO_NODE> nodes = deviceList();
    for (int i = 0; i < nodes.size(); ++i) {
        if (QString::fromLatin1(nodes.at(i).SerialNumber) == listedSerial)
            return i;
    }
    return -1;
}

FT_HANDLE openListed(const QString& listedSerial)
{
    const int index = indexOf(listedSerial);
    FT_HANDLE handle = nullptr;
    if (index < 0 || D2xxFunctions::instance().open(index, &handle) != FT_OK)
        return nullptr;
    return handle;
}

FT_STATUS writeBytes(FT_HANDLE handle, const QByteArray& bytes)
{
    QByteArray copy = bytes;
    DWORD written = 0;
    const FT_STATUS status
        = D2xxFunctions::instance().write(handle, copy.data(), DWORD(copy.size()), &written);
    return status == FT_OK && written != DWORD(bytes.size()) ? FT_OTHER_ERROR : status;
}

QByteArray readBytes(FT_HANDLE handle, int count)
{
    QByteArray buffer(count, '\0');
    DWORD got = 0;
    if (D2xxFunctions::instance().read(handle, buffer.data(), DWORD(count), &got) != FT_OK)
        return QByteArray();
    return buffer.left(int(got));
}

Eeprom::Eeprom(DWORD version)
{
    data.Signature1 = FT_PROGRAM_DATA_SIGNATURE1;
    data.Signature2 = FT_PROGRAM_DATA_SIGNATURE2;
    data.Version = version;
    data.Manufacturer = manufacturer;
    data.ManufacturerId = manufacturerId;
    data.Description = description;
    data.SerialNumber = serial;
    x.common.deviceType = FT_DEVICE_X_SERIES;
}

FT_STATUS Eeprom::read(FT_HANDLE handle)
{
    const D2xxFunctions& d2xx = D2xxFunctions::instance();
    return data.Version
        ? d2xx.eeRead(handle, &data)
        : d2xx.eepromRead(handle, &x, sizeof x, manufacturer, manufacturerId, description, serial);
}

FT_STATUS Eeprom::program(FT_HANDLE handle)
{
    const D2xxFunctions& d2xx = D2xxFunctions::instance();
    return data.Version ? d2xx.eeProgram(handle, &data)
                        : d2xx.eepromProgram(handle, &x, sizeof x, manufacturer, manufacturerId,
                            description, serial);
}
