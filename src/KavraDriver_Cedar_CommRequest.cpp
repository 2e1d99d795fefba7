#include "KavraDriver_Cedar_CommRequest.h"

#include <QString>

namespace {

USBResult failure(const char* text)
{
    return USBResult::failure(QString::fromLatin1(text));
}

} // namespace

KavraDriver_Cedar_CommRequest::KavraDriver_Cedar_CommRequest(uint32_t instruction) : m_instruction(instruction) {}

KavraDriver_Cedar_CommRequest::~KavraDriver_Cedar_CommRequest() = default;

void KavraDriver_Cedar_CommRequest::setPayload(const QByteArray& payload)
{
    m_payload = payload;
}

bool KavraDriver_Cedar_CommRequest::isRaw() const
{
    return false;
}

uint8_t KavraDriver_Cedar_CommRequest::instructionCode() const
{
    return static_cast<uint8_t>(m_instruction & 0xFFu);
}

QByteArray KavraDriver_Cedar_CommRequest::payload() const
{
    return m_payload;
}

bool KavraDriver_Cedar_CommRequest::isInstruction(int) const
{
    return false;
}

USBResult KavraDriver_Cedar_CommRequest::checkStatus(uint8_t status) const
{
    static const QString corrupted =
        QStringLiteral("Instruction stream was corrupted (unexpected return value [%1])");
    switch (status) {
    case 0: return USBResult();
    case 1: return failure("Instruction was not recognised by target device");
    case 2: return failure("Target device is busy");
    // The unit's own text, typing slip included; callers may show it.
    case 100: return failure("HV bus os off");
    case 101: return failure("External USB power is off");
    case 102: return failure("Power supply encountered an error");
    default: break;
    }
    return USBResult::failure(corrupted.arg(static_cast<unsigned>(status)));
}

int KavraDriver_Cedar_CommRequest::expectedReplyLength() const
{
    const uint32_t instruction = instructionCode();
    if (instruction >= 0x20 && instruction <= 0x33)
        return 0;
    switch (instruction) {
    case 0x40: return 1;
    case 0x41: return 2;
    case 0x42: return 2;
    case 0x43: return 2;
    case 0x44: return 3;
    case 0x45: return 4;
    case 0x46: return 2;
    case 0x47: return 2;
    case 0x48: return 150;
    case 0x49: return 10;
    case 0x4A: return 5;
    default: break;
    }
    // The family's devices send no other instruction byte.
    Q_ASSERT(0);
    return 0;
}
