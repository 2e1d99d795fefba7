#include "KavraDriver_CommRequest.h"

#include <QString>

KavraDriver_CommRequest::KavraDriver_CommRequest(uint32_t instruction) : m_instruction(instruction)
{ }

KavraDriver_CommRequest::~KavraDriver_CommRequest() = default;

void KavraDriver_CommRequest::setPayload(const QByteArray& payload)
{
    m_payload = payload;
}

bool KavraDriver_CommRequest::isRaw() const
{
    return false;
}

uint8_t KavraDriver_CommRequest::instructionCode() const
{
    return static_cast<uint8_t>(m_instruction & 0xFFu);
}

QByteArray KavraDriver_CommRequest::payload() const
{
    return m_payload;
}

bool KavraDriver_CommRequest::isInstruction(int) const
{
    return false;
}

USBResult KavraDriver_CommRequest::statusResult(uint8_t status, StatusTexts texts)
{
    if (status == 0)
        return USBResult();
    for (const auto& entry : texts) {
        if (entry.first == status)
            return USBResult::failure(
                QString::fromLatin1(entry.second), USBResult::InstructionRefused);
    }
    static const QString corrupted
        = QStringLiteral("Instruction stream was corrupted (unexpected return value [%1])");
    return USBResult::failure(
        corrupted.arg(static_cast<unsigned>(status)), USBResult::ReplyNotUnderstood);
}

int KavraDriver_CommRequest::replyLength(
    uint8_t instruction, int noReplyFirst, int noReplyLast, ReplyLengths lengths)
{
    if (instruction >= noReplyFirst && instruction <= noReplyLast)
        return 0;
    for (const auto& entry : lengths) {
        if (entry.first == instruction)
            return entry.second;
    }
    // The family's devices send no other instruction byte.
    Q_ASSERT(0);
    return 0;
}
