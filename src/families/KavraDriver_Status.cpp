#include "KavraDriver_Status.h"

// A code added to the enumeration without a meaning fails every build, whatever the warning flags.
#pragma GCC diagnostic push
#pragma GCC diagnostic error "-Wswitch"
const char* KavraDriver_Status::meaning(int code)
{
    // No default, so that the compiler sees every code.
    switch (static_cast<Code>(code)) {
    case InternalFailure:
        return "an unexpected internal failure (for example memory exhausted)";
    case Success:
        return "success";
    case IndexOutOfRange:
        return "device index below 1, 100 or above, or beyond the attached supported units";
    case ConnectionFailed:
        return "the unit's USB connection could not be opened";
    case FirstInstructionFailed:
        return "the first identification instruction failed";
    case NoSuchSerialNumber:
        return "no attached unit has the given serial number";
    case IdentificationUnreadable:
        return "the identification record could not be read";
    case IdentificationInvalid:
        return "the identification record is not valid";
    case HardwareVersionRefused:
        return "the unit's hardware version is not accepted for its model";
    case NotSupported:
        return "the operation is not supported by the unit's family";
    case UserDataReadFailed:
        return "reading the unit's calibration failed while opening it";
    case PolarityReadFailed:
        return "reading the unit's polarity failed while opening it";
    case PWMChannelOutOfRange:
        return "PWM channel out of range";
    case DutyOutOfRange:
        return "PWM duty out of range";
    case PWMFailed:
        return "a PWM exchange failed";
    case FrequencyOutOfRange:
        return "PWM frequency out of range";
    case FrequencyFailed:
        return "a PWM frequency exchange failed";
    case ChannelOutOfRange:
        return "channel out of range";
    case VoltageOutOfRange:
        return "voltage out of range";
    case CurrentOutOfRange:
        return "current out of range";
    case VoltageFailed:
        return "a voltage exchange failed";
    case PolarityOutOfRange:
        return "polarity out of range";
    case PolarityFailed:
        return "a polarity exchange failed";
    case OutputFailed:
        return "an output on or off exchange failed";
    case BusLevelOutOfRange:
        return "bus level out of range";
    case BusEnableFailed:
        return "a bus enable exchange failed";
    case BusDisableFailed:
        return "a bus disable exchange failed";
    case NotReady:
        return "switching on refused: the unit's status shows it not ready";
    case SecondaryOutputsNotReady:
        return "switching on output 2 or 3 refused: the unit's status shows them not ready";
    case StatusReadFailed:
        return "a status read failed";
    case CurrentReadFailed:
        return "a current read failed";
    case ClearErrorFailed:
        return "a clear-error exchange failed";
    case PWMFunctionOutOfRange:
        return "PWM function out of range";
    case SecondLevelOutOfRange:
        return "second waveform level out of range";
    case PeriodOutOfRange:
        return "waveform period out of range";
    case WaveformOutOfRange:
        return "waveform code out of range";
    case BufferTooSmall:
        return "the text buffer is null or too small for the text and its closing zero byte";
    }
    return nullptr;
}
#pragma GCC diagnostic pop
