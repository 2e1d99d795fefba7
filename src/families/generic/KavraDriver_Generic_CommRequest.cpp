#include "KavraDriver_Generic_CommRequest.h"

#include <iterator>

namespace {

// The instruction bytes of every Generic model and the reply lengths, by Generic code: a plain
// table, so that a steady call finds its byte without hashing.
struct Row
{
    int byteFor19; // -1: the model lacks the code
    int byteFor25;
    int replyLength;
};
constexpr Row Rows[] = {
    {0x20, 0x20, 0},
    {-1, 0x21, 0},
    {0x21, -1, 0},
    {-1, 0x22, 0},
    {-1, 0x23, 0},
    {0x22, 0x24, 0},
    {0x23, 0x25, 0},
    {0x40, 0x40, 15},
    {-1, 0x41, 1},
    {0x41, -1, 20},
    {-1, 0x42, 20},
    {-1, 0x43, 20},
    {0x42, 0x44, 8},
};
constexpr uint32_t RowCount = static_cast<uint32_t>(std::size(Rows));

// The byte of the code on the model, or -1 when the model lacks it.
int byteOf(uint32_t genericCode, const ModelId& model)
{
    if (genericCode >= RowCount)
        return -1;
    if (model == ModelId(19, 1))
        return Rows[genericCode].byteFor19;
    if (model == ModelId(25, 1))
        return Rows[genericCode].byteFor25;
    return -1;
}

} // namespace

KavraDriver_Generic_CommRequest::KavraDriver_Generic_CommRequest(
    uint32_t genericCode, const ModelId& model)
    : KavraDriver_CommRequest(genericCode)
    , m_code(instructionByte(genericCode, model))
    , m_replyLength(replyLength(genericCode))
{
    // The Generic device sends only the codes that its model has.
    Q_ASSERT_X(hasInstruction(genericCode, model), "KavraDriver_Generic_CommRequest",
        "Generic code missing for the model");
}

uint8_t KavraDriver_Generic_CommRequest::instructionByte(uint32_t genericCode, const ModelId& model)
{
    const int byte = byteOf(genericCode, model);
    return byte >= 0 ? static_cast<uint8_t>(byte) : 0;
}

bool KavraDriver_Generic_CommRequest::hasInstruction(uint32_t genericCode, const ModelId& model)
{
    return byteOf(genericCode, model) >= 0;
}

int KavraDriver_Generic_CommRequest::replyLength(uint32_t genericCode)
{
    return genericCode < RowCount ? Rows[genericCode].replyLength : 0;
}

uint8_t KavraDriver_Generic_CommRequest::instructionCode() const
{
    return m_code;
}

bool KavraDriver_Generic_CommRequest::isInstruction(int instruction) const
{
    return instruction >= 0 && static_cast<uint32_t>(instruction) == this->instruction();
}

USBResult KavraDriver_Generic_CommRequest::checkStatus(uint8_t status) const
{
    // Generic units answer with the same status bytes as Alder units.
    return statusResult(status,
        {{1, "Instruction was not recognised by target device"}, {2, "Target device is busy"},
            {32, "Target device is busy"}});
}

int KavraDriver_Generic_CommRequest::expectedReplyLength() const
{
    return m_replyLength;
}
