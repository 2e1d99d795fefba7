#include "KavraDriver_Alder_CommRequest.h"

KavraDriver_Alder_CommRequest::KavraDriver_Alder_CommRequest(uint32_t instruction)
    : KavraDriver_CommRequest(instruction)
{ }

USBResult KavraDriver_Alder_CommRequest::checkStatus(uint8_t status) const
{
    return statusResult(status,
        {{1, "Instruction was not recognised by target device"}, {2, "Target device is busy"},
            {32, "Target device is busy"}});
}

int KavraDriver_Alder_CommRequest::expectedReplyLength() const
{
    return replyLength(instructionCode(), 0x20, 0x29,
        {{0x40, 10}, {0x41, 1}, {0x42, 14}, {0x43, 4}, {0x44, 2}, {0x45, 150}, {0x46, 5}});
}
