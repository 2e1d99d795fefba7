#pragma once

// Helpers for tests that drive the virtual bench as a D2XX client.

#define KAVRA_D2XX_DECLARE_FUNCTIONS
#include "FtdiD2xx.h"
#include "kavra_sim.h"
#include "Packets.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <gtest/gtest.h>

#include <cstring>

namespace benchclient {

// Serial numbers of the default bench.
constexpr const char* kAlder = "QZAH015010001";
constexpr const char* kCedar = "QZAH017010002";
constexpr const char* kGeneric19 = "QZAH019010003";
constexpr const char* kGeneric25 = "QZAH025010004";
constexpr const char* kBirch = "QZAH040010005";
constexpr const char* kRowan = "QZAH041010006";

inline QVector<FT_DEVICE_LIST_INFO_NODE> deviceList()
{
    DWORD count = 0;
    if (FT_CreateDeviceInfoList(&count) != FT_OK)
        return {};
    QVector<FT_DEVICE_LIST_INFO_NODE> nodes(static_cast<int>(count));
    DWORD filled = count;
    if (count == 0 || FT_GetDeviceInfoList(nodes.data(), &filled) != FT_OK)
        return {};
    nodes.resize(int(filled));
    return nodes;
}

inline int indexOf(const QString& listedSerial)
{
    const QVector<FT_DEVICE_LIST_INFO_NODE> nodes = deviceList();
    for (int i = 0; i < nodes.size(); ++i) {
        if (QString::fromLatin1(nodes.at(i).SerialNumber) == listedSerial)
            return i;
    }
    return -1;
}

inline FT_HANDLE openListed(const QString& listedSerial)
{
    FT_HANDLE handle = nullptr;
    const int index = indexOf(listedSerial);
    if (index < 0 || FT_Open(index, &handle) != FT_OK)
        return nullptr;
    return handle;
}

using Packets::packet;

// The bootloader's bare answer to its 0x15 request: status 0, no data.
inline QByteArray echo(quint32 id)
{
    return packet(id, 0);
}

inline FT_STATUS writeBytes(FT_HANDLE handle, const QByteArray& bytes)
{
    QByteArray copy = bytes;
    DWORD written = 0;
    const FT_STATUS status = FT_Write(handle, copy.data(), DWORD(copy.size()), &written);
    if (status == FT_OK && written != DWORD(bytes.size()))
        return FT_OTHER_ERROR;
    return status;
}

inline QByteArray readBytes(FT_HANDLE handle, int count)
{
    QByteArray buffer(count, '\0');
    DWORD got = 0;
    if (FT_Read(handle, buffer.data(), DWORD(count), &got) != FT_OK)
        return QByteArray();
    buffer.resize(int(got));
    return buffer;
}

// A control text through a caller buffer, grown until it fits.
template <typename Call> QByteArray controlText(Call call)
{
    QByteArray buffer(256, '\0');
    int needed = call(buffer.data(), buffer.size());
    if (needed > buffer.size()) {
        buffer.resize(needed);
        needed = call(buffer.data(), buffer.size());
    }
    if (needed <= 0)
        return QByteArray();
    return QByteArray(buffer.constData(), needed - 1);
}

// Both EEPROM records with the caller's text buffers: FT_EE_* for version > 0, FT_EEPROM_* (FT-X) for 0.
struct Eeprom
{
    char manufacturer[32] = {};
    char manufacturerId[16] = {};
    char description[64] = {};
    char serial[16] = {};
    FT_PROGRAM_DATA data{};
    FT_EEPROM_X_SERIES x{};

    explicit Eeprom(DWORD version)
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
    FT_STATUS read(FT_HANDLE handle)
    {
        return data.Version ? FT_EE_Read(handle, &data)
                            : FT_EEPROM_Read(handle, &x, sizeof x, manufacturer, manufacturerId,
                                description, serial);
    }
    FT_STATUS program(FT_HANDLE handle)
    {
        return data.Version ? FT_EE_Program(handle, &data)
                            : FT_EEPROM_Program(handle, &x, sizeof x, manufacturer, manufacturerId,
                                description, serial);
    }
};

// Every test starts on a fresh default bench and must leave no handle open.
class D2xxBenchTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(kavrasim_reset(), KAVRASIM_OK); }
    void TearDown() override
    {
        EXPECT_EQ(kavrasim_open_handle_count(), 0) << "a test left a handle open";
    }
};

} // namespace benchclient
