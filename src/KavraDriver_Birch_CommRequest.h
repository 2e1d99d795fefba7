#pragma once

#include "USBDefaultCommRequest.h"

#include <QByteArray>

#include <cstdint>

// One instruction of a Birch unit: the instruction byte, its data bytes, the reply length that
// the instruction returns, and the family's meaning of the reply status byte.
class KavraDriver_Birch_CommRequest : public USBDefaultCommRequest
{
public:
    explicit KavraDriver_Birch_CommRequest(uint32_t instruction);
    ~KavraDriver_Birch_CommRequest() override;

    void setPayload(const QByteArray& payload);

    bool isRaw() const override;
    uint8_t instructionCode() const override;
    QByteArray payload() const override;
    bool isInstruction(int instruction) const override;
    USBResult checkStatus(uint8_t status) const override;
    int expectedReplyLength() const override;

private:
    QByteArray m_payload;
    uint32_t m_instruction;
};
