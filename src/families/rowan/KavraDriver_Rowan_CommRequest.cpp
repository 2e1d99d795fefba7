#include "KavraDriver_Rowan_CommRequest.h"

KavraDriver_Rowan_CommRequest::KavraDriver_Rowan_CommRequest(uint32_t instruction)
    : KavraDriver_CommRequest(instruction)
{ }

USBResult KavraDriver_Rowan_CommRequest::checkStatus(uint8_t status) const
{
    return statusResult(status,
        {{1, "Instruction was not recognised by target device"}, {2, "Target device is busy"}});
}

int KavraDriver_Rowan_CommRequest::expectedReplyLength() const
{
    // Every Rowan instruction returns data.
    return replyLength(instructionCode(), 1, 0, {{0x40, 4}});
}
