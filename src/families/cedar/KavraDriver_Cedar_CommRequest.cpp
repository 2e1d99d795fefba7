#include "KavraDriver_Cedar_CommRequest.h"

KavraDriver_Cedar_CommRequest::KavraDriver_Cedar_CommRequest(uint32_t instruction)
    : KavraDriver_CommRequest(instruction)
{ }

USBResult KavraDriver_Cedar_CommRequest::checkStatus(uint8_t status) const
{
    // "HV bus os off" is the unit's own text, typing slip included; callers may show it.
    return statusResult(status,
        {{1, "Instruction was not recognised by target device"}, {2, "Target device is busy"},
            {100, "HV bus os off"}, {101, "External USB power is off"},
            {102, "Power supply encountered an error"}});
}

int KavraDriver_Cedar_CommRequest::expectedReplyLength() const
{
    return replyLength(instructionCode(), 0x20, 0x33,
        {{0x40, 1}, {0x41, 2}, {0x42, 2}, {0x43, 2}, {0x44, 3}, {0x45, 4}, {0x46, 2}, {0x47, 2},
            {0x48, 150}, {0x49, 10}, {0x4A, 5}});
}
