#include "KavraDriver_Rowan_CommRequest.h"

#include <QString>

namespace {

USBResult failure(const char* text)
{
    return USBResult::failure(QString::fromLatin1(text));
}

} // namespace

KavraDriver_Rowan_CommRequest::KavraDriver_Rowan_CommRequest(uint32_t instruction) : m_instruction(instruction) {}

KavraDriver_Rowan_CommRequest::~KavraDriver_Rowan_CommRequest() = default;

void KavraDriver_Rowan_CommRequest::setPayload(const QByteArray& payload)
{
    m_payload = payload;
}

bool KavraDriver_Rowan_CommRequest::isRaw() const
{
    return false;
}

uint8_t KavraDriver_Rowan_CommRequest::instructionCode() const
{
    return static_cast<uint8_t>(m_instruction & 0xFFu);
}

QByteArray KavraDriver_Rowan_CommRequest::payload() const
{
    return m_payload;
}

bool KavraDriver_Rowan_CommRequest::isInstruction(int) const
{
    return false;
}

USBResult KavraDriver_Rowan_CommRequest::checkStatus(uint8_t status) const
{
    static const QString corrupted =
        QStringLiteral("Instruction stream was corrupted (unexpected return value [%1])");
    switch (status) {
    case 0: return USBResult();
    case 1: return failure("Instruction was not recognised by target device");
    case 2: return failure("Target device is busy");
    default: break;
    }
    return USBResult::failure(corrupted.arg(static_cast<unsigned>(status)));
}

int KavraDriver_Rowan_CommRequest::expectedReplyLength() const
{
    const uint32_t instruction = instructionCode();
    switch (instruction) {
    case 0x40: return 4;
    default: break;
    }
    // The family's devices send no other instruction byte.
    Q_ASSERT(0);
    return 0;
}
