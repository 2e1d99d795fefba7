#pragma once

// Every status code that the exported functions return, and its meaning. The exported
// getStatusText reads the meanings from here; nothing else in the library or its tools keeps them.
namespace KavraDriver_Status {
enum Code : int {
    InternalFailure = -1,
    Success = 0,
    IndexOutOfRange = 1,
    ConnectionFailed = 3,
    FirstInstructionFailed = 4,
    NoSuchSerialNumber = 6,
    IdentificationUnreadable = 7,
    IdentificationInvalid = 8,
    HardwareVersionRefused = 9,
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
    WaveformOutOfRange = 37,
    BufferTooSmall = 38
};

// The meaning of a code, or null for a number that is no status code.
const char* meaning(int code);
} // namespace KavraDriver_Status
