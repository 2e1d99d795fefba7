#pragma once

#include "KavraDriver_CommRequest.h"

// One instruction of a Rowan unit: the instruction byte, its data bytes, the reply length that the
// instruction returns, and the family's meaning of the reply status byte.
class KavraDriver_Rowan_CommRequest : public KavraDriver_CommRequest
{
public:
    explicit KavraDriver_Rowan_CommRequest(uint32_t instruction);

    USBResult checkStatus(uint8_t status) const override;
    int expectedReplyLength() const override;
};
