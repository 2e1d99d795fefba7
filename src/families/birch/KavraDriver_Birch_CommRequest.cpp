#include "KavraDriver_Birch_CommRequest.h"

KavraDriver_Birch_CommRequest::KavraDriver_Birch_CommRequest(uint32_t instruction)
    : KavraDriver_CommRequest(instruction)
{ }

USBResult KavraDriver_Birch_CommRequest::checkStatus(uint8_t status) const
{
    return statusResult(status,
        {{1, "Instruction was not recognised by target device"}, {2, "Target device is busy"}});
}

int KavraDriver_Birch_CommRequest::expectedReplyLength() const
{
    return replyLength(instructionCode(), 0x20, 0x20, {{0x40, 6}, {0x41, 4}});
}
