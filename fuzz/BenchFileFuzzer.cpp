// Bench descriptions (JSON) loaded by the virtual bench, then used as a D2XX client and a test
// would use them: the device list, each entry opened, its EEPROM read, its unit asked for its
// identification and its readings, and each unit's state taken.
#define KAVRA_D2XX_DECLARE_FUNCTIONS
#include "FtdiD2xx.h"
#include "QuietMessages.h"
#include "kavra_sim.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

// Bootloader requests of the binary instruction set (page size, prepare, page), then the reads of
// every family's instruction set, whose replies come from the unit's configuration.
constexpr uint8_t RequestCodes[]
    = {0x14, 0x15, 0x12, 0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A};

void readEeprom(FT_HANDLE handle, FT_DEVICE type)
{
    char manufacturer[FT_MANUFACTURER_BUFFER_SIZE];
    char manufacturerId[FT_MANUFACTURER_ID_BUFFER_SIZE];
    char description[FT_DESCRIPTION_BUFFER_SIZE];
    char serial[FT_SERIAL_BUFFER_SIZE];
    if (type == FT_DEVICE_X_SERIES) {
        FT_EEPROM_X_SERIES data{};
        data.common.deviceType = FT_DEVICE_X_SERIES;
        FT_EEPROM_Read(
            handle, &data, sizeof(data), manufacturer, manufacturerId, description, serial);
        return;
    }
    FT_PROGRAM_DATA data{};
    data.Signature1 = FT_PROGRAM_DATA_SIGNATURE1;
    data.Signature2 = FT_PROGRAM_DATA_SIGNATURE2;
    data.Version = FT_PROGRAM_DATA_VERSION;
    data.Manufacturer = manufacturer;
    data.ManufacturerId = manufacturerId;
    data.Description = description;
    data.SerialNumber = serial;
    FT_EE_Read(handle, &data);
}

// Takes what has arrived without waiting: a realistic bench answers later, and that is fine.
void drain(FT_HANDLE handle)
{
    DWORD waiting = 0;
    if (FT_GetQueueStatus(handle, &waiting) != FT_OK || waiting == 0)
        return;
    std::vector<char> buffer(waiting);
    DWORD received = 0;
    FT_Read(handle, buffer.data(), waiting, &received);
    if (received > waiting)
        std::abort();
}

void askUnit(FT_HANDLE handle)
{
    uint8_t id = 1;
    for (const uint8_t code : RequestCodes) {
        char packet[] = {0x05, static_cast<char>(id++), 0, 0, 0, static_cast<char>(code), 0, 0};
        DWORD written = 0;
        if (FT_Write(handle, packet, sizeof(packet), &written) != FT_OK)
            return;
        drain(handle);
    }
}

void takeUnitStates(const QByteArray& json)
{
    const QJsonArray units
        = QJsonDocument::fromJson(json).object().value(QStringLiteral("units")).toArray();
    for (const QJsonValue& unit : units) {
        const QByteArray serial
            = unit.toObject().value(QStringLiteral("serial")).toString().toLatin1();
        const int needed = kavrasim_unit_state(serial.constData(), nullptr, 0);
        if (needed <= 0)
            continue;
        std::vector<char> state(static_cast<size_t>(needed));
        if (kavrasim_unit_state(serial.constData(), state.data(), needed) != needed
            || state.back() != '\0')
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A QByteArray ends in a zero byte, as the control interface expects.
    const QByteArray json(reinterpret_cast<const char*>(data), static_cast<int>(size));
    if (kavrasim_load_bench(json.constData()) != KAVRASIM_OK)
        return 0;

    DWORD count = 0;
    if (FT_CreateDeviceInfoList(&count) != FT_OK)
        std::abort();
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count);
    if (count > 0 && FT_GetDeviceInfoList(nodes.data(), &count) != FT_OK)
        std::abort();
    for (DWORD i = 0; i < count; ++i) {
        FT_HANDLE handle = nullptr;
        if (FT_Open(static_cast<int>(i), &handle) != FT_OK)
            continue;
        FT_DEVICE type = FT_DEVICE_UNKNOWN;
        DWORD id = 0;
        char serial[FT_SERIAL_BUFFER_SIZE];
        char description[FT_DESCRIPTION_BUFFER_SIZE];
        if (FT_GetDeviceInfo(handle, &type, &id, serial, description, nullptr) == FT_OK)
            readEeprom(handle, type);
        askUnit(handle);
        FT_Close(handle);
    }
    takeUnitStates(json);
    if (kavrasim_open_handle_count() != 0)
        std::abort();
    return 0;
}
