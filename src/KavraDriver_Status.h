#pragma once

// Status codes of the device operations, as the exported functions return them unchanged.
namespace KavraDriver_Status {
enum Code : int {
    Success = 0,
    NotSupported = 10,
    UserDataReadFailed = 11,
    PolarityReadFailed = 12,
    PWMChannelOutOfRange = 13,
    DutyOutOfRange = 14,
    PWMFailed = 15,
    FrequencyOutOfRange = 16,
    FrequencyFailed = 17,
    ChannelOutOfRange = 18,
    VoltageOutOfRange = 19,
    CurrentOutOfRange = 20,
    VoltageFailed = 21,
    PolarityOutOfRange = 22,
    PolarityFailed = 23,
    OutputFailed = 24,
    BusLevelOutOfRange = 26,
    BusEnableFailed = 27,
    BusDisableFailed = 28,
    NotReady = 29,
    SecondaryOutputsNotReady = 30,
    StatusReadFailed = 31,
    CurrentReadFailed = 32,
    ClearErrorFailed = 33,
    PWMFunctionOutOfRange = 34,
    SecondLevelOutOfRange = 35,
    PeriodOutOfRange = 36,
    WaveformOutOfRange = 37
};
} // namespace KavraDriver_Status
