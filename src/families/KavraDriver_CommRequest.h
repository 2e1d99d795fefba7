#pragma once

#include "USBDefaultCommRequest.h"

#include <QByteArray>

#include <cstdint>
#include <initializer_list>
#include <utility>

// What the families' instruction requests share: one instruction byte (only its low 8 bits go on
// the wire) and its data bytes. Each family adds its reply lengths and its status texts.
class KavraDriver_CommRequest : public USBDefaultCommRequest
{
public:
    explicit KavraDriver_CommRequest(uint32_t instruction);
    ~KavraDriver_CommRequest() override;

    // Replaces the data bytes sent with the instruction.
    void setPayload(const QByteArray& payload);

    bool isRaw() const override;
    uint8_t instructionCode() const override;
    QByteArray payload() const override;
    bool isInstruction(int instruction) const override;

protected:
    using StatusTexts = std::initializer_list<std::pair<uint8_t, const char*>>;
    using ReplyLengths = std::initializer_list<std::pair<uint8_t, int>>;

    uint32_t instruction() const { return m_instruction; }
    // 0 is a success; a listed status gives its text; any other the corrupted-stream text.
    static USBResult statusResult(uint8_t status, StatusTexts texts);
    // Instruction bytes from first to last carry no reply data; the others have listed lengths.
    // A byte outside both is not sent by the family's devices.
    static int replyLength(
        uint8_t instruction, int noReplyFirst, int noReplyLast, ReplyLengths lengths);

private:
    QByteArray m_payload;
    uint32_t m_instruction;
};
