#pragma once

#include "ModelId.h"
#include "KavraDriver_CommRequest.h"

// One instruction of a Generic unit, named by its model-independent Generic code: the
// instruction byte and the reply length are looked up for the unit's model at construction.
class KavraDriver_Generic_CommRequest : public KavraDriver_CommRequest
{
public:
    KavraDriver_Generic_CommRequest(uint32_t genericCode, const ModelId& model);

    uint8_t instructionCode() const override;
    // Whether the request carries the Generic code.
    bool isInstruction(int instruction) const override;
    USBResult checkStatus(uint8_t status) const override;
    int expectedReplyLength() const override;

    // The instruction byte of a Generic code on a model; 0 when the model lacks the code.
    static uint8_t instructionByte(uint32_t genericCode, const ModelId& model);
    // Whether the model has the Generic code.
    static bool hasInstruction(uint32_t genericCode, const ModelId& model);
    // The reply length of a Generic code, the same on every model.
    static int replyLength(uint32_t genericCode);

private:
    uint8_t m_code;
    int m_replyLength;
};
