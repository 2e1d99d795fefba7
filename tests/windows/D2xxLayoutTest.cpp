// Our D2XX declarations (FtdiD2xx.h) against FTDI's own ftd2xx.h, compiled for 64-bit Windows:
// the same integer types, the same function types (calling convention included), and every
// struct field at the same offset with the same size. FTDI's header lives in a namespace of its
// own so that both can be seen at once.

#include "FtdiD2xx.h"

#include <windows.h>

namespace vendor {
#include <ftd2xx.h>
}

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <type_traits>

namespace {

static_assert(std::is_same<FT_STATUS, vendor::FT_STATUS>::value, "FT_STATUS");
static_assert(std::is_same<FT_HANDLE, vendor::FT_HANDLE>::value, "FT_HANDLE");
static_assert(std::is_same<FT_DEVICE, vendor::FT_DEVICE>::value, "FT_DEVICE");

// FTDI's function type, taken from its declaration, against ours.
#define KAVRA_SAME_TYPE(function, ours)                                                            \
    static_assert(std::is_same<decltype(&vendor::function), ours>::value, #function)

KAVRA_SAME_TYPE(FT_CreateDeviceInfoList, FT_CreateDeviceInfoListFn);
KAVRA_SAME_TYPE(FT_Open, FT_OpenFn);
KAVRA_SAME_TYPE(FT_Close, FT_CloseFn);
KAVRA_SAME_TYPE(FT_CyclePort, FT_CyclePortFn);
KAVRA_SAME_TYPE(FT_GetDeviceInfo, FT_GetDeviceInfoFn);
KAVRA_SAME_TYPE(FT_EEPROM_Read, FT_EEPROM_ReadFn);
KAVRA_SAME_TYPE(FT_EEPROM_Program, FT_EEPROM_ProgramFn);
KAVRA_SAME_TYPE(FT_SetBitMode, FT_SetBitModeFn);
KAVRA_SAME_TYPE(FT_SetBaudRate, FT_SetBaudRateFn);
KAVRA_SAME_TYPE(FT_SetDataCharacteristics, FT_SetDataCharacteristicsFn);
KAVRA_SAME_TYPE(FT_SetFlowControl, FT_SetFlowControlFn);
KAVRA_SAME_TYPE(FT_SetLatencyTimer, FT_SetLatencyTimerFn);
KAVRA_SAME_TYPE(FT_SetUSBParameters, FT_SetUSBParametersFn);
KAVRA_SAME_TYPE(FT_SetTimeouts, FT_SetTimeoutsFn);
KAVRA_SAME_TYPE(FT_Read, FT_ReadFn);
KAVRA_SAME_TYPE(FT_Write, FT_WriteFn);
KAVRA_SAME_TYPE(FT_Purge, FT_PurgeFn);
KAVRA_SAME_TYPE(FT_GetQueueStatus, FT_GetQueueStatusFn);
KAVRA_SAME_TYPE(FT_GetStatus, FT_GetStatusFn);
// The three that take a struct: the same with FTDI's struct, whose layout is checked below.
KAVRA_SAME_TYPE(
    FT_GetDeviceInfoList, FT_STATUS(KAVRA_D2XX_API*)(vendor::FT_DEVICE_LIST_INFO_NODE*, LPDWORD));
KAVRA_SAME_TYPE(FT_EE_Read, FT_STATUS(KAVRA_D2XX_API*)(FT_HANDLE, vendor::PFT_PROGRAM_DATA));
KAVRA_SAME_TYPE(FT_EE_Program, FT_STATUS(KAVRA_D2XX_API*)(FT_HANDLE, vendor::PFT_PROGRAM_DATA));

struct Field
{
    std::string name;
    std::size_t offset;
    std::size_t vendorOffset;
    std::size_t size;
    std::size_t vendorSize;
};

// Every field of our four structs, listed from FtdiD2xx.h at configure time.
#define KAVRA_FIELD(type, member)                                                                  \
    Field{#type "." #member, offsetof(::type, member), offsetof(vendor::type, member),             \
        sizeof(::type::member), sizeof(vendor::type::member)},
const Field fields[] = {
#include "D2xxFields.inc"
};
#undef KAVRA_FIELD

TEST(D2xxLayout, EveryStructAndFieldAsInFtdiHeader)
{
    EXPECT_EQ(sizeof(FT_DEVICE_LIST_INFO_NODE), sizeof(vendor::FT_DEVICE_LIST_INFO_NODE));
    EXPECT_EQ(alignof(FT_DEVICE_LIST_INFO_NODE), alignof(vendor::FT_DEVICE_LIST_INFO_NODE));
    EXPECT_EQ(sizeof(FT_PROGRAM_DATA), sizeof(vendor::FT_PROGRAM_DATA));
    EXPECT_EQ(alignof(FT_PROGRAM_DATA), alignof(vendor::FT_PROGRAM_DATA));
    EXPECT_EQ(sizeof(FT_EEPROM_HEADER), sizeof(vendor::FT_EEPROM_HEADER));
    EXPECT_EQ(sizeof(FT_EEPROM_X_SERIES), sizeof(vendor::FT_EEPROM_X_SERIES));
    EXPECT_EQ(alignof(FT_EEPROM_X_SERIES), alignof(vendor::FT_EEPROM_X_SERIES));
    EXPECT_GT(sizeof(fields) / sizeof(fields[0]), 150u);
    for (const Field& field : fields) {
        SCOPED_TRACE(field.name);
        EXPECT_EQ(field.offset, field.vendorOffset);
        EXPECT_EQ(field.size, field.vendorSize);
    }
}

TEST(D2xxLayout, StatusCodesAndChipTypesAsInFtdiHeader)
{
    const FT_STATUS statuses[][2] = {{FT_OK, vendor::FT_OK},
        {FT_INVALID_HANDLE, vendor::FT_INVALID_HANDLE},
        {FT_DEVICE_NOT_FOUND, vendor::FT_DEVICE_NOT_FOUND},
        {FT_DEVICE_NOT_OPENED, vendor::FT_DEVICE_NOT_OPENED}, {FT_IO_ERROR, vendor::FT_IO_ERROR},
        {FT_INSUFFICIENT_RESOURCES, vendor::FT_INSUFFICIENT_RESOURCES},
        {FT_INVALID_PARAMETER, vendor::FT_INVALID_PARAMETER},
        {FT_EEPROM_NOT_PROGRAMMED, vendor::FT_EEPROM_NOT_PROGRAMMED},
        {FT_NOT_SUPPORTED, vendor::FT_NOT_SUPPORTED}, {FT_OTHER_ERROR, vendor::FT_OTHER_ERROR},
        {FT_DEVICE_LIST_NOT_READY, vendor::FT_DEVICE_LIST_NOT_READY},
        {FT_DEVICE_232R, vendor::FT_DEVICE_232R}, {FT_DEVICE_2232H, vendor::FT_DEVICE_2232H},
        {FT_DEVICE_4232H, vendor::FT_DEVICE_4232H}, {FT_DEVICE_232H, vendor::FT_DEVICE_232H},
        {FT_DEVICE_X_SERIES, vendor::FT_DEVICE_X_SERIES}};
    for (const auto& pair : statuses)
        EXPECT_EQ(pair[0], pair[1]);
}

} // namespace
